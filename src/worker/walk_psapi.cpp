// Walks the processes and their modules with PSAPI, the way of NT 4.0
// (psapi.dll, loaded from the system folder at run time), where Toolhelp is
// missing.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

typedef BOOL (WINAPI* EnumProcessesFunction)(DWORD* ids, DWORD cbIds, DWORD* cbNeeded);
typedef BOOL (WINAPI* EnumModulesFunction)(HANDLE hProcess, HMODULE* modules, DWORD cbModules,
                                          DWORD* cbNeeded);
typedef DWORD (WINAPI* ModuleNameFunction)(HANDLE hProcess, HMODULE hModule, LPSTR name, DWORD cchName);

int WalkProcessesWithPsapi(const ListedPaths* listed, RunningPrograms* found)
{
    LibraryGuard psapi(LoadSystemLibrary("psapi.dll"));
    if (psapi.Get() == NULL)
        return 0;
    EnumProcessesFunction enumProcesses = (EnumProcessesFunction)GetProcAddress(psapi.Get(), "EnumProcesses");
    EnumModulesFunction enumModules = (EnumModulesFunction)GetProcAddress(psapi.Get(), "EnumProcessModules");
    ModuleNameFunction moduleName = (ModuleNameFunction)GetProcAddress(psapi.Get(), "GetModuleFileNameExA");
    if (!enumProcesses || !enumModules || !moduleName)
        return 0;
    DWORD ids[1024];
    DWORD cbIds = 0;
    if (!enumProcesses(ids, sizeof(ids), &cbIds))
        return 0;
    for (DWORD i = 0; i < cbIds / sizeof(DWORD); ++i) {
        if (ids[i] == 0 || ids[i] == found->ownIds[0] || ids[i] == found->ownIds[1])
            continue;
        HandleGuard hProcess(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        if (hProcess.Get() == NULL)
            continue;
        HMODULE modules[1024];
        DWORD cbModules = 0;
        if (!enumModules(hProcess.Get(), modules, sizeof(modules), &cbModules))
            continue;
        if (cbModules > sizeof(modules))
            cbModules = sizeof(modules);
        char path[MAX_PATH];
        for (DWORD m = 0; m < cbModules / sizeof(HMODULE); ++m) {
            DWORD cch = moduleName(hProcess.Get(), modules[m], path, COUNTOF(path));
            if (cch == 0 || cch >= COUNTOF(path) || !IsListedOrBelow(listed, path))
                continue;
            // The first module is the executable: its file name names it.
            if (moduleName(hProcess.Get(), modules[0], path, COUNTOF(path)) == 0)
                path[0] = '\0';
            AddRunningProgram(found, ids[i], FindFileName(path), 0);
            break;
        }
    }
    return 1;
}
