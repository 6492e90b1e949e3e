// Loading a DLL that the oldest systems lack, from the system folder only.

#include "common/common.h"

HMODULE LoadSystemLibrary(const char* name)
{
    char path[MAX_PATH];
    UINT cch = GetSystemDirectoryA(path, COUNTOF(path));
    if (cch == 0 || cch >= COUNTOF(path) || !AppendBackslash(path, COUNTOF(path)) ||
        !AppendText(path, COUNTOF(path), name))
        return NULL;
    // A DLL that is missing, or that misses one of its own, must never bring
    // up a box of the system's: a quiet run shows no window at all.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE hLibrary = LoadLibraryA(path);
    SetErrorMode(oldMode);
    return hLibrary;
}
