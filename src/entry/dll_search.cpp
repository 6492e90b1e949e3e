// Where the process may load DLLs from. The worker runs from the user's
// temporary directory, which any program of that user can write to, so a
// DLL dropped there must never be taken for a system DLL.

#include "entry/entry.h"

// The functions and the flag of newer systems, which the headers of the
// oldest supported system do not declare.
typedef BOOL (WINAPI* SetDefaultDllDirectoriesFunction)(DWORD directoryFlags);
typedef BOOL (WINAPI* SetDllDirectoryFunction)(LPCSTR pathName);
static const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

int RestrictDllSearch()
{
    // kernel32 is in every process before its first instruction runs, so
    // looking it up loads nothing.
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    if (hKernel == NULL)
        return 0;

    // Windows 8, and Vista and 7 with the loader update: the system
    // folder only, for our own loads and for those of the system DLLs.
    SetDefaultDllDirectoriesFunction setDefaultDirectories =
        (SetDefaultDllDirectoriesFunction)GetProcAddress(hKernel, "SetDefaultDllDirectories");
    if (setDefaultDirectories != NULL && setDefaultDirectories(kSearchSystem32))
        return 1;

    // XP SP1 and later: at least the current directory leaves the search.
    // The executable's own folder stays first; nothing older offers more.
    SetDllDirectoryFunction setDllDirectory =
        (SetDllDirectoryFunction)GetProcAddress(hKernel, "SetDllDirectoryA");
    if (setDllDirectory != NULL && setDllDirectory(""))
        return 1;
    return 0;
}
