// Benchmark helper run inside Wine: generates an installation of a given
// size, removes it again through the bare platform calls (the floor), and
// drives the real uninstaller while timing it from outside.
//
//   twbench gen <files> <keys> <groups> <info file>
//        installs C:\TwBench\App (files, side files, read-only files,
//        nested directories), shortcuts and program groups, key trees below
//        the four roots and the installed-programs entry; writes the
//        uninstall information file that lists them
//   twbench floor <info file> <result file>
//        the same removal calls as the uninstaller, in a bare loop, each
//        phase timed: the lists read first through the profile functions
//        (timed apart), then the calls from memory
//   twbench drive <installed exe> <result file> [answer delay ms]
//        starts "<exe> /s", answers Yes, times each phase's work and the
//        longest wait for an answer by probing the dialog without pause,
//        records the worker's peak memory, presses Close as soon as the
//        finished state shows and waits for both processes to end
//   twbench timed <result file> <name> <arguments...>
//        runs twbench with the arguments and records the whole process time
//   twbench check <result file>
//        counts what is left of the installation
//
// Results are "name value" lines appended to the result file. Times are in
// milliseconds from QueryPerformanceCounter.

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <commdlg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define BENCH_ROOT "C:\\TwBench"
#define BENCH_APP BENCH_ROOT "\\App"
#define BENCH_UNINSTALL_KEY "TarnwickBench"
#define UNINSTALL_ROOT "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
#define PROGRAM_TITLE "Tarnwick Uninstaller"

static const int kIdPhaseFiles = 1008;
static const int kIdDetail = 1007;
static const int kTreesPerRoot = 5;

static double NowMs()
{
    static LARGE_INTEGER freq;
    if (freq.QuadPart == 0)
        QueryPerformanceFrequency(&freq);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)freq.QuadPart;
}

static FILE* s_result = NULL;

static void Result(const char* name, double value)
{
    fprintf(s_result, "%s %.3f\n", name, value);
    fflush(s_result);
}

static int Die(const char* what)
{
    fprintf(stderr, "twbench: %s (error %lu)\n", what, GetLastError());
    if (s_result != NULL)
        fprintf(s_result, "error %s\n", what);
    return 1;
}

// ---------------------------------------------------------------------------
// The workload.

struct Text {
    char* p;
    size_t cch;
    size_t cb;
};

static void Append(Text* t, const char* s)
{
    size_t n = strlen(s);
    if (t->cch + n + 1 > t->cb) {
        t->cb = (t->cb + n + 1) * 2;
        t->p = (char*)realloc(t->p, t->cb);
    }
    memcpy(t->p + t->cch, s, n + 1);
    t->cch += n;
}

struct ListWriter {
    Text* text;
    int next;
};

static void ListAdd(ListWriter* list, const char* value)
{
    char line[600];
    _snprintf(line, sizeof(line), "%d=%s\r\n", list->next++, value);
    line[sizeof(line) - 1] = '\0';
    Append(list->text, line);
}

static int MakeFile(const char* path, int readOnly)
{
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    static char content[512];
    if (content[0] == '\0')
        memset(content, 'x', sizeof(content));
    DWORD cb = 0;
    WriteFile(h, content, sizeof(content), &cb, NULL);
    CloseHandle(h);
    if (readOnly)
        SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY);
    return 1;
}

