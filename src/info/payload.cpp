// Reads the executable file into memory to find its information block.

#include "info/info.h"
#include "common/common.h"
#include "common/guard.h"

int LocatePayload(HANDLE hFile, DWORD* pOffset)
{
    int found = 0;
    DWORD cbHigh = 0;
    DWORD cbFile = GetFileSize(hFile, &cbHigh);
    if (cbFile != INVALID_FILE_SIZE && cbHigh == 0 && cbFile > TW_MARKER_LENGTH) {
        HeapGuard image(HeapAlloc(GetProcessHeap(), 0, cbFile));
        if (image.Get() != NULL && SetFilePointer(hFile, 0, NULL, FILE_BEGIN) == 0) {
            if (ReadWhole(hFile, image.Get(), cbFile)) {
                long long offset = FindPayloadOffset((const BYTE*)image.Get(), cbFile);
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
