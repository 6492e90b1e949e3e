// Stands in for a program that another user plants in the temporary
// directory under the worker copy's name: when started, it only leaves a
// file beside itself (its own path with ".ran" added), so that a scenario
// can tell whether anybody started it.

#include <windows.h>

int main()
{
    char path[MAX_PATH + 8];
    DWORD cch = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return 1;
    lstrcatA(path, ".ran");
    HANDLE hFile = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(hFile);
    return 0;
}
