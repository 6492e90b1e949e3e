// Where the launcher stages a run: the temporary directory, named so that
// the ANSI functions reach it whatever characters the user's name holds.

#include "common/common.h"

typedef DWORD (WINAPI* GetTempPathWFunction)(DWORD cchBuffer, LPWSTR buffer);

int GetTempDirectory(char* dir, size_t cchDir)
{
    // The NT family names the folder in Unicode; its ANSI name may hold '?'
    // for a character of the user's name that the code page lacks. The 9x
    // family names everything in ANSI already, and its wide function fails
    // with ERROR_CALL_NOT_IMPLEMENTED (or is not there at all).
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    GetTempPathWFunction getTempPathW =
        hKernel != NULL ? (GetTempPathWFunction)GetProcAddress(hKernel, "GetTempPathW") : NULL;
    WCHAR wide[MAX_PATH];
    DWORD cchWide = 0;
    SetLastError(NO_ERROR);
    if (getTempPathW != NULL)
        cchWide = getTempPathW(COUNTOF(wide), wide);
    if (cchWide == 0 && (getTempPathW == NULL || GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)) {
        DWORD cch = GetTempPathA((DWORD)cchDir, dir);
        return cch > 0 && cch < cchDir && AppendBackslash(dir, cchDir);
    }
    if (cchWide == 0 || cchWide >= COUNTOF(wide))
        return 0;
    return ConvertToAnsiPath(wide, dir, cchDir) && AppendBackslash(dir, cchDir);
}
