// Plays the user of a running uninstallation for the end-to-end scenarios:
// answers the question, drives the progress dialog, dismisses error boxes,
// and reports what it saw (and what the registry holds afterwards) as
// plain lines for the scenarios to compare.
//
//   twdriver <report file> <action> [args] [<action> [args]] ...
//
// Actions, run in order (the first failing one ends the driver, exit code 1):
//   start <command line>      start a process (usually twuninst.exe /s)
//   start-9x <layer dll> <command line>
//                             the same under the 9x personality
//   answer yes|no             wait for the question box, report it, press
//   error-box                 wait for an error box, report it, press OK
//   run-dialog <log file> [hold-launcher <installed exe> <entry key>]
//                             follow the progress dialog to its end (below)
//   kill-worker               terminate the worker once its dialog shows and
//                             report whether the launcher ends
//   start-beside <command line> <ms>
//                             once the progress dialog shows, start another
//                             process, wait for it to end and report its exit
//                             code and whether the dialog was still open then
//   wait-started <ms>         wait for the started process to end; report
//                             its exit code
//   wait-uninstaller <ms>     wait until no twuninst.exe or .bin process runs
//   lock <path>               hold the file open, unshared, until the end
//   listen-environment        from now on, count the announcements of a
//                             changed environment (WM_SETTINGCHANGE with
//                             "Environment") that reach a top-level window
//   environment-announcements report that count
//   running-box retry|ignore|cancel [closing <title>]
//                             wait for the box that names the running
//                             programs, report it and its buttons, (close
//                             the window of that title first,) press
//   string <id>               report a string of the uninstaller's table
//   wait-window <title>       wait for a program's window with that title
//   keys <root\path> ...      report each key as present or absent
//   values <root\path> ...    report every value of each key
//   pending                   report the pending file operations
//   short-path <path>         report the file's short (8.3) path
//   locale                    report the code page and UI language Wine
//                             gives ("locale: 932:0x0411")
//
// Texts are written as the program shows them (bytes of the ANSI code page);
// a line feed inside a text is written as \n.

#include <windows.h>
#include <tlhelp32.h>
#include <stdlib.h>

#include "common/common.h"
#include "driving.h"
#include "res/resource.h"
#include "personality_9x.h"

static HANDLE s_hStarted = NULL;          // the process of the last "start"

static const DWORD kWaitWindowMs = 30000;

static void GetProcessName(DWORD pid, char* name, size_t cchName)
{
    name[0] = '\0';
    HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnap == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Process32First(hSnap, &entry); ok; ok = Process32Next(hSnap, &entry)) {
        if (entry.th32ProcessID == pid) {
            CopyText(name, cchName, entry.szExeFile);
            break;
        }
    }
    CloseHandle(hSnap);
}

// Suspends (or resumes) every thread of a process. Returns the thread count.
static int SuspendProcessThreads(DWORD pid, int suspend)
{
    HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnap == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL ok = Thread32First(hSnap, &entry); ok; ok = Thread32Next(hSnap, &entry)) {
        if (entry.th32OwnerProcessID != pid)
            continue;
        HANDLE hThread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (hThread == NULL)
            continue;
        if ((suspend ? SuspendThread(hThread) : ResumeThread(hThread)) != (DWORD)-1)
            ++count;
        CloseHandle(hThread);
    }
    CloseHandle(hSnap);
    return count;
}

static int IsProcessAlive(HANDLE hProcess)
{
    return hProcess != NULL && WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT;
}

