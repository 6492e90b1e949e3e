// The demonstration's user: answers the question, follows the progress
// dialog and closes it, and asks the demonstration script for a screenshot
// of each stage on the way. Also reports keys and pending file operations
// for the inventory before and after.
//
//   twdemo <report file> <action> [args] [<action> [args]] ...
//
// Actions, run in order (the first failing one ends the program, exit 1):
//   answer yes|no             wait for the question, report it, press
//   run-dialog <log file>     follow the progress dialog to the finished
//                             state, save the detail box into the log file,
//                             show the log expanded, and press Close
//   wait-uninstaller <ms>     wait until no twuninst.exe or .bin process runs
//   keys <root\path> ...      report each key as present or absent
//   pending                   report the pending file operations
//
// At the question, in the second phase and in the finished state the
// program reports "shot: <name>" and waits until C:\shot-<name>.done
// exists: the script takes the screenshot meanwhile.

#include <windows.h>
#include <stdlib.h>

#include "common/common.h"
#include "driving.h"
#include "res/resource.h"

static void WaitForShot(const char* name)
{
    char done[MAX_PATH];
    wsprintfA(done, "C:\\shot-%s.done", name);
    Reportf("shot: %s\n", name);
    DWORD start = GetTickCount();
    while (GetFileAttributesA(done) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 15000)
        Sleep(20);
}

static int DoAnswer(char** args, int count, int* taken)
{
    const char* answer = TakeArgument(args, count, taken);
    HWND hBox = ReadQuestion();
    if (hBox == NULL)
        return ReportFailure("no question box");
    WaitForShot("question");
    PressButton(hBox, lstrcmpA(answer, "yes") == 0 ? IDYES : IDNO);
    return WaitWindowGone(hBox, 10000) || ReportFailure("question box stays");
}

static int DoRunDialog(char** args, int count, int* taken)
{
    const char* logPath = TakeArgument(args, count, taken);
    HWND hDlg = WaitForUninstallerWindow(KIND_PROGRESS, 30000);
    if (hDlg == NULL)
        return ReportFailure("no progress dialog");
    char text[1024];
    GetForeignText(GetDlgItem(hDlg, IDC_APP_NAME), text, COUNTOF(text));
    ReportText("display name", text);
    GetForeignText(GetDlgItem(hDlg, IDC_HEADING), text, COUNTOF(text));
    ReportText("heading", text);

    PhaseWatch watch = PHASE_WATCH_START;
    int state;
    while ((state = WatchPhases(hDlg, &watch)) != STATE_FINISHED) {
        if (state == WATCH_UNREADABLE || !IsWindow(hDlg))
            return ReportFailure("the progress dialog cannot be followed");
        if (state == STATE_GROUPS)
            WaitForShot("running");
        Sleep(5);
    }

    WaitForFinishedState(hDlg, 10000);
    GetForeignText(GetDlgItem(hDlg, IDOK), text, COUNTOF(text));
    ReportText("close button", text);
    GetForeignText(GetDlgItem(hDlg, IDC_HEADING), text, COUNTOF(text));
    ReportText("heading", text);
    if (!SaveDetailLog(hDlg, logPath))
        return ReportFailure("cannot write the detail log");
    ClickDetail(hDlg);
    WaitForShot("finished");
    PressButton(hDlg, IDOK);
    return WaitWindowGone(hDlg, 10000) || ReportFailure("progress dialog stays after Close");
}

// Waits until no launcher or worker process is left.
static int DoWaitUninstaller(char** args, int count, int* taken)
{
    WaitUninstallerGone((DWORD)atoi(TakeArgument(args, count, taken)));
    return 1;
}

int main(int argc, char** argv)
{
    static const DriverAction kActions[] = {
        { "answer", DoAnswer }, { "run-dialog", DoRunDialog }, { "wait-uninstaller", DoWaitUninstaller },
    };
    return RunDriver(argc, argv, kActions, COUNTOF(kActions));
}