// Creates `count` keys in one tree below root\path (the tree's own key
// included), ten subkeys to a key, breadth first, two values in each.
static int MakeKeyTree(HKEY root, const char* path, int count)
{
    // Key paths of the tree in creation order; a key's children follow
    // later in the same array, so parents always exist first.
    char (*paths)[MAX_PATH] = (char (*)[MAX_PATH])malloc((size_t)count * MAX_PATH);
    if (paths == NULL)
        return 0;
    int made = 0;
    int ok = 1;
    strcpy(paths[0], path);
    int total = 1;
    for (int i = 0; i < count && ok; ++i) {
        for (int c = 0; c < 10 && total < count; ++c, ++total)
            _snprintf(paths[total], MAX_PATH, "%s\\Node %d", paths[i], c);
        HKEY h;
        if (RegCreateKeyExA(root, paths[i], 0, NULL, 0, KEY_WRITE, NULL, &h, NULL) != ERROR_SUCCESS) {
            ok = 0;
            break;
        }
        RegSetValueExA(h, "Name", 0, REG_SZ, (const BYTE*)paths[i], (DWORD)strlen(paths[i]) + 1);
        DWORD n = (DWORD)i;
        RegSetValueExA(h, "Index", 0, REG_DWORD, (const BYTE*)&n, sizeof(n));
        RegCloseKey(h);
        ++made;
    }
    free(paths);
    return ok && made == count;
}

static int ProgramsFolder(char* path)
{
    LPITEMIDLIST idl = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, CSIDL_PROGRAMS, &idl)))
        return 0;
    int ok = SHGetPathFromIDListA(idl, path);
    CoTaskMemFree(idl);
    return ok;
}