// Starts a command line through createProcess (CreateProcessA, or the 9x
// personality's); returns the process handle, NULL on failure.
static HANDLE StartProcess(const char* commandLine, CreateProcessUnder9xFunction createProcess)
{
    char line[2048];
    CopyText(line, COUNTOF(line), commandLine);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!createProcess(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return NULL;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// Starts the process that the later actions follow.
static int StartFollowed(const char* commandLine, CreateProcessUnder9xFunction createProcess)
{
    HANDLE hProcess = StartProcess(commandLine, createProcess);
    if (hProcess == NULL)
        return ReportFailure("start");
    if (s_hStarted != NULL)
        CloseHandle(s_hStarted);
    s_hStarted = hProcess;
    return 1;
}

static int DoStart(char** args, int count, int* taken)
{
    return StartFollowed(TakeArgument(args, count, taken), CreateProcessA);
}

// The layer stays idle in the driver, which Wine does not report as the 9x
// family; it follows the started process into the processes it starts.
static int DoStartUnder9x(char** args, int count, int* taken)
{
    CreateProcessUnder9xFunction createProcess = LoadPersonality9x(TakeArgument(args, count, taken));
    if (createProcess == NULL)
        return ReportFailure("cannot load the 9x personality");
    return StartFollowed(TakeArgument(args, count, taken), createProcess);
}

static int DoShortPath(char** args, int count, int* taken)
{
    const char* path = TakeArgument(args, count, taken);
    char shortPath[MAX_PATH];
    DWORD cch = GetShortPathNameA(path, shortPath, COUNTOF(shortPath));
    Reportf("short path of %s: %s\n", path, cch > 0 && cch < COUNTOF(shortPath) ? shortPath : "(none)");
    return 1;
}

static int DoAnswer(char** args, int count, int* taken)
{
    const char* answer = TakeArgument(args, count, taken);
    HWND hBox = ReadQuestion();
    if (hBox == NULL)
        return ReportFailure("no question box");
    PressButton(hBox, lstrcmpA(answer, "yes") == 0 ? IDYES : IDNO);
    if (!WaitWindowGone(hBox, 10000))
        return ReportFailure("question box stays");
    return 1;
}

static int DoErrorBox(char**, int, int*)
{
    HWND hBox = WaitForUninstallerWindow(KIND_ERROR_BOX, kWaitWindowMs);
    if (hBox == NULL)
        return ReportFailure("no error box");
    char text[1024];
    GetBoxMessage(hBox, text, COUNTOF(text));
    ReportText("error box", text);
    Reportf("error box buttons: ok=%s cancel=%s yes=%s\n",
            GetDlgItem(hBox, IDOK) ? "yes" : "no", GetDlgItem(hBox, IDCANCEL) ? "yes" : "no",
            GetDlgItem(hBox, IDYES) ? "yes" : "no");
    PressButton(hBox, GetDlgItem(hBox, IDOK) ? IDOK : IDCANCEL);
    if (!WaitWindowGone(hBox, 10000))
        return ReportFailure("error box stays");
    return 1;
}

// True when the dialog itself is in the finished state: the registry
// indicator holds the same picture as the files indicator (done). The
// screen may still show the last running state then.
static int IsFinishedInDialog(HWND hDlg)
{
    DWORD_PTR files = 0, registry = 0;
    SendMessageTimeoutA(GetDlgItem(hDlg, IDC_PHASE_FILES), STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_NORMAL, 5000, &files);
    SendMessageTimeoutA(GetDlgItem(hDlg, IDC_PHASE_REGISTRY), STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_NORMAL, 5000,
                        &registry);
    return files != 0 && files == registry;
}

// The picture the dialog holds in an indicator now (a handle of the
// worker's, good for telling pictures apart).
static DWORD_PTR IndicatorPicture(HWND hDlg, int id)
{
    DWORD_PTR picture = 0;
    SendMessageTimeoutA(GetDlgItem(hDlg, id), STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_NORMAL, 5000, &picture);
    return picture;
}

// Follows the phase pictures to the finished state: reports every change
// of the pictures and how long each phase was shown (the first from
// `start`, when the dialog was first seen), tries to close the dialog
// (WM_CLOSE, IDCANCEL, IDOK) in every running phase, and tells whether the
// detail box grew while the screen showed the files phase running and the
// dialog still ran it.
static int FollowPhases(HWND hDlg, DWORD start)
{
    int closeAttempts = 0;
    int buttonsWhileRunning = 0;
    const DWORD_PTR filesRunning = IndicatorPicture(hDlg, IDC_PHASE_FILES);
    int screenState = -1, boxLengths = 0;
    DWORD_PTR lastBoxLength = 0;
    DWORD stateTimes[4] = { (DWORD)-1, (DWORD)-1, (DWORD)-1, (DWORD)-1 };
    DWORD cameAfter[4] = { 0, 0, 0, 0 }, cameBy[4] = { 0, 0, 0, 0 };
    PhaseWatch watch = PHASE_WATCH_START;
    for (;;) {
        if (!IsWindow(hDlg))
            return ReportFailure("progress dialog ended before the finished state");
        int state = WatchPhases(hDlg, &watch);
        if (state == WATCH_UNREADABLE)
            return ReportFailure("cannot read the screen");
        if (state == WATCH_UNSETTLED) {
            Sleep(5);
            continue;
        }
        if (state >= 0) {
            screenState = state;
            stateTimes[state] = GetTickCount() - start;
            cameAfter[state] = watch.changedAfter;
            cameBy[state] = watch.changedBy;
            if (state == STATE_FINISHED)
                break;
            // A close request, Escape and Enter in each running phase.
            PostMessageA(hDlg, WM_CLOSE, 0, 0);
            PressButton(hDlg, IDCANCEL);
            PressButton(hDlg, IDOK);
            closeAttempts += 3;
        }
        // The buttons show only after the last indicator got its done
        // picture; the screen may lag behind the dialog, so the dialog's
        // own pictures tell whether it still runs.
        if ((IsControlVisible(hDlg, IDOK) || IsControlVisible(hDlg, IDC_DETAIL)) && !IsFinishedInDialog(hDlg))
            buttonsWhileRunning = 1;
        DWORD_PTR boxLength = 0;
        if (screenState == STATE_FILES &&
            SendMessageTimeoutA(GetDlgItem(hDlg, IDC_DETAIL_LOG), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000,
                                &boxLength) &&
            IndicatorPicture(hDlg, IDC_PHASE_FILES) == filesRunning && boxLength != lastBoxLength) {
            lastBoxLength = boxLength;
            ++boxLengths;
        }
        Sleep(5);
    }
    // How long each phase was shown: the second and third from change to
    // change, the first from the moment the dialog became visible (its
    // pictures are painted only when the worker first pumps). The second and
    // third also at most: from the earliest their picture can have come on
    // screen to the latest the next one can have, which holds however slow
    // the readings of the screen were.
    stateTimes[0] = 0;
    for (int k = 1; k < 4; ++k)
        if (stateTimes[k] != (DWORD)-1 && stateTimes[k - 1] != (DWORD)-1) {
            Reportf("phase %d ms: %lu\n", k, stateTimes[k] - stateTimes[k - 1]);
            if (k >= 2)
                Reportf("phase %d at most ms: %lu\n", k, cameBy[k] - cameAfter[k - 1]);
        }
    Reportf("close attempts while running: %d\n", closeAttempts);
    Reportf("buttons shown while running: %s\n", buttonsWhileRunning ? "yes" : "no");
    Reportf("detail box grew while the files phase ran: %s\n", boxLengths >= 2 ? "yes" : "no");
    return 1;
}

// The finished state: Close with string 7, and Detail, which expands the
// dialog at its bottom edge only and collapses it back.
static int CheckFinishedState(HWND hDlg, const char* logPath)
{
    // Whether or not it comes whole in time, report what the dialog shows.
    WaitForFinishedState(hDlg, 10000);
    if (!IsWindow(hDlg))
        return ReportFailure("progress dialog ended on its own");
    char text[1024];
    GetForeignText(GetDlgItem(hDlg, IDOK), text, COUNTOF(text));
    ReportText("close button", text);
    Reportf("close button is string 7: %s\n", lstrcmpA(text, LoadTextBuffer(IDS_CLOSE)) == 0 ? "yes" : "no");
    Reportf("detail check box visible: %s\n", IsControlVisible(hDlg, IDC_DETAIL) ? "yes" : "no");
    GetForeignText(GetDlgItem(hDlg, IDC_HEADING), text, COUNTOF(text));
    ReportText("heading", text);
    if (!SaveDetailLog(hDlg, logPath))
        return ReportFailure("cannot write the detail log");

    HWND hBox = GetDlgItem(hDlg, IDC_DETAIL_LOG);
    RECT collapsed, expanded, again, boxRect, client, collapsedClient;
    GetWindowRect(hDlg, &collapsed);
    GetClientRect(hDlg, &collapsedClient);
    GetWindowRect(hBox, &boxRect);
    MapWindowPoints(NULL, hDlg, (POINT*)&boxRect, 2);
    Reportf("detail box visible while collapsed: %s\n",
            IsWindowVisible(hBox) && boxRect.top < collapsedClient.bottom ? "yes" : "no");
    ClickDetail(hDlg);
    GetWindowRect(hDlg, &expanded);
    GetClientRect(hDlg, &client);
    GetWindowRect(hBox, &boxRect);
    MapWindowPoints(NULL, hDlg, (POINT*)&boxRect, 2);
    Reportf("detail box inside expanded client: %s\n",
            boxRect.top >= 0 && boxRect.bottom <= client.bottom ? "yes" : "no");
    // The expanded client is 214 dialog units high, the collapsed 117.
    long wantHeight = (collapsedClient.bottom * 214 + 58) / 117;
    long diff = client.bottom - wantHeight;
    Reportf("expanded client height matches 214 units: %s\n", diff >= -3 && diff <= 3 ? "yes" : "no");
    Reportf("expanded keeps position and width: %s\n",
            expanded.left == collapsed.left && expanded.top == collapsed.top &&
            expanded.right == collapsed.right && expanded.bottom > collapsed.bottom ? "yes" : "no");
    ClickDetail(hDlg);
    GetWindowRect(hDlg, &again);
    Reportf("collapsed again to the same size: %s\n", EqualRect(&again, &collapsed) ? "yes" : "no");
    return 1;
}

// Follows the progress dialog from its first appearance to its end: the
// phases, the finished state (its detail box read into logPath), and Close.
// With a held launcher, freezes the launcher before Close and reports that
// the worker waits for it before deleting anything more.
static int DoRunDialog(char** args, int count, int* taken)
{
    const char* logPath = TakeArgument(args, count, taken);
    const char* heldExe = NULL;
    const char* entryKey = NULL;
    if (count - *taken >= 3 && lstrcmpA(args[*taken], "hold-launcher") == 0) {
        TakeArgument(args, count, taken);
        heldExe = TakeArgument(args, count, taken);
        entryKey = TakeArgument(args, count, taken);
    }
    HWND hDlg = WaitForUninstallerWindow(KIND_PROGRESS, kWaitWindowMs);
    if (hDlg == NULL)
        return ReportFailure("no progress dialog");
    DWORD start = GetTickCount();
    DWORD workerPid = 0;
    GetWindowThreadProcessId(hDlg, &workerPid);
    char workerName[MAX_PATH];
    GetProcessName(workerPid, workerName, COUNTOF(workerName));
    Reportf("worker: %s\n", workerName);
    HANDLE hWorker = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, workerPid);
    DWORD launcherPid = FindProcessByName("twuninst.exe");
    HANDLE hLauncher = launcherPid ? OpenProcess(SYNCHRONIZE, FALSE, launcherPid) : NULL;
    Reportf("launcher running: %s\n", IsProcessAlive(hLauncher) ? "yes" : "no");

    char text[1024];
    GetForeignText(GetDlgItem(hDlg, IDC_APP_NAME), text, COUNTOF(text));
    ReportText("display name", text);
    GetForeignText(GetDlgItem(hDlg, IDC_HEADING), text, COUNTOF(text));
    ReportText("heading", text);

    if (!FollowPhases(hDlg, start) || !CheckFinishedState(hDlg, logPath))
        return 0;
    Reportf("launcher alive before close: %s\n", IsProcessAlive(hLauncher) ? "yes" : "no");
    int held = heldExe != NULL && launcherPid != 0 && SuspendProcessThreads(launcherPid, 1) > 0;
    PressButton(hDlg, IDOK);
    if (!WaitWindowGone(hDlg, 10000))
        return ReportFailure("progress dialog stays after Close");
    Report("dialog closed\n");
    if (held) {
        // The launcher cannot end now: the worker must still be waiting for
        // it, with the entry and the installed executable untouched. Give
        // it two seconds to end wrongly.
        WaitForSingleObject(hWorker, WaitBound(2000));
        Reportf("while the launcher is held: worker waiting=%s entry present=%s exe present=%s\n",
                IsProcessAlive(hWorker) ? "yes" : "no", IsKeyPresent(entryKey) ? "yes" : "no",
                GetFileAttributesA(heldExe) != INVALID_FILE_ATTRIBUTES ? "yes" : "no");
        SuspendProcessThreads(launcherPid, 0);
    }
    if (hLauncher != NULL)
        Reportf("launcher ended after close: %s\n",
                WaitForSingleObject(hLauncher, WaitBound(20000)) == WAIT_OBJECT_0 ? "yes" : "no");
    Reportf("worker ended: %s\n", hWorker && WaitForSingleObject(hWorker, WaitBound(20000)) == WAIT_OBJECT_0 ? "yes" : "no");
    if (heldExe != NULL)
        Reportf("installed exe after the run: %s\n",
                GetFileAttributesA(heldExe) != INVALID_FILE_ATTRIBUTES ? "present" : "absent");
    if (hLauncher != NULL)
        CloseHandle(hLauncher);
    if (hWorker != NULL)
        CloseHandle(hWorker);
    return 1;
}

static int DoKillWorker(char**, int, int*)
{
    HWND hDlg = WaitForUninstallerWindow(KIND_PROGRESS, kWaitWindowMs);
    if (hDlg == NULL)
        return ReportFailure("no progress dialog");
    DWORD workerPid = 0;
    GetWindowThreadProcessId(hDlg, &workerPid);
    DWORD launcherPid = FindProcessByName("twuninst.exe");
    HANDLE hLauncher = launcherPid ? OpenProcess(SYNCHRONIZE, FALSE, launcherPid) : NULL;
    HANDLE hWorker = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, workerPid);
    if (hWorker == NULL || hLauncher == NULL)
        return ReportFailure("cannot open the worker or the launcher");
    Reportf("launcher running before the kill: %s\n", IsProcessAlive(hLauncher) ? "yes" : "no");
    TerminateProcess(hWorker, 1);
    WaitForSingleObject(hWorker, WaitBound(10000));
    int ended = WaitForSingleObject(hLauncher, WaitBound(20000)) == WAIT_OBJECT_0;
    Reportf("launcher ended after the worker was killed: %s\n", ended ? "yes" : "no");
    CloseHandle(hWorker);
    CloseHandle(hLauncher);
    return 1;
}

