// Playing the user of an uninstallation from another process: the
// uninstaller's windows found by class and caption, their texts, the phase
// pictures compared with the program's own bitmaps, and the report lines.

#include "driving.h"

#include <commctrl.h>
#include <tlhelp32.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "common/common.h"
#include "common/guard.h"
#include "res/resource.h"

static HANDLE s_hReport = INVALID_HANDLE_VALUE;

// The text item of a message box.
static const int kBoxTextId = 0xFFFF;

// ---- Report lines -----------------------------------------------------------

void Report(const char* text)
{
    DWORD cb = 0;
    WriteFile(s_hReport, text, lstrlenA(text), &cb, NULL);
    fputs(text, stdout);
    fflush(stdout);
}

void Reportf(const char* format, ...)
{
    char line[4096];
    va_list args;
    va_start(args, format);
    _vsnprintf(line, COUNTOF(line) - 1, format, args);
    va_end(args);
    line[COUNTOF(line) - 1] = '\0';
    Report(line);
}

void ReportText(const char* label, const char* text)
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

int ReportFailure(const char* what)
{
    Reportf("FAILED: %s\n", what);
    return 0;
}

// ---- The uninstaller's windows ----------------------------------------------

struct WindowSearch {
    WindowKind kind;
    HWND found;
};

static int IsUninstallerDialog(HWND hwnd)
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
    int isBox = GetDlgItem(hwnd, kBoxTextId) != NULL;
    int hasYesNo = GetDlgItem(hwnd, IDYES) != NULL && GetDlgItem(hwnd, IDNO) != NULL;
    int hasRetry = GetDlgItem(hwnd, IDTRYAGAIN) != NULL || GetDlgItem(hwnd, IDRETRY) != NULL;
    switch (kind) {
    case KIND_QUESTION: return isBox && hasYesNo;
    case KIND_ERROR_BOX: return isBox && !hasYesNo && !hasRetry;
    case KIND_PROGRESS: return GetDlgItem(hwnd, IDC_PHASE_FILES) != NULL;
    case KIND_RUNNING_BOX: return isBox && hasRetry;
    }
    return 0;
}

static BOOL CALLBACK VisitTopLevel(HWND hwnd, LPARAM lParam)
{
    WindowSearch* search = (WindowSearch*)lParam;
    if (IsUninstallerDialog(hwnd) && HasKind(hwnd, search->kind)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForUninstallerWindow(WindowKind kind, DWORD timeoutMs)
{
    timeoutMs = WaitBound(timeoutMs);
    DWORD start = GetTickCount();
    for (;;) {
        WindowSearch search = { kind, NULL };
        EnumWindows(VisitTopLevel, (LPARAM)&search);
        if (search.found != NULL || GetTickCount() - start >= timeoutMs)
            return search.found;
        Sleep(20);
    }
}

int WaitWindowGone(HWND hwnd, DWORD timeoutMs)
{
    timeoutMs = WaitBound(timeoutMs);
    DWORD start = GetTickCount();
    while (IsWindow(hwnd)) {
        if (GetTickCount() - start >= timeoutMs)
            return 0;
        Sleep(20);
    }
    return 1;
}

void GetForeignText(HWND hwnd, char* text, size_t cchText)
{
    // WM_GETTEXT is marshalled between processes.
    text[0] = '\0';
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, (WPARAM)cchText, (LPARAM)text, SMTO_NORMAL, 5000, &result);
    text[cchText - 1] = '\0';
}

void GetBoxMessage(HWND hBox, char* text, size_t cchText)
{
    GetForeignText(GetDlgItem(hBox, kBoxTextId), text, cchText);
}

void PressButton(HWND hDlg, int id)
{
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(hDlg, id));
}

int IsControlVisible(HWND hDlg, int id)
{
    HWND hItem = GetDlgItem(hDlg, id);
    return hItem != NULL && (GetWindowLongA(hItem, GWL_STYLE) & WS_VISIBLE) != 0;
}