static int Generate(int files, int keys, int groups, const char* infoPath)
{
    double start = NowMs();
    Text info = { NULL, 0, 0 };
    Append(&info, "[Options]\r\nUninstallKey=" BENCH_UNINSTALL_KEY "\r\n[Files]\r\n");
    ListWriter fileList = { &info, 0 };

    CreateDirectoryA(BENCH_ROOT, NULL);
    CreateDirectoryA(BENCH_APP, NULL);
    // Data files: a hundred to a leaf directory, ten leaves to a top
    // directory; every directory listed after its contents.
    int dataFiles = files - groups;
    int made = 0, sideFiles = 0, readOnly = 0, dirs = 0;
    char path[MAX_PATH];
    char top[MAX_PATH];
    char leaf[MAX_PATH];
    for (int t = 0; made < dataFiles; ++t) {
        _snprintf(top, sizeof(top), BENCH_APP "\\Part %02d", t);
        CreateDirectoryA(top, NULL);
        for (int l = 0; l < 10 && made < dataFiles; ++l) {
            _snprintf(leaf, sizeof(leaf), "%s\\Data %02d", top, l);
            CreateDirectoryA(leaf, NULL);
            for (int f = 0; f < 100 && made < dataFiles; ++f, ++made) {
                const char* ext = ".dat";
                if (made % 50 == 10)
                    ext = ".hlp";
                else if (made % 50 == 35)
                    ext = made % 100 == 35 ? ".exe" : ".com";
                _snprintf(path, sizeof(path), "%s\\File%05d%s", leaf, made, ext);
                int ro = made % 7 == 3;
                if (!MakeFile(path, ro))
                    return Die("cannot create a file");
                readOnly += ro;
                ListAdd(&fileList, path);
                // Side files beside help files and programs; not listed.
                char side[MAX_PATH];
                if (strcmp(ext, ".hlp") == 0) {
                    _snprintf(side, sizeof(side), "%s\\File%05d.gid", leaf, made);
                    MakeFile(side, made % 3 == 0);
                    ++sideFiles;
                    if (made % 100 == 10) {
                        _snprintf(side, sizeof(side), "%s\\File%05d.fts", leaf, made);
                        MakeFile(side, 0);
                        ++sideFiles;
                    }
                } else if (strcmp(ext, ".dat") != 0) {
                    _snprintf(side, sizeof(side), "%s\\File%05d.pif", leaf, made);
                    MakeFile(side, made % 3 == 1);
                    ++sideFiles;
                }
            }
            _snprintf(path, sizeof(path), "%s\\", leaf);
            ListAdd(&fileList, path);
            ++dirs;
        }
        _snprintf(path, sizeof(path), "%s\\", top);
        ListAdd(&fileList, path);
        ++dirs;
    }

    // Program groups below the user's Programs folder, each with one
    // shortcut that the files list names; the parent group comes last.
    char programs[MAX_PATH];
    if (!ProgramsFolder(programs))
        return Die("no Programs folder");
    Text groupList = { NULL, 0, 0 };
    Append(&groupList, "[Group]\r\nCommonGroup=0\r\n");
    ListWriter groupWriter = { &groupList, 0 };
    _snprintf(path, sizeof(path), "%s\\Tarnwick Bench", programs);
    CreateDirectoryA(path, NULL);
    for (int g = 0; g < groups - 1; ++g) {
        char name[MAX_PATH];
        _snprintf(name, sizeof(name), "Tarnwick Bench\\Group %03d", g);
        _snprintf(path, sizeof(path), "%s\\%s", programs, name);
        CreateDirectoryA(path, NULL);
        ListAdd(&groupWriter, name);
        _snprintf(path, sizeof(path), "%s\\%s\\Program %03d.lnk", programs, name, g);
        MakeFile(path, 0);
        ListAdd(&fileList, path);
    }
    ListAdd(&groupWriter, "Tarnwick Bench");
    _snprintf(path, sizeof(path), "%s\\Tarnwick Bench\\Read Me.lnk", programs);
    MakeFile(path, 0);
    ListAdd(&fileList, path);
    _snprintf(path, sizeof(path), "%s\\", BENCH_APP);
    ListAdd(&fileList, path);
    Append(&info, groupList.p);
    free(groupList.p);

    // Key trees: the same number below each root, in five listed trees per
    // root; the common parent is listed after its trees.
    static const struct {
        const char* section;
        HKEY root;
        const char* parent;
    } kRoots[] = {
        { "Registry_CURRENT_USER", HKEY_CURRENT_USER, "Software\\TarnwickBench" },
        { "Registry_CLASSES_ROOT", HKEY_CLASSES_ROOT, NULL },
        { "Registry_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, "SOFTWARE\\TarnwickBench" },
        { "Registry_USERS", HKEY_USERS, ".DEFAULT\\Software\\TarnwickBench" },
    };
    int keysMade = 0;
    for (int r = 0; r < 4; ++r) {
        char line[128];
        _snprintf(line, sizeof(line), "[%s]\r\n", kRoots[r].section);
        Append(&info, line);
        ListWriter keyList = { &info, 0 };
        int perRoot = keys / 4 + (r < keys % 4);
        for (int t = 0; t < kTreesPerRoot; ++t) {
            int count = perRoot / kTreesPerRoot + (t < perRoot % kTreesPerRoot);
            if (count == 0)
                continue;
            if (kRoots[r].parent != NULL)
                _snprintf(path, sizeof(path), "%s\\Tree %d", kRoots[r].parent, t);
            else
                _snprintf(path, sizeof(path), "TarnwickBench.Tree%d", t);
            if (!MakeKeyTree(kRoots[r].root, path, count))
                return Die("cannot create a key tree");
            keysMade += count;
            ListAdd(&keyList, path);
        }
        if (kRoots[r].parent != NULL)
            ListAdd(&keyList, kRoots[r].parent);
    }

    // The installed-programs entry.
    HKEY hEntry;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_ROOT "\\" BENCH_UNINSTALL_KEY, 0, NULL, 0,
                        KEY_WRITE, NULL, &hEntry, NULL) != ERROR_SUCCESS)
        return Die("cannot create the installed-programs entry");
    const char* name = "Tarnwick Bench 1.0";
    const char* command = BENCH_APP "\\twuninst.exe /s";
    RegSetValueExA(hEntry, "DisplayName", 0, REG_SZ, (const BYTE*)name, (DWORD)strlen(name) + 1);
    RegSetValueExA(hEntry, "UninstallString", 0, REG_SZ, (const BYTE*)command, (DWORD)strlen(command) + 1);
    RegCloseKey(hEntry);

    HANDLE h = CreateFileA(infoPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return Die("cannot write the information file");
    DWORD cb = 0;
    WriteFile(h, info.p, (DWORD)info.cch, &cb, NULL);
    CloseHandle(h);
    free(info.p);
    printf("generated %d listed files (%d read-only), %d side files, %d directories, %d groups, "
           "%d keys in %.0f ms\n", fileList.next - dirs - 1, readOnly, sideFiles, dirs + 1, groups,
           keysMade, NowMs() - start);
    return 0;
}