static int DoStartBeside(char** args, int count, int* taken)
{
    const char* commandLine = TakeArgument(args, count, taken);
    DWORD timeoutMs = (DWORD)atoi(TakeArgument(args, count, taken));
    HWND hDlg = WaitForUninstallerWindow(KIND_PROGRESS, kWaitWindowMs);
    if (hDlg == NULL)
        return ReportFailure("no progress dialog");
    HANDLE hBeside = StartProcess(commandLine, CreateProcessA);
    if (hBeside == NULL)
        return ReportFailure("start beside");
    int ended = WaitForSingleObject(hBeside, timeoutMs) == WAIT_OBJECT_0;
    DWORD code = 0;
    if (ended && GetExitCodeProcess(hBeside, &code))
        Reportf("beside process exit code: %lu\n", code);
    else
        Report("beside process ended: no\n");
    Reportf("progress dialog open when it ended: %s\n", IsWindow(hDlg) ? "yes" : "no");
    CloseHandle(hBeside);
    return 1;
}

static int DoWaitStarted(char** args, int count, int* taken)
{
    DWORD timeoutMs = (DWORD)atoi(TakeArgument(args, count, taken));
    if (s_hStarted == NULL)
        return ReportFailure("nothing started");
    int ended = WaitForSingleObject(s_hStarted, WaitBound(timeoutMs)) == WAIT_OBJECT_0;
    Reportf("started process ended: %s\n", ended ? "yes" : "no");
    DWORD code = 0;
    if (ended && GetExitCodeProcess(s_hStarted, &code))
        Reportf("started process exit code: %lu\n", code);
    return 1;
}

