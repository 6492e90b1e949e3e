// Reads the executable file into memory to find its information block.

#include "info/info.h"
#include "common/guard.h"

int LocatePayload(HANDLE hFile, DWORD* pOffset)
{
    int found = 0;
    DWORD cbHigh = 0;
    DWORD cbFile = GetFileSize(hFile, &cbHigh);
    if (cbFile != INVALID_FILE_SIZE && cbHigh == 0 && cbFile > TW_MARKER_LENGTH) {
        HeapGuard image(HeapAlloc(GetProcessHeap(), 0, cbFile));
        if (image.Get() != NULL && SetFilePointer(hFile, 0, NULL, FILE_BEGIN) == 0) {
            // ReadFile may hand back less than asked; keep reading until the
            // whole file is in or the file ends early.
            BYTE* data = (BYTE*)image.Get();
            DWORD cbRead = 0;
            while (cbRead < cbFile) {
                DWORD cbChunk = 0;
                if (!ReadFile(hFile, data + cbRead, cbFile - cbRead, &cbChunk, NULL) || cbChunk == 0)
                    break;
                cbRead += cbChunk;
            }
            if (cbRead == cbFile) {
                long long offset = FindPayloadOffset(data, cbFile);
                if (offset >= 0) {
                    *pOffset = (DWORD)offset;
                    found = 1;
                }
            }
        }
    }
    SetFilePointer(hFile, 0, NULL, FILE_BEGIN);
    return found;
}
