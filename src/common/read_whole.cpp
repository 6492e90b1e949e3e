// Reading a known number of bytes from a file.

#include "common/common.h"

int ReadWhole(HANDLE hFile, void* buffer, DWORD cb)
{
    // ReadFile may hand back less than asked; keep reading until all is in
    // or the file ends early.
    DWORD cbRead = 0;
    while (cbRead < cb) {
        DWORD cbChunk = 0;
        if (!ReadFile(hFile, (BYTE*)buffer + cbRead, cb - cbRead, &cbChunk, NULL) || cbChunk == 0)
            return 0;
        cbRead += cbChunk;
    }
    return 1;
}
