// A DLL that someone else planted beside a program under the name of a
// system DLL: when it is loaded it leaves "<its own path>.loaded" behind and
// refuses to stay (DllMain returns FALSE), so the program goes on unharmed.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char marker[MAX_PATH + 8];
    DWORD cch = GetModuleFileNameA(hInstance, marker, MAX_PATH);
    if (cch > 0 && cch < MAX_PATH) {
        lstrcatA(marker, ".loaded");
        HANDLE hFile = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
    }
    return FALSE;
}
