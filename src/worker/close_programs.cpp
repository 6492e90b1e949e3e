// Asks the programs that run with the installation's files to close, as the
// user would by closing their windows, and waits a bounded time for them to
// end. A program that does not end is left running: nothing here ends one.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

struct Closing {
    const RunningPrograms* found;
    int asked[TW_MAX_RUNNING_PROGRAMS];
};

// A close request to each visible, titled top-level window that no other
// window owns: the windows a user could close. Windows without a title bar
// (a desktop, a taskbar) are never asked; what closing them does is not
// closing the program.
static BOOL CALLBACK AskWindowToClose(HWND hwnd, LPARAM lParam)
{
    Closing* closing = (Closing*)lParam;
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    for (int i = 0; i < closing->found->count; ++i) {
        if (closing->found->items[i].processId != processId || !IsWindowVisible(hwnd) ||
            GetWindow(hwnd, GW_OWNER) != NULL || (GetWindowLongA(hwnd, GWL_STYLE) & WS_CAPTION) != WS_CAPTION)
            continue;
        // Posted, not sent: a program that hangs cannot hold us.
        if (PostMessageA(hwnd, WM_CLOSE, 0, 0))
            closing->asked[i] = 1;
    }
    return TRUE;
}

int AskProgramsToClose(const RunningPrograms* found, DWORD timeoutMs)
{
    // The processes are opened before they are asked, so that an identifier
    // freed by a quick end is never taken for another process.
    HandleGuard processes[TW_MAX_RUNNING_PROGRAMS];
    for (int i = 0; i < found->count; ++i)
        processes[i].Reset(OpenProcess(SYNCHRONIZE, FALSE, found->items[i].processId));
    Closing closing;
    closing.found = found;
    ZeroMemory(closing.asked, sizeof(closing.asked));
    EnumWindows(AskWindowToClose, (LPARAM)&closing);

    HANDLE waitFor[TW_MAX_RUNNING_PROGRAMS];
    DWORD count = 0;
    for (int i = 0; i < found->count; ++i)
        if (closing.asked[i] && processes[i].Get() != NULL)
            waitFor[count++] = processes[i].Get();
    if (count == 0)
        return 0;
    WaitForMultipleObjects(count, waitFor, TRUE, timeoutMs);
    int running = 0;
    for (DWORD i = 0; i < count; ++i)
        running += WaitForSingleObject(waitFor[i], 0) == WAIT_TIMEOUT;
    return running;
}