void ClickDetail(HWND hDlg)
{
    RECT before, now;
    GetWindowRect(hDlg, &before);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(hDlg, IDC_DETAIL), BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &result);
    DWORD start = GetTickCount();
    while (GetWindowRect(hDlg, &now) && EqualRect(&now, &before) && GetTickCount() - start < WaitBound(5000))
        Sleep(10);
}

int WaitForFinishedState(HWND hDlg, DWORD timeoutMs)
{
    // The worker sets the finished state up in steps, the heading last.
    char finished[256];
    CopyText(finished, COUNTOF(finished), LoadTextBuffer(IDS_FINISHED));
    timeoutMs = WaitBound(timeoutMs);
    DWORD start = GetTickCount();
    for (;;) {
        char heading[1024];
        GetForeignText(GetDlgItem(hDlg, IDC_HEADING), heading, COUNTOF(heading));
        if (IsControlVisible(hDlg, IDOK) && IsControlVisible(hDlg, IDC_DETAIL) && lstrcmpA(heading, finished) == 0)
            return 1;
        if (!IsWindow(hDlg) || GetTickCount() - start >= timeoutMs)
            return 0;
        Sleep(20);
    }
}

int SaveDetailLog(HWND hDlg, const char* path)
{
    // Read whole, whatever its length.
    HWND hBox = GetDlgItem(hDlg, IDC_DETAIL_LOG);
    DWORD_PTR cchLog = 0;
    SendMessageTimeoutA(hBox, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &cchLog);
    HeapGuard log(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cchLog + 16));
    if (log.Get() == NULL)
        return 0;
    DWORD_PTR cchGot = 0;
    SendMessageTimeoutA(hBox, WM_GETTEXT, cchLog + 1, (LPARAM)log.Get(), SMTO_NORMAL, 5000, &cchGot);
    HandleGuard hFile(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile.Get() == INVALID_HANDLE_VALUE)
        return 0;
    DWORD cbWritten = 0;
    return WriteFile(hFile.Get(), log.Get(), (DWORD)cchGot, &cbWritten, NULL) && cbWritten == cchGot;
}

