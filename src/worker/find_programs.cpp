// Finds the programs that run with the installation's files: the Restart
// Manager where the system has one, and a walk of the processes and their
// modules; each program is then named as the user knows it.

#include "worker/worker.h"
#include "common/common.h"

void StartRunningPrograms(RunningPrograms* found, DWORD launcherId)
{
    found->count = 0;
    found->ownIds[0] = GetCurrentProcessId();
    found->ownIds[1] = launcherId;
}

void AddRunningProgram(RunningPrograms* found, DWORD processId, const char* name, int named)
{
    if (processId == 0 || processId == found->ownIds[0] || processId == found->ownIds[1])
        return;
    RunningProgram* program = NULL;
    for (int i = 0; i < found->count && program == NULL; ++i)
        if (found->items[i].processId == processId)
            program = &found->items[i];
    if (program == NULL) {
        if (found->count == TW_MAX_RUNNING_PROGRAMS)
            return;
        program = &found->items[found->count++];
        program->processId = processId;
        program->named = -1;
    }
    if (named > program->named && name[0] != '\0') {
        CopyText(program->name, COUNTOF(program->name), name);
        program->named = named;
    }
}

// The window title of each program that has a visible top-level window of
// its own with a title.
static BOOL CALLBACK NameByWindow(HWND hwnd, LPARAM lParam)
{
    RunningPrograms* found = (RunningPrograms*)lParam;
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    char title[COUNTOF(found->items[0].name)];
    for (int i = 0; i < found->count; ++i) {
        // The title of another process's window is read from the system,
        // without asking the window: a program that hangs cannot stop us.
        if (found->items[i].processId == processId && found->items[i].named < 2 && IsWindowVisible(hwnd) &&
            GetWindow(hwnd, GW_OWNER) == NULL && GetWindowTextA(hwnd, title, COUNTOF(title)) > 0)
            AddRunningProgram(found, processId, title, 2);
    }
    return TRUE;
}

void FindRunningPrograms(const ListedPaths* listed, RunningPrograms* found)
{
    if (listed->count == 0)
        return;
    AskRestartManager(listed, found);
    if (!WalkProcessesWithToolhelp(listed, found))
        WalkProcessesWithPsapi(listed, found);
    if (found->count > 0)
        EnumWindows(NameByWindow, (LPARAM)found);
}