static int DoWaitUninstaller(char** args, int count, int* taken)
{
    WaitUninstallerGone((DWORD)atoi(TakeArgument(args, count, taken)));
    return 1;
}

// The handle stays open until the driver ends: meanwhile nobody can delete
// the file.
static int DoLock(char** args, int count, int* taken)
{
    const char* path = TakeArgument(args, count, taken);
    HANDLE hFile = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    Reportf("locked %s: %s\n", path, hFile != INVALID_HANDLE_VALUE ? "yes" : "no");
    return 1;
}

// The listener: a hidden top-level window in a thread of its own, which
// answers at once, as Explorer would.
static volatile LONG s_environmentAnnouncements = 0;

static LRESULT CALLBACK ListenerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SETTINGCHANGE && lParam != 0 && lstrcmpA((const char*)lParam, "Environment") == 0)
        InterlockedIncrement(&s_environmentAnnouncements);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

static DWORD WINAPI ListenerThread(void* ready)
{
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = ListenerProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TwDriverEnvironmentListener";
    RegisterClassA(&wc);
    CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, NULL, NULL, wc.hInstance, NULL);
    SetEvent((HANDLE)ready);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

static int DoListenEnvironment(char**, int, int*)
{
    HANDLE hReady = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE hThread = CreateThread(NULL, 0, ListenerThread, hReady, 0, NULL);
    int ready = hThread != NULL && WaitForSingleObject(hReady, 10000) == WAIT_OBJECT_0;
    CloseHandle(hReady);
    if (hThread != NULL)
        CloseHandle(hThread);
    return ready ? 1 : ReportFailure("no listener window");
}