// ---------------------------------------------------------------------------
// The floor: the uninstaller's calls for the same lists, without dialog,
// log or messages.

static int ReadEntry(const char* infoPath, const char* section, int index, char* value)
{
    char key[16];
    wsprintfA(key, "%d", index);
    GetPrivateProfileStringA(section, key, "", value, MAX_PATH, infoPath);
    return value[0] != '\0';
}

static int BareDelete(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes ^ FILE_ATTRIBUTE_READONLY);
    return DeleteFileA(path);
}

static void BareDeleteSide(const char* path, size_t cch, const char* ext, int* sides)
{
    char side[MAX_PATH];
    memcpy(side, path, cch - 4);
    strcpy(side + cch - 4, ext);
    DWORD attributes = GetFileAttributesA(side);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    *sides += BareDelete(side) != 0;
}

static int BareDeleteKeyTree(HKEY parent, const char* name)
{
    HKEY h;
    if (RegOpenKeyExA(parent, name, 0, KEY_ENUMERATE_SUB_KEYS | KEY_SET_VALUE, &h) != ERROR_SUCCESS)
        return 0;
    for (;;) {
        char sub[MAX_PATH];
        DWORD cch = MAX_PATH;
        if (RegEnumKeyExA(h, 0, sub, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (!BareDeleteKeyTree(h, sub))
            break;
    }
    RegCloseKey(h);
    return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

// Makes the file's time older than the profile cache's freshness window.
static void SettleInfo(const char* infoPath)
{
    HANDLE h = CreateFileA(infoPath, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart -= 60ULL * 10000000ULL;
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    SetFileTime(h, NULL, NULL, &ft);
    CloseHandle(h);
}

// A list read whole through the profile functions, as the uninstaller read
// it before it kept the file in memory.
struct List {
    char (*values)[MAX_PATH];
    int count;
};

static List ReadList(const char* infoPath, const char* section)
{
    List list = { NULL, 0 };
    int capacity = 0;
    char value[MAX_PATH];
    while (ReadEntry(infoPath, section, list.count, value)) {
        if (list.count == capacity) {
            capacity = capacity ? capacity * 2 : 256;
            list.values = (char (*)[MAX_PATH])realloc(list.values, (size_t)capacity * MAX_PATH);
        }
        strcpy(list.values[list.count++], value);
    }
    return list;
}

// The floor reads every list first (the profile reads, timed per phase),
// then makes the removal calls of each phase from memory (the in-memory
// floor). Today's floor of a phase is the sum of both.
static int Floor(const char* infoPath)
{
    SettleInfo(infoPath);
    double t0 = NowMs();
    List files = ReadList(infoPath, "Files");
    double t1 = NowMs();
    int commonGroup = GetPrivateProfileIntA("Group", "CommonGroup", 0, infoPath);
    List groupList = ReadList(infoPath, "Group");
    double t2 = NowMs();
    static const struct {
        const char* section;
        HKEY root;
    } kLists[] = {
        { "Registry_CURRENT_USER", HKEY_CURRENT_USER },
        { "Registry_CLASSES_ROOT", HKEY_CLASSES_ROOT },
        { "Registry_LOCAL_MACHINE", HKEY_LOCAL_MACHINE },
        { "Registry_USERS", HKEY_USERS },
    };
    List keyLists[4];
    for (int r = 0; r < 4; ++r)
        keyLists[r] = ReadList(infoPath, kLists[r].section);
    double t3 = NowMs();

    // Files.
    char (*dirs)[MAX_PATH] = (char (*)[MAX_PATH])malloc((size_t)(files.count + 1) * MAX_PATH);
    int nDirs = 0, nFiles = 0, deleted = 0, sides = 0;
    for (int n = 0; n < files.count; ++n) {
        const char* value = files.values[n];
        size_t cch = strlen(value);
        if (value[cch - 1] == '\\') {
            strcpy(dirs[nDirs++], value);
            continue;
        }
        ++nFiles;
        DWORD attributes = GetFileAttributesA(value);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesA(value, attributes ^ FILE_ATTRIBUTE_READONLY);
        const char* dot = strrchr(value, '.');
        if (dot != NULL) {
            if (lstrcmpiA(dot, ".hlp") == 0) {
                BareDeleteSide(value, cch, ".gid", &sides);
                BareDeleteSide(value, cch, ".fts", &sides);
            }
            if (lstrcmpiA(dot, ".exe") == 0 || lstrcmpiA(dot, ".com") == 0)
                BareDeleteSide(value, cch, ".pif", &sides);
        }
        deleted += DeleteFileA(value) != 0;
    }
    double t4 = NowMs();

    // Program groups.
    int groups = 0;
    for (int n = 0; n < groupList.count; ++n) {
        LPITEMIDLIST idl = NULL;
        if (FAILED(SHGetSpecialFolderLocation(NULL, commonGroup ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS, &idl)))
            continue;
        char path[MAX_PATH];
        SHGetPathFromIDListA(idl, path);
        CoTaskMemFree(idl);
        strcat(path, "\\");
        strcat(path, groupList.values[n]);
        HKEY h;
        char startup[MAX_PATH + 1];
        char title[MAX_PATH];
        if (RegOpenKeyExA(HKEY_CURRENT_USER,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                          0, KEY_READ, &h) == ERROR_SUCCESS) {
            DWORD cb = MAX_PATH;
            if (RegQueryValueExA(h, "Startup", NULL, NULL, (BYTE*)startup, &cb) == ERROR_SUCCESS) {
                startup[cb < MAX_PATH ? cb : MAX_PATH] = '\0';
                GetFileTitleA(startup, title, MAX_PATH);
            }
            RegCloseKey(h);
        }
        GetFileTitleA(path, title, MAX_PATH);
        groups += RemoveDirectoryA(path) != 0;
    }
    double t5 = NowMs();

    // Registry trees.
    int trees = 0;
    for (int r = 0; r < 4; ++r)
        for (int n = 0; n < keyLists[r].count; ++n)
            trees += BareDeleteKeyTree(kLists[r].root, keyLists[r].values[n]);
    double t6 = NowMs();

    // What follows the finished dialog: the entry, the directories.
    HKEY hUninstall;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_ROOT, 0, KEY_SET_VALUE, &hUninstall) == ERROR_SUCCESS) {
        BareDeleteKeyTree(hUninstall, BENCH_UNINSTALL_KEY);
        RegCloseKey(hUninstall);
    }
    DeleteFileA(BENCH_APP "\\twuninst.exe");
    int removedDirs = 0;
    for (int i = 0; i < nDirs; ++i)
        removedDirs += RemoveDirectoryA(dirs[i]) != 0;
    double t7 = NowMs();
    free(dirs);
    free(files.values);
    free(groupList.values);
    for (int r = 0; r < 4; ++r)
        free(keyLists[r].values);

    Result("floor_files_ms", (t1 - t0) + (t4 - t3));
    Result("floor_groups_ms", (t2 - t1) + (t5 - t4));
    Result("floor_registry_ms", (t3 - t2) + (t6 - t5));
    Result("floor_cleanup_ms", t7 - t6);
    Result("floor_files_read_ms", t1 - t0);
    Result("floor_groups_read_ms", t2 - t1);
    Result("floor_registry_read_ms", t3 - t2);
    Result("floor_mem_files_ms", t4 - t3);
    Result("floor_mem_groups_ms", t5 - t4);
    Result("floor_mem_registry_ms", t6 - t5);
    Result("floor_files", nFiles);
    Result("floor_files_deleted", deleted);
    Result("floor_side_files_deleted", sides);
    Result("floor_groups_removed", groups);
    Result("floor_trees_deleted", trees);
    Result("floor_dirs_removed", removedDirs);
    return 0;
}

// ---------------------------------------------------------------------------
// Driving the real uninstaller.

struct Search {
    int wantProgress;
    HWND found;
};

static BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM lParam)
{
    Search* s = (Search*)lParam;
    char cls[32];
    char caption[64];
    if (!GetClassNameA(hwnd, cls, sizeof(cls)) || strcmp(cls, "#32770") != 0)
        return TRUE;
    GetWindowTextA(hwnd, caption, sizeof(caption));
    if (strcmp(caption, PROGRAM_TITLE) != 0)
        return TRUE;
    int isProgress = GetDlgItem(hwnd, kIdPhaseFiles) != NULL;
    int isQuestion = GetDlgItem(hwnd, IDYES) != NULL;
    if (s->wantProgress ? isProgress : (isQuestion && IsWindowVisible(hwnd))) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

static HWND PollWindow(int wantProgress, DWORD timeoutMs)
{
    double start = NowMs();
    while (NowMs() - start < timeoutMs) {
        Search s = { wantProgress, NULL };
        EnumWindows(VisitWindow, (LPARAM)&s);
        if (s.found != NULL)
            return s.found;
        Sleep(1);
    }
    return NULL;
}

static int IsStyleVisible(HWND hwnd)
{
    return hwnd != NULL && (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

static int Drive(const char* exePath, int answerDelayMs)
{
    char commandLine[MAX_PATH + 16];
    _snprintf(commandLine, sizeof(commandLine), "\"%s\" /s", exePath);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    double t0 = NowMs();
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return Die("cannot start the uninstaller");
    CloseHandle(pi.hThread);
    HANDLE hLauncher = pi.hProcess;

    HWND hQuestion = PollWindow(0, 60000);
    if (hQuestion == NULL)
        return Die("no question");
    double tQuestion = NowMs();
    if (answerDelayMs > 0)
        Sleep(answerDelayMs);
    double tYes = NowMs();
    PostMessageA(hQuestion, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), (LPARAM)GetDlgItem(hQuestion, IDYES));

    HWND hDlg = PollWindow(1, 60000);
    if (hDlg == NULL)
        return Die("no progress dialog");
    while (!IsStyleVisible(hDlg)) {
        if (!IsWindow(hDlg))
            return Die("progress dialog gone");
        Sleep(0);
    }
    double phaseStart = NowMs();
    DWORD workerPid = 0;
    GetWindowThreadProcessId(hDlg, &workerPid);
    HANDLE hWorker = OpenProcess(SYNCHRONIZE, FALSE, workerPid);

    // Probe the worker until the finished state shows: ask the indicator of
    // the running phase for its picture. The worker answers only when it
    // pumps messages, so each answer's wait is how long the dialog could
    // not react; the picture tells when the phase has changed. While a
    // phase works, the worker pumps every few tens of milliseconds (or, if
    // it does not, answers once at the end of the work), so each probe sent
    // then waits; once it waits out the phase's minimum time it pumps
    // without pause. The work ends with the last waited-for answer to a
    // probe sent while that chain lasted (a stray late answer during the
    // wait, from a busy machine, stands apart from it).
    static const int kIndicators[3] = { kIdPhaseFiles, kIdPhaseFiles + 1, kIdPhaseFiles + 2 };
    const double kWaitedMs = 15.0, kChainGapMs = 100.0;
    double start[4], workEnd[3];
    start[0] = phaseStart;
    double lastWaited = phaseStart, longestWait = 0;
    DWORD_PTR running = 0;
    int phase = 0;
    HWND hClose = GetDlgItem(hDlg, IDOK);
    HWND hDetail = GetDlgItem(hDlg, kIdDetail);
    while (phase < 3 || !IsStyleVisible(hClose) || !IsStyleVisible(hDetail)) {
        DWORD_PTR picture = 0;
        HWND hProbe = phase < 3 ? GetDlgItem(hDlg, kIndicators[phase]) : hDlg;
        double sent = NowMs();
        if (!SendMessageTimeoutA(hProbe, phase < 3 ? STM_GETIMAGE : WM_NULL, IMAGE_BITMAP, 0, SMTO_NORMAL,
                                 300000, &picture) && !IsWindow(hDlg))
            return Die("progress dialog ended early");
        double reply = NowMs();
        if (reply - sent > longestWait)
            longestWait = reply - sent;
        if (reply - sent > 60.0 && getenv("TWBENCH_TRACE") != NULL)
            fprintf(stderr, "phase %d: waited %.1f ms at %.1f\n", phase, reply - sent, sent - t0);
        if (reply - sent > kWaitedMs && sent - lastWaited <= kChainGapMs)
            lastWaited = reply;
        if (phase == 3)
            continue;
        if (running == 0) {
            running = picture;
        } else if (picture != running) {
            workEnd[phase] = lastWaited > start[phase] ? lastWaited : start[phase];
            start[phase + 1] = reply;
            lastWaited = reply;
            if (getenv("TWBENCH_TRACE") != NULL)
                fprintf(stderr, "phase %d: start %.1f work end %.1f\n", phase, start[phase] - t0,
                        workEnd[phase] - t0);
            ++phase;
        }
    }
    double tFinished = NowMs();

    // The worker's memory, before it lets go of anything.
    PROCESS_MEMORY_COUNTERS memory;
    ZeroMemory(&memory, sizeof(memory));
    HANDLE hQuery = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, workerPid);
    if (hQuery != NULL) {
        GetProcessMemoryInfo(hQuery, &memory, sizeof(memory));
        CloseHandle(hQuery);
    }
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)hClose);
    HANDLE both[2] = { hLauncher, hWorker };
    if (WaitForMultipleObjects(2, both, TRUE, 300000) != WAIT_OBJECT_0)
        return Die("the uninstaller did not end");
    double tGone = NowMs();

    static const char* const kNames[3] = { "files", "groups", "registry" };
    for (int p = 0; p < 3; ++p) {
        char name[64];
        _snprintf(name, sizeof(name), "ours_%s_ms", kNames[p]);
        Result(name, workEnd[p] - start[p]);
        _snprintf(name, sizeof(name), "shown_%s_ms", kNames[p]);
        Result(name, start[p + 1] - start[p]);
        _snprintf(name, sizeof(name), "wait_%s_ms", kNames[p]);
        Result(name, start[p + 1] - workEnd[p]);
    }
    Result("longest_wait_ms", longestWait);
    Result("worker_peak_working_set_kb", memory.PeakWorkingSetSize / 1024.0);
    Result("worker_peak_private_kb", memory.PeakPagefileUsage / 1024.0);
    Result("launch_to_question_ms", tQuestion - t0);
    Result("yes_to_dialog_ms", start[0] - tYes);
    Result("finished_to_gone_ms", tGone - tFinished);
    Result("total_ms", tGone - t0);
    Result("answer_delay_ms", answerDelayMs);
    CloseHandle(hLauncher);
    CloseHandle(hWorker);
    return 0;
}

