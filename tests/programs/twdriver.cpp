// Plays the user of a running uninstallation: answers the question, watches
// and drives the progress dialog, dismisses error boxes, and reports what it
// saw (and what the registry holds afterwards) as plain lines for the
// end-to-end scenarios to compare.
//
//   twdriver <report file> <action> [args] [<action> [args]] ...
//
// Actions, run in order (the first failing one ends the driver, exit code 1):
//   start <command line>      start a process (usually twuninst.exe /s)
//   answer yes|no             wait for the question box, report it, press
//   error-box                 wait for an error box, report it, press OK
//   run-dialog <log file> [hold-launcher <installed exe> <entry key>]
//                             follow the progress dialog to its end (below)
//   kill-worker               terminate the worker once its dialog shows and
//                             report whether the launcher ends
//   wait-started <ms>         wait for the started process to end
//   wait-uninstaller <ms>     wait until no twuninst.exe or .bin process runs
//   keys <root\path> ...      report each key as present or absent
//   pending                   report the pending file operations
//   no-windows <ms>           report any of our windows seen within ms
//
// Texts are written as the program shows them (bytes of the ANSI code page);
// a line feed inside a text is written as \n.

#include <windows.h>
#include <tlhelp32.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/common.h"
#include "res/resource.h"

static HANDLE s_hReport = INVALID_HANDLE_VALUE;
static HANDLE s_hStarted = NULL;          // the process of the last "start"

static const DWORD kWaitWindowMs = 30000;
static const UINT kMessageBoxTextId = 0xFFFF;

static void Report(const char* text)
{
    DWORD cb = 0;
    WriteFile(s_hReport, text, lstrlenA(text), &cb, NULL);
    fputs(text, stdout);
    fflush(stdout);
}

static void Reportf(const char* format, ...)
{
    char line[4096];
    va_list args;
    va_start(args, format);
    _vsnprintf(line, COUNTOF(line) - 1, format, args);
    va_end(args);
    line[COUNTOF(line) - 1] = '\0';
    Report(line);
}

// Reports a window text with its line feeds written as \n.
static void ReportText(const char* label, const char* text)
{
    Report(label);
    Report(": ");
    char piece[2] = { 0, 0 };
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            Report("\\n");
        } else {
            piece[0] = *p;
            Report(piece);
        }
    }
    Report("\n");
}

// With TW_DRIVER_SHOTS set (the demo), reports "shot: <name>" and waits
// until the host has taken its screenshot and created C:\shot-<name>.done.
static void WaitForShot(const char* name)
{
    if (getenv("TW_DRIVER_SHOTS") == NULL)
        return;
    char done[MAX_PATH];
    wsprintfA(done, "C:\\shot-%s.done", name);
    Reportf("shot: %s\n", name);
    DWORD start = GetTickCount();
    while (GetFileAttributesA(done) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 15000)
        Sleep(20);
}

static int Fail(const char* what)
{
    Reportf("FAILED: %s\n", what);
    return 0;
}

// The text of a window in another process (WM_GETTEXT is marshalled).
static void GetForeignText(HWND hwnd, char* text, size_t cchText)
{
    text[0] = '\0';
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, (WPARAM)cchText, (LPARAM)text, SMTO_NORMAL, 5000, &result);
    text[cchText - 1] = '\0';
}

enum WindowKind { KIND_QUESTION, KIND_ERROR_BOX, KIND_PROGRESS, KIND_ANY };

struct WindowSearch {
    WindowKind kind;
    HWND found;
};

static int IsOurDialog(HWND hwnd)
{
    char className[64];
    char caption[256];
    if (!GetClassNameA(hwnd, className, COUNTOF(className)) || lstrcmpA(className, "#32770") != 0)
        return 0;
    GetWindowTextA(hwnd, caption, COUNTOF(caption));
    return lstrcmpA(caption, TW_PROGRAM_TITLE) == 0 && IsWindowVisible(hwnd);
}

static int HasKind(HWND hwnd, WindowKind kind)
{
    int isBox = GetDlgItem(hwnd, kMessageBoxTextId) != NULL;
    int hasYesNo = GetDlgItem(hwnd, IDYES) != NULL && GetDlgItem(hwnd, IDNO) != NULL;
    switch (kind) {
    case KIND_QUESTION: return isBox && hasYesNo;
    case KIND_ERROR_BOX: return isBox && !hasYesNo;
    case KIND_PROGRESS: return GetDlgItem(hwnd, IDC_PHASE_FILES) != NULL;
    case KIND_ANY: return 1;
    }
    return 0;
}