static int DoEnvironmentAnnouncements(char**, int, int*)
{
    Reportf("environment announcements: %ld\n", s_environmentAnnouncements);
    return 1;
}

static HWND WaitForTitledWindow(const char* title, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    HWND hwnd;
    while ((hwnd = FindWindowA(NULL, title)) == NULL && GetTickCount() - start < timeoutMs)
        Sleep(50);
    return hwnd;
}

static int DoWaitWindow(char** args, int count, int* taken)
{
    const char* title = TakeArgument(args, count, taken);
    HWND hwnd = WaitForTitledWindow(title, kWaitWindowMs);
    Reportf("window %s: %s\n", title, hwnd != NULL ? "shown" : "missing");
    return hwnd != NULL;
}

// Closes the window whose title is the next argument, as its user would,
// and waits for its program to end.
static int CloseNamedWindow(char** args, int count, int* taken)
{
    const char* title = TakeArgument(args, count, taken);
    HWND hwnd = WaitForTitledWindow(title, 0);
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    HANDLE hProcess = hwnd != NULL ? OpenProcess(SYNCHRONIZE, FALSE, processId) : NULL;
    if (hProcess == NULL)
        return ReportFailure("no window to close");
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    int ended = WaitForSingleObject(hProcess, 20000) == WAIT_OBJECT_0;
    CloseHandle(hProcess);
    Reportf("window %s closed: %s\n", title, ended ? "yes" : "no");
    return 1;
}