// ---------------------------------------------------------------------------
// What is left.

static int CountFiles(const char* dir)
{
    char pattern[MAX_PATH];
    _snprintf(pattern, sizeof(pattern), "%s\\*", dir);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        if (strcmp(fd.cFileName, ".") == 0 || strcmp(fd.cFileName, "..") == 0)
            continue;
        ++count;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            char sub[MAX_PATH];
            _snprintf(sub, sizeof(sub), "%s\\%s", dir, fd.cFileName);
            count += CountFiles(sub);
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return count;
}

static int IsKey(HKEY root, const char* path)
{
    HKEY h;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(h);
    return 1;
}

static int Check()
{
    char programs[MAX_PATH];
    char group[MAX_PATH];
    group[0] = '\0';
    if (ProgramsFolder(programs))
        _snprintf(group, sizeof(group), "%s\\Tarnwick Bench", programs);
    int left = CountFiles(BENCH_APP) + (GetFileAttributesA(BENCH_APP) != INVALID_FILE_ATTRIBUTES) +
               (group[0] && GetFileAttributesA(group) != INVALID_FILE_ATTRIBUTES);
    int keys = IsKey(HKEY_CURRENT_USER, "Software\\TarnwickBench") +
               IsKey(HKEY_CLASSES_ROOT, "TarnwickBench.Tree0") +
               IsKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\TarnwickBench") +
               IsKey(HKEY_USERS, ".DEFAULT\\Software\\TarnwickBench") +
               IsKey(HKEY_LOCAL_MACHINE, UNINSTALL_ROOT "\\" BENCH_UNINSTALL_KEY);
    Result("left_files", left);
    Result("left_keys", keys);
    return 0;
}

