// Walks the processes and their modules with Toolhelp (Windows 95 and 98,
// Windows 2000 and later; not NT 4.0), looked up in kernel32 at run time.

#include "worker/worker.h"

#include <tlhelp32.h>

#include "common/common.h"
#include "common/guard.h"

typedef HANDLE (WINAPI* CreateSnapshotFunction)(DWORD flags, DWORD processId);
typedef BOOL (WINAPI* ProcessStepFunction)(HANDLE hSnapshot, PROCESSENTRY32* entry);
typedef BOOL (WINAPI* ModuleStepFunction)(HANDLE hSnapshot, MODULEENTRY32* entry);

struct ToolhelpCalls {
    CreateSnapshotFunction createSnapshot;
    ProcessStepFunction processFirst, processNext;
    ModuleStepFunction moduleFirst, moduleNext;
};

// True when a module of the process is listed or lies below a listed
// directory. A process we may not look into (another user's, a 64-bit one
// seen from a 32-bit process) counts as not using them.
static int UsesListedModule(const ToolhelpCalls& calls, DWORD processId, const ListedPaths* listed)
{
    HANDLE hSnapshot = INVALID_HANDLE_VALUE;
    // The snapshot may fail with ERROR_BAD_LENGTH while the process loads
    // modules; taking it again then is what the reference advises.
    for (int attempt = 0; attempt < 3 && hSnapshot == INVALID_HANDLE_VALUE; ++attempt) {
        hSnapshot = calls.createSnapshot(TH32CS_SNAPMODULE, processId);
        if (hSnapshot == INVALID_HANDLE_VALUE && GetLastError() != ERROR_BAD_LENGTH)
            break;
    }
    HandleGuard hModules(hSnapshot);
    if (hModules.Get() == INVALID_HANDLE_VALUE)
        return 0;
    MODULEENTRY32 module;
    module.dwSize = sizeof(module);
    for (BOOL more = calls.moduleFirst(hModules.Get(), &module); more;
         more = calls.moduleNext(hModules.Get(), &module)) {
        if (IsListedOrBelow(listed, module.szExePath))
            return 1;
    }
    return 0;
}

int WalkProcessesWithToolhelp(const ListedPaths* listed, RunningPrograms* found)
{
    // kernel32 is in every process, so looking it up loads nothing.
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    if (hKernel == NULL)
        return 0;
    ToolhelpCalls calls;
    calls.createSnapshot = (CreateSnapshotFunction)GetProcAddress(hKernel, "CreateToolhelp32Snapshot");
    calls.processFirst = (ProcessStepFunction)GetProcAddress(hKernel, "Process32First");
    calls.processNext = (ProcessStepFunction)GetProcAddress(hKernel, "Process32Next");
    calls.moduleFirst = (ModuleStepFunction)GetProcAddress(hKernel, "Module32First");
    calls.moduleNext = (ModuleStepFunction)GetProcAddress(hKernel, "Module32Next");
    if (!calls.createSnapshot || !calls.processFirst || !calls.processNext || !calls.moduleFirst ||
        !calls.moduleNext)
        return 0;
    HandleGuard hProcesses(calls.createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (hProcesses.Get() == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 process;
    process.dwSize = sizeof(process);
    for (BOOL more = calls.processFirst(hProcesses.Get(), &process); more;
         more = calls.processNext(hProcesses.Get(), &process)) {
        DWORD id = process.th32ProcessID;
        if (id == 0 || id == found->ownIds[0] || id == found->ownIds[1])
            continue;
        // The 9x family names the executable by its full path here, the NT
        // family by its file name only; its modules name it in full.
        if (IsListedOrBelow(listed, process.szExeFile) || UsesListedModule(calls, id, listed))
            AddRunningProgram(found, id, FindFileName(process.szExeFile), 0);
    }
    return 1;
}