HWND ReadQuestion()
{
    HWND hBox = WaitForUninstallerWindow(KIND_QUESTION, 30000);
    if (hBox == NULL)
        return NULL;
    char text[1024];
    GetBoxMessage(hBox, text, COUNTOF(text));
    ReportText("question", text);
    // The default button carries BS_DEFPUSHBUTTON.
    const char* defaultButton = "?";
    if ((GetWindowLongA(GetDlgItem(hBox, IDNO), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
        defaultButton = "no";
    else if ((GetWindowLongA(GetDlgItem(hBox, IDYES), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
        defaultButton = "yes";
    Reportf("question default: %s\n", defaultButton);
    return hBox;
}

DWORD FindProcessByName(const char* exeName)
{
    HandleGuard hSnap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (hSnap.Get() == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Process32First(hSnap.Get(), &entry); ok; ok = Process32Next(hSnap.Get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, exeName) == 0)
            return entry.th32ProcessID;
    }
    return 0;
}

void WaitUninstallerGone(DWORD timeoutMs)
{
    timeoutMs = WaitBound(timeoutMs);
    DWORD start = GetTickCount();
    int left;
    while ((left = FindProcessByName("twuninst.exe") || FindProcessByName("twuninst.bin")) &&
           GetTickCount() - start < timeoutMs)
        Sleep(50);
    Reportf("uninstaller processes left: %s\n", left ? "yes" : "no");
}

// ---- The phase pictures -----------------------------------------------------

// The figure of a picture: its dark red pixels, as positions relative to
// the top left of their bounding box. The background and the shadow follow
// the colour scheme; the dark red stays, wherever the picture is drawn.
struct Figure {
    int count;             // -1: more than the figure holds, no picture
    POINT points[256];
};

static const DWORD kDarkRed = 0x800000;   // (128, 0, 0) as a 32-bit DIB pixel

// Collects the dark red pixels of an area of a 32-bit top-down pixel block
// (stride in pixels).
static void TakeFigure(const DWORD* pixels, int stride, const RECT& area, Figure* figure)
{
    figure->count = 0;
    int left = area.right, top = area.bottom;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if ((pixels[y * stride + x] & 0xFFFFFF) == kDarkRed) {
                if (figure->count == (int)COUNTOF(figure->points)) {
                    figure->count = -1;
                    return;
                }
                figure->points[figure->count].x = x;
                figure->points[figure->count].y = y;
                ++figure->count;
                left = x < left ? x : left;
                top = y < top ? y : top;
            }
    for (int i = 0; i < figure->count; ++i) {
        figure->points[i].x -= left;
        figure->points[i].y -= top;
    }
}

// Copies the source rectangle of a device context and takes the figure of
// each area in it (areas in the source's coordinates). Non-zero on success.
static int TakeFigures(HDC hSource, const RECT& source, const RECT* areas, int count, Figure* figures)
{
    int cx = source.right - source.left, cy = source.bottom - source.top;
    if (cx <= 0 || cy <= 0)
        return 0;
    BITMAPINFO bmi;
    ZeroMemory(&bmi, sizeof(bmi));
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;   // top row first
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HDC hMem = CreateCompatibleDC(hSource);
    HBITMAP hbm = CreateDIBSection(hSource, &bmi, DIB_RGB_COLORS, &bits, NULL, 0);
    int ok = hbm != NULL && hMem != NULL;
    if (ok) {
        HGDIOBJ old = SelectObject(hMem, hbm);
        ok = BitBlt(hMem, 0, 0, cx, cy, hSource, source.left, source.top, SRCCOPY);
        GdiFlush();
        for (int i = 0; ok && i < count; ++i) {
            RECT area = areas[i];
            OffsetRect(&area, -source.left, -source.top);
            TakeFigure((const DWORD*)bits, cx, area, &figures[i]);
        }
        SelectObject(hMem, old);
    }
    if (hbm != NULL)
        DeleteObject(hbm);
    if (hMem != NULL)
        DeleteDC(hMem);
    return ok;
}

struct NamedPicture {
    UINT id;
    const char* name;
    Figure figure;
};

static NamedPicture s_pictures[] = {
    { IDB_PENDING, "empty", { 0, {} } },
    { IDB_CURRENT, "arrow", { 0, {} } },
    { IDB_DONE, "check", { 0, {} } },
};

// Loads the pictures once, mapped as the uninstaller maps them. Non-zero on
// success.
static int LoadPictures()
{
    static int s_loaded = 0;
    if (s_loaded)
        return 1;
    HDC hScreen = GetDC(NULL);
    HDC hMem = CreateCompatibleDC(hScreen);
    for (size_t i = 0; hMem != NULL && i < COUNTOF(s_pictures); ++i) {
        HBITMAP hbm = CreateMappedBitmap(g_hInstance, s_pictures[i].id, 0, NULL, 0);
        BITMAP bm;
        if (hbm == NULL || !GetObjectA(hbm, sizeof(bm), &bm))
            break;
        HGDIOBJ old = SelectObject(hMem, hbm);
        RECT all = { 0, 0, bm.bmWidth, bm.bmHeight };
        int taken = TakeFigures(hMem, all, &all, 1, &s_pictures[i].figure) && s_pictures[i].figure.count >= 0;
        SelectObject(hMem, old);
        DeleteObject(hbm);
        if (!taken)
            break;
        s_loaded = i + 1 == COUNTOF(s_pictures);
    }
    if (hMem != NULL)
        DeleteDC(hMem);
    ReleaseDC(NULL, hScreen);
    return s_loaded;
}

static const char* NameFigure(const Figure& figure)
{
    for (size_t i = 0; i < COUNTOF(s_pictures); ++i)
        if (figure.count == s_pictures[i].figure.count &&
            memcmp(figure.points, s_pictures[i].figure.points, figure.count * sizeof(POINT)) == 0)
            return s_pictures[i].name;
    return "other";
}

// Fills names[3] with the pictures that the files, groups and registry
// indicators show on the screen now. Non-zero on success.
static int ReadShownPictures(HWND hDlg, const char* names[3])
{
    static const int kIndicators[3] = { IDC_PHASE_FILES, IDC_PHASE_GROUPS, IDC_PHASE_REGISTRY };
    if (!LoadPictures())
        return 0;
    RECT rects[3];
    RECT all;
    SetRectEmpty(&all);
    for (int i = 0; i < 3; ++i) {
        GetWindowRect(GetDlgItem(hDlg, kIndicators[i]), &rects[i]);
        UnionRect(&all, &all, &rects[i]);
    }
    Figure shown[3];
    HDC hScreen = GetDC(NULL);
    int ok = TakeFigures(hScreen, all, rects, 3, shown);
    ReleaseDC(NULL, hScreen);
    for (int i = 0; ok && i < 3; ++i)
        names[i] = NameFigure(shown[i]);
    return ok;
}

// The pictures of each state: files, groups, registry.
static const char* const kStatePictures[4][3] = {
    { "arrow", "empty", "empty" }, { "check", "arrow", "empty" },
    { "check", "check", "arrow" }, { "check", "check", "check" },
};

int WatchPhases(HWND hDlg, PhaseWatch* watch)
{
    const char* now[3];
    DWORD readStart = GetTickCount();
    if (!ReadShownPictures(hDlg, now))
        return WATCH_UNREADABLE;
    DWORD previousStart = watch->readStart;
    watch->readStart = readStart;
    int state = -1;
    for (int k = 0; k < 4; ++k)
        if (!lstrcmpA(now[0], kStatePictures[k][0]) && !lstrcmpA(now[1], kStatePictures[k][1]) &&
            !lstrcmpA(now[2], kStatePictures[k][2]))
            state = k;
    if (state < watch->lastState)
        return WATCH_UNSETTLED;
    if (state != watch->pendingState) {
        watch->pendingState = state;
        watch->pendingAfter = previousStart;
        watch->pendingBy = GetTickCount();
        return WATCH_UNSETTLED;
    }
    if (state < 0 || state == watch->lastState)
        return WATCH_UNCHANGED;
    watch->lastState = state;
    watch->changedAfter = watch->pendingAfter;
    watch->changedBy = watch->pendingBy;
    Reportf("pictures: files=%s groups=%s registry=%s\n", now[0], now[1], now[2]);
    return state;
}

// ---- The registry -----------------------------------------------------------

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

int IsKeyPresent(const char* rootPath)
{
    HKEY root;
    const char* path;
    if (!SplitRootPath(rootPath, &root, &path))
        return 0;
    KeyGuard hKey;
    return RegOpenKeyExA(root, path, 0, KEY_READ, hKey.Out()) == ERROR_SUCCESS;
}

// keys <root\path> ...: reports each key as present or absent.
static int DoKeys(char** args, int count, int* taken)
{
    HKEY root;
    const char* path;
    while (*taken < count && SplitRootPath(args[*taken], &root, &path)) {
        const char* key = TakeArgument(args, count, taken);
        Reportf("key %s: %s\n", key, IsKeyPresent(key) ? "present" : "absent");
    }
    return 1;
}

// The data of a value as a report shows it: a text value's text in quotes
// (bytes below 0x20 as \xNN), anything else as hexadecimal bytes.
static void DescribeValueData(DWORD type, const BYTE* data, DWORD cb, char* text, size_t cchText)
{
    size_t at = 0;
    const int isText = type == REG_SZ || type == REG_EXPAND_SZ;
    if (isText)
        text[at++] = '"';
    for (DWORD i = 0; i < cb && at + 8 < cchText; ++i) {
        if (isText && data[i] == '\0')
            break;
        if (isText && data[i] >= 0x20)
            text[at++] = (char)data[i];
        else
            at += (size_t)wsprintfA(text + at, isText ? "\\x%02X" : "%02x", data[i]);
    }
    if (isText)
        text[at++] = '"';
    text[at] = '\0';
}

// values <root\path> ...: reports every value of each key, one line each,
// "value <key> "<name>": <type> <bytes> <data>", or "values <key>: absent".
static int DoValues(char** args, int count, int* taken)
{
    HKEY root;
    const char* path;
    while (*taken < count && SplitRootPath(args[*taken], &root, &path)) {
        const char* key = TakeArgument(args, count, taken);
        KeyGuard hKey;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, hKey.Out()) != ERROR_SUCCESS) {
            Reportf("values %s: absent\n", key);
            continue;
        }
        for (DWORD i = 0;; ++i) {
            char name[1024];
            BYTE data[2048];
            DWORD cchName = COUNTOF(name);
            DWORD cb = sizeof(data);
            DWORD type = 0;
            LONG error = RegEnumValueA(hKey.Get(), i, name, &cchName, NULL, &type, data, &cb);
            if (error == ERROR_MORE_DATA) {
                Reportf("value %s #%lu: too large to report\n", key, i);
                continue;
            }
            if (error != ERROR_SUCCESS)
                break;
            char text[3000];
            DescribeValueData(type, data, cb, text, COUNTOF(text));
            Reportf("value %s \"%s\": %lu %lu %s\n", key, name, type, cb, text);
        }
    }
    return 1;
}

// pending: reports the pending file operations, "pending: <from> -> <to>"
// or "(delete)" for each, or "pending: none".
static int DoPending(char**, int, int*)
{
    KeyGuard hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, hKey.Out()) != ERROR_SUCCESS)
        return ReportFailure("no Session Manager key");
    char data[8192];
    DWORD cb = sizeof(data) - 2;
    DWORD type = 0;
    if (RegQueryValueExA(hKey.Get(), "PendingFileRenameOperations", NULL, &type, (BYTE*)data, &cb) !=
        ERROR_SUCCESS) {
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

// ---- The command line -------------------------------------------------------

const char* TakeArgument(char** args, int count, int* taken)
{
    return *taken < count ? args[(*taken)++] : "";
}

int RunDriver(int argc, char** argv, const DriverAction* actions, size_t cActions)
{
    static const DriverAction kShared[] = { { "keys", DoKeys }, { "values", DoValues }, { "pending", DoPending } };
    g_hInstance = GetModuleHandleA(NULL);
    if (argc < 3) {
        fputs("usage: <driver> <report file> <action> [args] ...\n", stderr);
        return 2;
    }
    s_hReport = CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (s_hReport == INVALID_HANDLE_VALUE) {
        fputs("cannot open the report file\n", stderr);
        return 2;
    }
    SetFilePointer(s_hReport, 0, NULL, FILE_END);
    int ok = 1;
    for (int i = 2; i < argc && ok; ++i) {
        const DriverAction* action = NULL;
        for (size_t k = 0; k < cActions && action == NULL; ++k)
            if (lstrcmpA(argv[i], actions[k].name) == 0)
                action = &actions[k];
        for (size_t k = 0; k < COUNTOF(kShared) && action == NULL; ++k)
            if (lstrcmpA(argv[i], kShared[k].name) == 0)
                action = &kShared[k];
        if (action == NULL) {
            Reportf("FAILED: unknown action %s\n", argv[i]);
            ok = 0;
            break;
        }
        int taken = 0;
        ok = action->run(argv + i + 1, argc - i - 1, &taken);
        i += taken;
    }
    CloseHandle(s_hReport);
    s_hReport = INVALID_HANDLE_VALUE;
    return ok ? 0 : 1;
}