// Runs this program again with the given arguments and records how long
// the whole process took, start to end.
static int TimeChild(const char* resultPath, const char* name, int argc, char** argv, int first)
{
    char commandLine[4096];
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    _snprintf(commandLine, sizeof(commandLine), "\"%s\"", self);
    for (int i = first; i < argc; ++i) {
        strncat(commandLine, " \"", sizeof(commandLine) - strlen(commandLine) - 1);
        strncat(commandLine, argv[i], sizeof(commandLine) - strlen(commandLine) - 1);
        strncat(commandLine, "\"", sizeof(commandLine) - strlen(commandLine) - 1);
    }
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    double t0 = NowMs();
    // Wine now and then refuses a start with an internal error; try again.
    int started = 0;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0)
            Sleep(200);
        t0 = NowMs();
        started = CreateProcessA(self, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    }
    if (!started)
        return Die("cannot start the child");
    WaitForSingleObject(pi.hProcess, INFINITE);
    double ms = NowMs() - t0;
    s_result = fopen(resultPath, "ab");
    if (s_result != NULL)
        Result(name, ms);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (int)code;
}

static int OpenResult(const char* path)
{
    s_result = fopen(path, "ab");
    return s_result != NULL;
}

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    CoInitialize(NULL);
    if (argc >= 6 && strcmp(argv[1], "gen") == 0)
        return Generate(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), argv[5]);
    if (argc >= 4 && strcmp(argv[1], "floor") == 0) {
        if (!OpenResult(argv[3]))
            return Die("cannot open the result file");
        return Floor(argv[2]);
    }
    if (argc >= 4 && strcmp(argv[1], "drive") == 0) {
        if (!OpenResult(argv[3]))
            return Die("cannot open the result file");
        return Drive(argv[2], argc >= 5 ? atoi(argv[4]) : 0);
    }
    if (argc >= 5 && strcmp(argv[1], "timed") == 0) {
        // The child appends to the same file; ours is written after it ends.
        int rc = TimeChild(argv[2], argv[3], argc, argv, 4);
        return rc;
    }
    if (argc >= 3 && strcmp(argv[1], "check") == 0) {
        if (!OpenResult(argv[2]))
            return Die("cannot open the result file");
        return Check();
    }
    fputs("usage: twbench gen <files> <keys> <groups> <info> | floor <info> <result> |\n"
          "               drive <exe> <result> [delay ms] | check <result>\n", stderr);
    return 2;
}