static BOOL CALLBACK VisitTopLevel(HWND hwnd, LPARAM lParam)
{
    WindowSearch* search = (WindowSearch*)lParam;
    if (IsOurDialog(hwnd) && HasKind(hwnd, search->kind)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

static HWND FindOurWindow(WindowKind kind)
{
    WindowSearch search = { kind, NULL };
    EnumWindows(VisitTopLevel, (LPARAM)&search);
    return search.found;
}

static HWND WaitForWindow(WindowKind kind, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        HWND hwnd = FindOurWindow(kind);
        if (hwnd != NULL)
            return hwnd;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return NULL;
}

static int WaitWindowGone(HWND hwnd, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(hwnd)) {
        if (GetTickCount() - start >= timeoutMs)
            return 0;
        Sleep(20);
    }
    return 1;
}

static void PressButton(HWND hDlg, int id)
{
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(hDlg, id));
}

static int DoStart(const char* commandLine)
{
    char line[2048];
    CopyText(line, COUNTOF(line), commandLine);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return Fail("start");
    CloseHandle(pi.hThread);
    if (s_hStarted != NULL)
        CloseHandle(s_hStarted);
    s_hStarted = pi.hProcess;
    Reportf("started: %s\n", commandLine);
    return 1;
}

static int DoAnswer(const char* answer)
{
    HWND hBox = WaitForWindow(KIND_QUESTION, kWaitWindowMs);
    if (hBox == NULL)
        return Fail("no question box");
    char text[1024];
    GetForeignText(GetDlgItem(hBox, kMessageBoxTextId), text, COUNTOF(text));
    ReportText("question", text);
    // The default button carries BS_DEFPUSHBUTTON.
    const char* defaultButton = "?";
    if ((GetWindowLongA(GetDlgItem(hBox, IDNO), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
        defaultButton = "no";
    else if ((GetWindowLongA(GetDlgItem(hBox, IDYES), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
        defaultButton = "yes";
    Reportf("question default: %s\n", defaultButton);
    WaitForShot("question");
    int id = lstrcmpA(answer, "yes") == 0 ? IDYES : IDNO;
    PressButton(hBox, id);
    if (!WaitWindowGone(hBox, 10000))
        return Fail("question box stays");
    Reportf("answered: %s\n", answer);
    return 1;
}

static int DoErrorBox()
{
    HWND hBox = WaitForWindow(KIND_ERROR_BOX, kWaitWindowMs);
    if (hBox == NULL)
        return Fail("no error box");
    char text[1024];
    GetForeignText(GetDlgItem(hBox, kMessageBoxTextId), text, COUNTOF(text));
    ReportText("error box", text);
    Reportf("error box buttons: ok=%s cancel=%s yes=%s\n",
            GetDlgItem(hBox, IDOK) ? "yes" : "no", GetDlgItem(hBox, IDCANCEL) ? "yes" : "no",
            GetDlgItem(hBox, IDYES) ? "yes" : "no");
    PressButton(hBox, GetDlgItem(hBox, IDOK) ? IDOK : IDCANCEL);
    if (!WaitWindowGone(hBox, 10000))
        return Fail("error box stays");
    return 1;
}

// Finds a process by its executable name; 0 when there is none.
static DWORD FindProcessByName(const char* exeName)
{
    HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnap == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    DWORD pid = 0;
    for (BOOL ok = Process32First(hSnap, &entry); ok; ok = Process32Next(hSnap, &entry)) {
        if (lstrcmpiA(entry.szExeFile, exeName) == 0) {
            pid = entry.th32ProcessID;
            break;
        }
    }
    CloseHandle(hSnap);
    return pid;
}

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

// The phase pictures as the user sees them, read from the screen: the three
// pictures differ in their count of dark red pixels (the background and the
// shadow follow the colour scheme, the dark red stays).
static const char* NamePictureByRedCount(int reds)
{
    switch (reds) {
    case 0: return "empty";
    case 34: return "arrow";
    case 24: return "check";
    }
    return "other";
}

// Fills names[3] with the pictures that indicators 1008, 1009 and 1010 show
// on the screen now. Non-zero on success.
static int ReadShownPictures(HWND hDlg, const char* names[3])
{
    static const int kIndicators[3] = { IDC_PHASE_FILES, IDC_PHASE_GROUPS, IDC_PHASE_REGISTRY };
    RECT rects[3];
    RECT all;
    SetRectEmpty(&all);
    for (int i = 0; i < 3; ++i) {
        GetWindowRect(GetDlgItem(hDlg, kIndicators[i]), &rects[i]);
        UnionRect(&all, &all, &rects[i]);
    }
    int cx = all.right - all.left, cy = all.bottom - all.top;
    if (cx <= 0 || cy <= 0)
        return 0;
    BITMAPINFO bmi;
    ZeroMemory(&bmi, sizeof(bmi));
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HDC hScreen = GetDC(NULL);
    HDC hMem = CreateCompatibleDC(hScreen);
    HBITMAP hbm = CreateDIBSection(hScreen, &bmi, DIB_RGB_COLORS, &bits, NULL, 0);
    int ok = hbm != NULL && hMem != NULL;
    if (ok) {
        HGDIOBJ old = SelectObject(hMem, hbm);
        ok = BitBlt(hMem, 0, 0, cx, cy, hScreen, all.left, all.top, SRCCOPY);
        GdiFlush();
        for (int i = 0; ok && i < 3; ++i) {
            int reds = 0;
            for (int y = rects[i].top; y < rects[i].bottom; ++y)
                for (int x = rects[i].left; x < rects[i].right; ++x) {
                    DWORD px = ((const DWORD*)bits)[(y - all.top) * cx + (x - all.left)];
                    if ((px & 0xFFFFFF) == 0x800000)   // dark red (128, 0, 0) as BGRX
                        ++reds;
                }
            names[i] = NamePictureByRedCount(reds);
        }
        SelectObject(hMem, old);
    }
    if (hbm != NULL)
        DeleteObject(hbm);
    if (hMem != NULL)
        DeleteDC(hMem);
    ReleaseDC(NULL, hScreen);
    return ok;
}

static int IsControlVisible(HWND hDlg, int id)
{
    HWND hItem = GetDlgItem(hDlg, id);
    return hItem != NULL && (GetWindowLongA(hItem, GWL_STYLE) & WS_VISIBLE) != 0;
}

static int WriteWholeFile(const char* path, const char* text, DWORD cb)
{
    HANDLE hFile = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    DWORD cbWritten = 0;
    int ok = WriteFile(hFile, text, cb, &cbWritten, NULL) && cbWritten == cb;
    CloseHandle(hFile);
    return ok;
}

static int SplitRootPath(const char* text, HKEY* pRoot, const char** pPath)
{
    static const struct { const char* name; HKEY root; } kRoots[] = {
        { "HKCU\\", HKEY_CURRENT_USER }, { "HKCR\\", HKEY_CLASSES_ROOT },
        { "HKLM\\", HKEY_LOCAL_MACHINE }, { "HKU\\", HKEY_USERS },
    };
    for (size_t i = 0; i < COUNTOF(kRoots); ++i) {
        size_t cch = lstrlenA(kRoots[i].name);
        if (strncmp(text, kRoots[i].name, cch) == 0) {
            *pRoot = kRoots[i].root;
            *pPath = text + cch;
            return 1;
        }
    }
    return 0;
}

static int IsKeyPresent(const char* rootPath)
{
    HKEY root;
    const char* path;
    if (!SplitRootPath(rootPath, &root, &path))
        return 0;
    HKEY hKey;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(hKey);
    return 1;
}

static void ReportWindowRect(const char* label, HWND hDlg)
{
    RECT r;
    GetWindowRect(hDlg, &r);
    RECT c;
    GetClientRect(hDlg, &c);
    Reportf("%s: window %ld,%ld %ldx%ld client %ldx%ld\n", label, r.left, r.top, r.right - r.left,
            r.bottom - r.top, c.right - c.left, c.bottom - c.top);
}

static void ClickDetail(HWND hDlg)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(hDlg, IDC_DETAIL), BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &result);
    Sleep(100);
}

// Follows the progress dialog from its first appearance to its end:
//  - tries to close it (WM_CLOSE, IDCANCEL, IDOK) in every phase;
//  - reports every change of the three phase pictures with its time;
//  - in the finished state reports the texts, toggles Detail, reads the
//    detail box into logPath, and presses Close;
//  - with a held launcher, freezes the launcher before Close and reports
//    that the worker waits for it before deleting anything more.
static int DoRunDialog(const char* logPath, const char* heldExe, const char* entryKey)
{
    HWND hDlg = WaitForWindow(KIND_PROGRESS, kWaitWindowMs);
    if (hDlg == NULL)
        return Fail("no progress dialog");
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

    const char* seen[3] = { "", "", "" };
    int closeAttempts = 0;
    int buttonsWhileRunning = 0;
    // The four states of the pictures, in their order, and when each was
    // first seen.
    static const char* const kStates[4][3] = {
        { "arrow", "empty", "empty" }, { "check", "arrow", "empty" },
        { "check", "check", "arrow" }, { "check", "check", "check" },
    };
    DWORD stateTimes[4] = { (DWORD)-1, (DWORD)-1, (DWORD)-1, (DWORD)-1 };
    int lastState = -1;
    int pendingState = -2;
    for (;;) {
        if (!IsWindow(hDlg))
            return Fail("progress dialog ended before the finished state");
        const char* now[3];
        if (!ReadShownPictures(hDlg, now))
            return Fail("cannot read the screen");
        // The screen may be caught half-painted (more so on a busy machine):
        // a reading counts only when it is one of the states in their order,
        // no earlier than the last one taken, and the next reading agrees.
        int state = -1;
        for (int k = 0; k < 4; ++k)
            if (!lstrcmpA(now[0], kStates[k][0]) && !lstrcmpA(now[1], kStates[k][1]) &&
                !lstrcmpA(now[2], kStates[k][2]))
                state = k;
        if (state < lastState) {
            Sleep(5);
            continue;
        }
        if (state != pendingState) {
            pendingState = state;
            Sleep(5);
            continue;
        }
        if (state >= 0 && (now[0] != seen[0] || now[1] != seen[1] || now[2] != seen[2])) {
            lastState = state;
            DWORD t = GetTickCount() - start;
            for (int k = 0; k < 4; ++k)
                if (!lstrcmpA(now[0], kStates[k][0]) && !lstrcmpA(now[1], kStates[k][1]) &&
                    !lstrcmpA(now[2], kStates[k][2]) &&
                    stateTimes[k] == (DWORD)-1)
                    stateTimes[k] = t;
            memcpy(seen, now, sizeof(now));
            Reportf("pictures: files=%s groups=%s registry=%s\n", now[0], now[1], now[2]);
            if (!lstrcmpA(now[0], "check") && !lstrcmpA(now[1], "arrow"))
                WaitForShot("running");
            if (lstrcmpA(now[2], "check") == 0)
                break;
            // A close request, Escape and Enter in each running phase.
            for (int k = 0; k < 3; ++k) {
                if (!lstrcmpA(now[0], kStates[k][0]) && !lstrcmpA(now[1], kStates[k][1]) &&
                    !lstrcmpA(now[2], kStates[k][2])) {
                    PostMessageA(hDlg, WM_CLOSE, 0, 0);
                    PressButton(hDlg, IDCANCEL);
                    PressButton(hDlg, IDOK);
                    closeAttempts += 3;
                }
            }
        }
        if (IsControlVisible(hDlg, IDOK) || IsControlVisible(hDlg, IDC_DETAIL))
            buttonsWhileRunning = 1;
        Sleep(5);
    }
    // How long each phase was shown: the second and third from change to
    // change, the first from the moment the dialog became visible (its
    // pictures are painted only when the worker first pumps).
    stateTimes[0] = 0;
    for (int k = 1; k < 4; ++k)
        if (stateTimes[k] != (DWORD)-1 && stateTimes[k - 1] != (DWORD)-1)
            Reportf("phase %d ms: %lu\n", k, stateTimes[k] - stateTimes[k - 1]);
    Reportf("close attempts while running: %d\n", closeAttempts);
    Reportf("buttons shown while running: %s\n", buttonsWhileRunning ? "yes" : "no");

    // The finished state: Close visible with string 7.
    DWORD waitStart = GetTickCount();
    while (!IsControlVisible(hDlg, IDOK) && GetTickCount() - waitStart < 10000)
        Sleep(20);
    if (!IsWindow(hDlg))
        return Fail("progress dialog ended on its own");
    Sleep(200);
    GetForeignText(GetDlgItem(hDlg, IDOK), text, COUNTOF(text));
    ReportText("close button", text);
    Reportf("close button is string 7: %s\n", lstrcmpA(text, LoadTextBuffer(IDS_CLOSE)) == 0 ? "yes" : "no");
    Reportf("detail check box visible: %s\n", IsControlVisible(hDlg, IDC_DETAIL) ? "yes" : "no");
    GetForeignText(GetDlgItem(hDlg, IDC_HEADING), text, COUNTOF(text));
    ReportText("heading", text);

    // The detail box: read whole, whatever its length.
    DWORD_PTR cchLog = 0;
    HWND hBox = GetDlgItem(hDlg, IDC_DETAIL_LOG);
    SendMessageTimeoutA(hBox, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &cchLog);
    char* log = (char*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cchLog + 16);
    if (log == NULL)
        return Fail("no memory for the detail log");
    DWORD_PTR cchGot = 0;
    SendMessageTimeoutA(hBox, WM_GETTEXT, cchLog + 1, (LPARAM)log, SMTO_NORMAL, 5000, &cchGot);
    if (!WriteWholeFile(logPath, log, (DWORD)cchGot))
        return Fail("cannot write the detail log");
    Reportf("detail log bytes: %lu\n", (unsigned long)cchGot);
    HeapFree(GetProcessHeap(), 0, log);

    // Detail: expands at the bottom edge only, and collapses back.
    RECT collapsed, expanded, again, boxRect, client;
    GetWindowRect(hDlg, &collapsed);
    Reportf("detail box visible while collapsed: %s\n", IsWindowVisible(hBox) &&
            (GetClientRect(hDlg, &client), GetWindowRect(hBox, &boxRect),
             MapWindowPoints(NULL, hDlg, (POINT*)&boxRect, 2), boxRect.top < client.bottom) ? "yes" : "no");
    RECT collapsedClient;
    GetClientRect(hDlg, &collapsedClient);
    ReportWindowRect("collapsed", hDlg);
    ClickDetail(hDlg);
    ReportWindowRect("expanded", hDlg);
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
    if (getenv("TW_DRIVER_SHOTS") != NULL) {
        // The demo shows the finished dialog expanded, with its log.
        ClickDetail(hDlg);
        WaitForShot("finished");
    }

    Reportf("launcher alive before close: %s\n", IsProcessAlive(hLauncher) ? "yes" : "no");
    int held = 0;
    if (heldExe != NULL && launcherPid != 0)
        held = SuspendProcessThreads(launcherPid, 1) > 0;
    PressButton(hDlg, IDOK);
    if (!WaitWindowGone(hDlg, 10000))
        return Fail("progress dialog stays after Close");
    Report("dialog closed\n");
    if (held) {
        // The launcher cannot end now: the worker must still be waiting for
        // it, with the entry and the installed executable untouched.
        Sleep(2000);
        Reportf("while the launcher is held: worker waiting=%s entry present=%s exe present=%s\n",
                IsProcessAlive(hWorker) ? "yes" : "no", IsKeyPresent(entryKey) ? "yes" : "no",
                GetFileAttributesA(heldExe) != INVALID_FILE_ATTRIBUTES ? "yes" : "no");
        SuspendProcessThreads(launcherPid, 0);
    }
    if (hLauncher != NULL)
        Reportf("launcher ended after close: %s\n",
                WaitForSingleObject(hLauncher, 20000) == WAIT_OBJECT_0 ? "yes" : "no");
    Reportf("worker ended: %s\n", hWorker && WaitForSingleObject(hWorker, 20000) == WAIT_OBJECT_0 ? "yes" : "no");
    if (heldExe != NULL)
        Reportf("installed exe after the run: %s\n",
                GetFileAttributesA(heldExe) != INVALID_FILE_ATTRIBUTES ? "present" : "absent");
    if (hLauncher != NULL)
        CloseHandle(hLauncher);
    if (hWorker != NULL)
        CloseHandle(hWorker);
    return 1;
}

static int DoKillWorker()
{
    HWND hDlg = WaitForWindow(KIND_PROGRESS, kWaitWindowMs);
    if (hDlg == NULL)
        return Fail("no progress dialog");
    DWORD workerPid = 0;
    GetWindowThreadProcessId(hDlg, &workerPid);
    DWORD launcherPid = FindProcessByName("twuninst.exe");
    HANDLE hLauncher = launcherPid ? OpenProcess(SYNCHRONIZE, FALSE, launcherPid) : NULL;
    HANDLE hWorker = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, workerPid);
    if (hWorker == NULL || hLauncher == NULL)
        return Fail("cannot open the worker or the launcher");
    Reportf("launcher running before the kill: %s\n", IsProcessAlive(hLauncher) ? "yes" : "no");
    TerminateProcess(hWorker, 1);
    WaitForSingleObject(hWorker, 10000);
    DWORD killed = GetTickCount();
    int ended = WaitForSingleObject(hLauncher, 20000) == WAIT_OBJECT_0;
    Reportf("launcher ended after the worker was killed: %s\n", ended ? "yes" : "no");
    if (ended)
        fprintf(stdout, "(launcher ended %lu ms after the kill)\n", GetTickCount() - killed);
    CloseHandle(hWorker);
    CloseHandle(hLauncher);
    return 1;
}

static int DoWaitStarted(DWORD timeoutMs)
{
    if (s_hStarted == NULL)
        return Fail("nothing started");
    int ended = WaitForSingleObject(s_hStarted, timeoutMs) == WAIT_OBJECT_0;
    Reportf("started process ended: %s\n", ended ? "yes" : "no");
    return 1;
}

// Waits until no launcher or worker process is left.
static int DoWaitUninstaller(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    int left;
    while ((left = FindProcessByName("twuninst.exe") || FindProcessByName("twuninst.bin")) &&
           GetTickCount() - start < timeoutMs)
        Sleep(100);
    Reportf("uninstaller processes left: %s\n", left ? "yes" : "no");
    return 1;
}

static int DoPending()
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return Fail("no Session Manager key");
    char data[8192];
    DWORD cb = sizeof(data) - 2;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(hKey, "PendingFileRenameOperations", NULL, &type, (BYTE*)data, &cb);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS) {
        Report("pending: none\n");
        return 1;
    }
    data[cb] = data[cb + 1] = '\0';
    // Pairs of source and target; an empty target means deletion.
    const char* p = data;
    while (*p && p < data + cb) {
        const char* target = p + lstrlenA(p) + 1;
        Reportf("pending: %s -> %s\n", p, *target ? target : "(delete)");
        if (target >= data + cb)
            break;
        p = target + lstrlenA(target) + 1;
    }
    return 1;
}

static int DoNoWindows(DWORD ms)
{
    DWORD start = GetTickCount();
    HWND seen = NULL;
    while (GetTickCount() - start < ms && seen == NULL) {
        seen = FindOurWindow(KIND_ANY);
        Sleep(50);
    }
    Reportf("windows seen: %s\n", seen ? "yes" : "no");
    return 1;
}

int main(int argc, char** argv)
{
    g_hInstance = GetModuleHandleA(NULL);
    if (argc < 3) {
        fputs("usage: twdriver <report file> <action> [args] ...\n", stderr);
        return 2;
    }
    s_hReport = CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
    if (s_hReport == INVALID_HANDLE_VALUE) {
        fputs("twdriver: cannot open the report file\n", stderr);
        return 2;
    }
    SetFilePointer(s_hReport, 0, NULL, FILE_END);
    int ok = 1;
    for (int i = 2; i < argc && ok; ++i) {
        const char* action = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (lstrcmpA(action, "start") == 0) {
            ok = DoStart(next);
            ++i;
        } else if (lstrcmpA(action, "answer") == 0) {
            ok = DoAnswer(next);
            ++i;
        } else if (lstrcmpA(action, "error-box") == 0) {
            ok = DoErrorBox();
        } else if (lstrcmpA(action, "run-dialog") == 0) {
            const char* heldExe = NULL;
            const char* entryKey = NULL;
            if (i + 4 < argc && lstrcmpA(argv[i + 2], "hold-launcher") == 0) {
                heldExe = argv[i + 3];
                entryKey = argv[i + 4];
                ok = DoRunDialog(next, heldExe, entryKey);
                i += 4;
            } else {
                ok = DoRunDialog(next, NULL, NULL);
                ++i;
            }
        } else if (lstrcmpA(action, "kill-worker") == 0) {
            ok = DoKillWorker();
        } else if (lstrcmpA(action, "wait-started") == 0) {
            ok = DoWaitStarted((DWORD)atoi(next));
            ++i;
        } else if (lstrcmpA(action, "keys") == 0) {
            HKEY root;
            const char* path;
            while (i + 1 < argc && SplitRootPath(argv[i + 1], &root, &path)) {
                ++i;
                Reportf("key %s: %s\n", argv[i], IsKeyPresent(argv[i]) ? "present" : "absent");
            }
        } else if (lstrcmpA(action, "wait-uninstaller") == 0) {
            ok = DoWaitUninstaller((DWORD)atoi(next));
            ++i;
        } else if (lstrcmpA(action, "pending") == 0) {
            ok = DoPending();
        } else if (lstrcmpA(action, "no-windows") == 0) {
            ok = DoNoWindows((DWORD)atoi(next));
            ++i;
        } else {
            Reportf("FAILED: unknown action %s\n", action);
            ok = 0;
        }
    }
    CloseHandle(s_hReport);
    return ok ? 0 : 1;
}