// The box that names the running programs. Windows 2000 and later give it
// Cancel, Try Again and Continue; older systems Abort, Retry and Ignore.
static int DoRunningBox(char** args, int count, int* taken)
{
    const char* answer = TakeArgument(args, count, taken);
    int closing = count - *taken >= 2 && lstrcmpA(args[*taken], "closing") == 0;
    if (closing)
        TakeArgument(args, count, taken);
    HWND hBox = WaitForUninstallerWindow(KIND_RUNNING_BOX, kWaitWindowMs);
    if (hBox == NULL)
        return ReportFailure("no running-programs box");
    char text[1024];
    GetBoxMessage(hBox, text, COUNTOF(text));
    ReportText("running box", text);
    int newer = GetDlgItem(hBox, IDTRYAGAIN) != NULL;
    Reportf("running box buttons: %s\n", newer ? (GetDlgItem(hBox, IDCANCEL) && GetDlgItem(hBox, IDCONTINUE)
                                                     ? "cancel try-again continue" : "?")
                                                : (GetDlgItem(hBox, IDABORT) && GetDlgItem(hBox, IDIGNORE)
                                                     ? "abort retry ignore" : "?"));
    // The program ends while the box is up: the next look finds it gone.
    if (closing && !CloseNamedWindow(args, count, taken))
        return 0;
    int id = lstrcmpA(answer, "retry") == 0 ? (newer ? IDTRYAGAIN : IDRETRY)
           : lstrcmpA(answer, "ignore") == 0 ? (newer ? IDCONTINUE : IDIGNORE)
           : (newer ? IDCANCEL : IDABORT);
    PressButton(hBox, id);
    if (!WaitWindowGone(hBox, 10000))
        return ReportFailure("running-programs box stays");
    return 1;
}

static int DoString(char** args, int count, int* taken)
{
    int id = atoi(TakeArgument(args, count, taken));
    Reportf("string %d: %s\n", id, LoadTextBuffer((UINT)id));
    return 1;
}

static int DoLocale(char**, int, int*)
{
    Reportf("locale: %u:0x%04x\n", GetACP(), (unsigned)GetUserDefaultUILanguage());
    return 1;
}

int main(int argc, char** argv)
{
    static const DriverAction kActions[] = {
        { "start", DoStart }, { "answer", DoAnswer }, { "error-box", DoErrorBox },
        { "run-dialog", DoRunDialog }, { "kill-worker", DoKillWorker }, { "wait-started", DoWaitStarted },
        { "locale", DoLocale }, { "start-9x", DoStartUnder9x }, { "short-path", DoShortPath },
        { "listen-environment", DoListenEnvironment }, { "environment-announcements", DoEnvironmentAnnouncements },
        { "wait-uninstaller", DoWaitUninstaller }, { "lock", DoLock }, { "running-box", DoRunningBox },
        { "wait-window", DoWaitWindow }, { "string", DoString }, { "start-beside", DoStartBeside },
    };
    return RunDriver(argc, argv, kActions, COUNTOF(kActions));
}
