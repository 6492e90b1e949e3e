// The ANSI names of folders that the system names in Unicode. A user's
// temporary folder or Start menu holds the user's name, which may have
// characters that the ANSI code page lacks; the ANSI functions then hand out
// a name with '?' in it that reaches nothing.

#include "common/common.h"

typedef DWORD (WINAPI* GetShortPathNameWFunction)(LPCWSTR longPath, LPWSTR shortPath, DWORD cchBuffer);

// True when the ANSI text converts back to exactly the wide text: no
// character was replaced by the default character or by a look-alike.
static int ReadsBackAs(const char* text, const WCHAR* wide)
{
    WCHAR back[MAX_PATH];
    int cch = MultiByteToWideChar(CP_ACP, 0, text, -1, back, COUNTOF(back));
    if (cch == 0)
        return 0;
    // The comparison ends at the first difference, so it never reads past
    // the end of the shorter text.
    for (int i = 0; i < cch; ++i) {
        if (back[i] != wide[i])
            return 0;
    }
    return 1;
}

// Converts wide into path (cchPath bytes). 1 when it fits and reads back
// exactly, 0 when it does not fit, -1 when it fits but is not exact.
static int ConvertExactly(const WCHAR* wide, char* path, size_t cchPath)
{
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, path, (int)cchPath, NULL, NULL) == 0)
        return 0;
    return ReadsBackAs(path, wide) ? 1 : -1;
}

int ConvertToAnsiPath(const WCHAR* widePath, char* path, size_t cchPath)
{
    int converted = ConvertExactly(widePath, path, cchPath);
    if (converted == 1)
        return 1;
    // The short name is made of the code page's own characters, or is the
    // long name again where the volume keeps no short names. The wide
    // function is looked up: the oldest systems of the 9x family lack it.
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    GetShortPathNameWFunction getShortPathName =
        hKernel != NULL ? (GetShortPathNameWFunction)GetProcAddress(hKernel, "GetShortPathNameW") : NULL;
    WCHAR shortPath[MAX_PATH];
    DWORD cchShort = getShortPathName != NULL ? getShortPathName(widePath, shortPath, COUNTOF(shortPath)) : 0;
    if (cchShort > 0 && cchShort < COUNTOF(shortPath)) {
        int shortConverted = ConvertExactly(shortPath, path, cchPath);
        if (shortConverted == 1)
            return 1;
        if (shortConverted < 0)
            converted = -1;
    }
    path[0] = '\0';
    SetLastError(converted < 0 ? ERROR_NO_UNICODE_TRANSLATION : ERROR_INSUFFICIENT_BUFFER);
    return 0;
}
