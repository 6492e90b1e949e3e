// The uninstall driver: the worker stage. Asks the user, shows the progress
// dialog, runs the files, program-group and registry phases, waits for the
// user to close the finished dialog, releases the launcher and removes the
// last traces. A quiet run does the same work without any window and hands
// its result to the launcher. The removals themselves live in one file per
// operation.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"
#include "info/info.h"
#include "info/value_entries.h"
#include "ui/ui.h"
#include "res/resource.h"

#include <commctrl.h>

#define TW_UNINSTALL_ROOT "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"

// Every phase stays on screen at least this long, so the user can follow it.
static const DWORD kMinimumPhaseMs = 1000;
// How long a quiet run with /closeapps waits for the programs it asked to
// close before it goes on with their files in use.
static const DWORD kCloseWaitMs = 30000;
// The running programs named in the box; the rest are summed up as "...".
static const int kProgramsNamed = 10;

// The installed uninstaller (General/UninstFile), "" when no launcher named
// it. It is in use while its launcher runs and is deleted once that has
// ended, so it is never left for the next restart.
static char s_installedUninstaller[TW_CCH_UNINST_FILE];

// The three indicator pictures.
struct PhasePictures {
    HBITMAP done;
    HBITMAP current;
    HBITMAP pending;
};

// What a run came to: the counts of the three phases (files, groups,
// registry keys, and the registry values of the last phase) and the
// RunResult, for the log's summary and the launcher.
struct RunTally {
    PhaseCounts counts[COUNTED_PART_COUNT];
    int entryLeft;   // a quiet run's installed-programs entry could not go
    int result;      // -1 until the summary is written
};

static void SetPhasePicture(int indicatorId, HBITMAP hbm)
{
    SendDlgItemMessageA(g_hProgressDlg, indicatorId, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hbm);
}

// Keeps the dialog alive until the phase has lasted its minimum time. The
// difference is unsigned, so a wrap of the tick count does no harm.
static void WaitOutPhase(DWORD phaseStart)
{
    while (GetTickCount() - phaseStart < kMinimumPhaseMs)
        PumpMessages(g_hProgressDlg);
}

// Paints the pictures that changed before anything else happens, and
// returns the time from which the phase they show counts: a phase's
// minimum is counted from when the user can see it, also on a machine too
// slow to paint at once.
static DWORD ShowPhasePictures()
{
    RedrawWindow(g_hProgressDlg, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpMessages(g_hProgressDlg);
    return GetTickCount();
}

// Ends one phase and starts the next: done picture for the finished phase,
// current picture for the next one (none after the last). Returns the new
// phase start time.
static DWORD ChangePhase(DWORD phaseStart, const PhasePictures& pictures,
                         int finishedId, int nextId)
{
    WaitOutPhase(phaseStart);
    SetPhasePicture(finishedId, pictures.done);
    if (nextId != 0)
        SetPhasePicture(nextId, pictures.current);
    return ShowPhasePictures();
}

static const char* StatusText(int succeeded)
{
    return LoadTextBuffer(succeeded ? IDS_DELETED : IDS_FAILED_TO_DELETE);
}

static int IsNotFoundError(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Counts one listed item that was tried: removed now, already gone (which
// is as good for the result, though its line says it failed), or left.
static void CountItem(PhaseCounts* counts, int removed, int gone)
{
    if (removed)
        ++counts->removed;
    else if (gone)
        ++counts->absent;
    else
        ++counts->failed;
}

// Directories named by the files list are kept for the very end (pending),
// files in use for the next restart (leaving).
struct FilesPhase {
    const PlaceholderFolders* folders;
    PathList* pending;
    PathList* leaving;
    PhaseCounts* counts;
};

// The visitors of the three phases. Each lets the dialog answer first when
// its time has come: a phase of many items lasts many seconds.
static int VisitFileEntry(const char* value, InfoRead result, void* context)
{
    PumpMessagesWhenDue(g_hProgressDlg);
    FilesPhase* phase = (FilesPhase*)context;
    char path[MAX_PATH];
    PathExpansion expansion =
        result == INFO_OK ? ExpandListedPath(phase->folders, value, path, COUNTOF(path)) : PATH_TOO_LONG;
    if (expansion == PATH_TOO_LONG || expansion == PATH_UNRESOLVED) {
        // Never act on a path cut short into another one, on one that could
        // not be read, nor on one whose folder this machine cannot name: a
        // file gets its line as not deleted, under the name it is listed by;
        // a directory is left where it is.
        if (!EndsWithBackslash(value)) {
            AppendDetailLog("", value, StatusText(0));
            ++phase->counts->failed;
        }
        return 1;
    }
    if (EndsWithBackslash(path)) {
        AddToPathList(phase->pending, path);
        return 1;
    }
    int deleted = DeleteListedFile(path);
    // A file that a running program holds goes when the system restarts,
    // where the system lets us arrange that; otherwise it fails as any other.
    if (!deleted && IsFileInUse(path, GetLastError()) && lstrcmpiA(path, s_installedUninstaller) != 0 &&
        ScheduleDeleteAtRestart(path)) {
        AddToPathList(phase->leaving, path);
        ++phase->counts->atRestart;
        AppendDetailLog("", path, LoadTextBuffer(IDS_DELETED_AT_RESTART));
        return 1;
    }
    CountItem(phase->counts, deleted,
              !deleted && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
                  IsNotFoundError(GetLastError()));
    AppendDetailLog("", path, StatusText(deleted));
    return 1;
}

struct GroupPhase {
    const PlaceholderFolders* folders;
    int commonGroup;
    const PathList* pending;
    PhaseCounts* counts;
};

// Removes the listed directories that lie inside a group's folder, in list
// order and only when empty, ahead of the other directories: the files
// phase is over, so nothing that this run removes is left in them, and the
// group can go with them at the groups phase. Non-zero when there were any.
static int RemoveDirectoriesInside(const PathList* pending, const char* folder)
{
    int found = 0;
    for (size_t i = 0; i < pending->count; ++i) {
        char directory[MAX_PATH];
        CopyText(directory, COUNTOF(directory), pending->paths[i]);
        StripTrailingBackslashes(directory);
        if (IsBelowFolder(directory, folder)) {
            RemoveListedDirectory(directory);
            found = 1;
        }
    }
    return found;
}

static int VisitGroupEntry(const char* value, InfoRead result, void* context)
{
    PumpMessagesWhenDue(g_hProgressDlg);
    const GroupPhase* phase = (const GroupPhase*)context;
    if (result != INFO_OK) {
        ++phase->counts->failed;
        return 1;
    }
    char folder[MAX_PATH];
    GroupVerdict verdict = ResolveListedGroup(phase->folders, phase->commonGroup, value, folder, COUNTOF(folder));
    // A group that holds listed directories goes once they have gone.
    int removed = RemoveResolvedGroup(verdict, folder);
    if (!removed && verdict == GROUP_FOLDER && RemoveDirectoriesInside(phase->pending, folder))
        removed = RemoveResolvedGroup(verdict, folder);
    int gone = !removed && verdict == GROUP_FOLDER && IsNotFoundError(GetLastError()) &&
               GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES;
    CountItem(phase->counts, removed, gone);
    // A group that is not there leaves no line; one that stays is named, as
    // a file or key that stays is. A placeholder's group is shown by the
    // folder it resolved to.
    const char* shown = verdict != GROUP_REFUSED && FindFolderPlaceholder(value, NULL) >= 0 ? folder : value;
    if (!gone)
        AppendDetailLog("", shown, StatusText(removed));
    return 1;
}

struct RegistryPhase {
    HKEY root;
    const char* prefix;
    PhaseCounts* counts;
};

static int IsKeyGone(HKEY root, const char* path)
{
    KeyGuard key;
    return RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, key.Out()) == ERROR_FILE_NOT_FOUND;
}

static int VisitRegistryEntry(const char* value, InfoRead result, void* context)
{
    PumpMessagesWhenDue(g_hProgressDlg);
    const RegistryPhase* phase = (const RegistryPhase*)context;
    int deleted = result == INFO_OK && DeleteRegistryTree(phase->root, value, NULL);
    CountItem(phase->counts, deleted, !deleted && result == INFO_OK && IsKeyGone(phase->root, value));
    AppendDetailLog(phase->prefix, value, StatusText(deleted));
    return 1;
}

// The registry lists of the four roots, in the order the phase reads them.
static const struct {
    const char* trees;
    const char* values;
    HKEY root;
    const char* prefix;
} kRegistryLists[] = {
    { TW_SECTION_REG_CURRENT_USER, TW_SECTION_VALUES_CURRENT_USER, HKEY_CURRENT_USER, "HKEY_CURRENT_USER \\" },
    { TW_SECTION_REG_CLASSES_ROOT, TW_SECTION_VALUES_CLASSES_ROOT, HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT \\" },
    { TW_SECTION_REG_LOCAL_MACHINE, TW_SECTION_VALUES_LOCAL_MACHINE, HKEY_LOCAL_MACHINE,
      "HKEY_LOCAL_MACHINE \\" },
    { TW_SECTION_REG_USERS, TW_SECTION_VALUES_USERS, HKEY_USERS, "HKEY_USERS \\" },
};

// The parts of a value-list entry as NUL-terminated texts. Each fits, as
// the entry itself fits a path buffer.
struct ValueEntryTexts {
    ValueEntryKind kind;
    char keyPath[TW_CCH_LIST_VALUE];
    char name[TW_CCH_LIST_VALUE];
    char directory[TW_CCH_LIST_VALUE];
};

static void SplitValueEntry(const char* value, InfoRead result, ValueEntryTexts* texts)
{
    ValueEntry parsed;
    texts->kind = result == INFO_OK ? ParseValueEntry(value, IsLeadByteOfAnsiCodePage, &parsed)
                                    : VALUE_ENTRY_MALFORMED;
    texts->keyPath[0] = texts->name[0] = texts->directory[0] = '\0';
    if (texts->kind == VALUE_ENTRY_MALFORMED)
        return;
    lstrcpynA(texts->keyPath, value, (int)parsed.cchKeyPath + 1);
    lstrcpynA(texts->name, value + parsed.nameAt, (int)parsed.cchName + 1);
    lstrcpynA(texts->directory, value + parsed.directoryAt, (int)parsed.cchDirectory + 1);
}

// The number of parts of a key path: an inner key has more.
static unsigned CountKeyParts(const char* keyPath)
{
    unsigned parts = 1;
    for (const char* p = keyPath; *p != '\0'; p = CharNextA(p))
        parts += *p == '\\';
    return parts;
}

struct ValuePhase {
    HKEY root;
    const char* prefix;
    PhaseCounts* counts;
    int* environmentChanged;   // set when a value below an Environment key changed
    unsigned* deepest;         // the most parts of an empty-key entry seen
    unsigned parts;            // the empty-key entries of this many parts go now
};

// The values pass: values and list elements; the empty-key entries wait
// until every value is gone.
static int VisitValueEntry(const char* value, InfoRead result, void* context)
{
    PumpMessagesWhenDue(g_hProgressDlg);
    ValuePhase* phase = (ValuePhase*)context;
    ValueEntryTexts texts;
    SplitValueEntry(value, result, &texts);
    if (texts.kind == VALUE_ENTRY_EMPTY_KEY) {
        unsigned parts = CountKeyParts(texts.keyPath);
        if (parts > *phase->deepest)
            *phase->deepest = parts;
        return 1;
    }
    int done = 0;
    if (texts.kind == VALUE_ENTRY_VALUE)
        done = DeleteListedValue(phase->root, texts.keyPath, texts.name);
    else if (texts.kind == VALUE_ENTRY_LIST_ELEMENT)
        done = RemoveListElement(phase->root, texts.keyPath, texts.name, texts.directory);
    int gone = !done && texts.kind != VALUE_ENTRY_MALFORMED && IsNotFoundError(GetLastError());
    if (done && IsEnvironmentKeyPath(texts.keyPath))
        *phase->environmentChanged = 1;
    CountItem(phase->counts, done, gone);
    AppendDetailLog(phase->prefix, value, StatusText(done));
    return 1;
}

// The empty-key pass for one depth. A key that is not there, or still
// holds something, stays without a line, as a directory does.
static int VisitEmptyKeyEntry(const char* value, InfoRead result, void* context)
{
    PumpMessagesWhenDue(g_hProgressDlg);
    const ValuePhase* phase = (const ValuePhase*)context;
    ValueEntryTexts texts;
    SplitValueEntry(value, result, &texts);
    if (texts.kind != VALUE_ENTRY_EMPTY_KEY || CountKeyParts(texts.keyPath) != phase->parts)
        return 1;
    int removed = RemoveEmptyKey(phase->root, texts.keyPath);
    DWORD error = GetLastError();
    if (removed || (error != ERROR_FILE_NOT_FOUND && error != ERROR_DIR_NOT_EMPTY))
        AppendDetailLog(phase->prefix, value, StatusText(removed));
    return 1;
}

// The registry phase: the key trees of the four roots, then their listed
// values, then the keys that go only when empty, innermost first. Running
// programs hear of a changed environment at the end.
static void RemoveListedRegistry(const InfoFile* info, RunTally* tally)
{
    for (size_t i = 0; i < COUNTOF(kRegistryLists); ++i) {
        RegistryPhase phase = { kRegistryLists[i].root, kRegistryLists[i].prefix, &tally->counts[COUNT_KEYS] };
        ForEachListEntry(info, kRegistryLists[i].trees, VisitRegistryEntry, &phase);
    }
    int environmentChanged = 0;
    unsigned deepest = 0;
    for (size_t i = 0; i < COUNTOF(kRegistryLists); ++i) {
        ValuePhase phase = { kRegistryLists[i].root, kRegistryLists[i].prefix, &tally->counts[COUNT_VALUES],
                             &environmentChanged, &deepest, 0 };
        ForEachListEntry(info, kRegistryLists[i].values, VisitValueEntry, &phase);
    }
    for (unsigned parts = deepest; parts > 0; --parts) {
        for (size_t i = 0; i < COUNTOF(kRegistryLists); ++i) {
            ValuePhase phase = { kRegistryLists[i].root, kRegistryLists[i].prefix, &tally->counts[COUNT_VALUES],
                                 &environmentChanged, &deepest, parts };
            ForEachListEntry(info, kRegistryLists[i].values, VisitEmptyKeyEntry, &phase);
        }
    }
    if (environmentChanged)
        AnnounceEnvironmentChange();
}

// Removes what the lists name, in their order: files (directories are kept
// for the end), program groups, the registry (key trees, values, keys left
// empty). With pictures (the progress dialog shows), each phase change
// shows on the indicators after the phase's minimum time; without, the
// phases run back to back.
static void RemoveListedItems(const InfoFile* info, const PlaceholderFolders* folders,
                              const PhasePictures* pictures, PathList* pending, PathList* leaving,
                              RunTally* tally)
{
    DWORD phaseStart = pictures != NULL ? ShowPhasePictures() : 0;
    FilesPhase files = { folders, pending, leaving, &tally->counts[COUNT_FILES] };
    ForEachListEntry(info, TW_SECTION_FILES, VisitFileEntry, &files);
    if (pictures != NULL)
        phaseStart = ChangePhase(phaseStart, *pictures, IDC_PHASE_FILES, IDC_PHASE_GROUPS);

    GroupPhase groups = { folders, ReadCommonGroup(info), pending, &tally->counts[COUNT_GROUPS] };
    ForEachListEntry(info, TW_SECTION_GROUP, VisitGroupEntry, &groups);
    if (pictures != NULL)
        phaseStart = ChangePhase(phaseStart, *pictures, IDC_PHASE_GROUPS, IDC_PHASE_REGISTRY);

    RemoveListedRegistry(info, tally);
    if (pictures != NULL)
        ChangePhase(phaseStart, *pictures, IDC_PHASE_REGISTRY, 0);
}

// Ends the log: the summary line with the run's result, then the file is
// closed. started says whether the phases ran. A log that could not be
// written whole is the result only when nothing else went wrong.
static void EndRunLog(RunTally* tally, int started)
{
    int result = TW_RESULT_NOT_STARTED;
    if (started) {
        result = tally->counts[COUNT_FILES].atRestart ? TW_RESULT_RESTART : TW_RESULT_REMOVED;
        if (tally->entryLeft)
            result = TW_RESULT_PARTIAL;
        for (int part = 0; part < COUNTED_PART_COUNT; ++part)
            if (tally->counts[part].failed)
                result = TW_RESULT_PARTIAL;
    }
    if (result == TW_RESULT_REMOVED && LogFileFailed())
        result = TW_RESULT_NO_LOG;
    WriteLogSummary(tally->counts, result);
    CloseLogFile();
    if (result == TW_RESULT_REMOVED && LogFileFailed())
        result = TW_RESULT_NO_LOG;
    tally->result = result;
}

// Removes the pending directories from entry `first` on, in list order
// (non-recursive: only empty ones go). With stopAtFirstLeft it stops at the
// first one that stays, since a later one may only be empty once that one's
// contents have gone. Returns the index at which it stopped.
static size_t RemovePendingDirectories(const PathList* pending, size_t first,
                                       int stopAtFirstLeft)
{
    size_t i = first;
    for (; i < pending->count; ++i) {
        if (!RemoveListedDirectory(pending->paths[i]) && stopAtFirstLeft &&
            GetFileAttributesA(pending->paths[i]) != INVALID_FILE_ATTRIBUTES)
            break;
    }
    return i;
}

// The listed directories that are left only because files in use are left
// for the next restart go at that restart too, in list order, so that a
// directory listed after one that goes then can go with it.
static void ScheduleEmptiedDirectories(const PathList* pending, PathList* leaving)
{
    for (size_t i = 0; i < pending->count && leaving->count > 0; ++i) {
        if (GetFileAttributesA(pending->paths[i]) != INVALID_FILE_ATTRIBUTES &&
            HoldsOnlyLeaving(pending->paths[i], leaving) && ScheduleDirectoryRemovalAtRestart(pending->paths[i]))
            AddToPathList(leaving, pending->paths[i]);
    }
}

// The folder of the information file (its path up to and including the
// last backslash), into folder (cchFolder bytes). Non-zero on success.
static int TakeInfoFolder(const char* infoPath, char* folder, size_t cchFolder)
{
    size_t cchFolderPart = 0;
    for (const char* p = infoPath; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\')
            cchFolderPart = (size_t)(p - infoPath) + 1;
    }
    if (cchFolderPart == 0 || cchFolderPart >= cchFolder)
        return 0;
    CopyMemory(folder, infoPath, cchFolderPart);
    folder[cchFolderPart] = '\0';
    return 1;
}

// True when the worker runs from the copy that a launcher made beside the
// information file it wrote (twuninst.bin in the run's own folder), the
// only executable it may schedule for deletion.
static int IsRunningFromWorkerCopy(const char* ownPath, const char* infoPath)
{
    char copyPath[MAX_PATH];
    return TakeInfoFolder(infoPath, copyPath, COUNTOF(copyPath)) &&
           AppendText(copyPath, COUNTOF(copyPath), TW_WORKER_COPY_NAME) && NameSameObject(ownPath, copyPath);
}

// Releases the launcher through this run's event (the fixed name for a
// worker that was told none) and waits until the launcher's process has
// ended, so that its executable can be deleted. hLauncher was opened at the
// worker's start, while the launcher certainly ran; NULL: nothing to wait for.
static void SynchroniseWithLauncher(const char* eventName, HANDLE hLauncher)
{
    const char* name = eventName[0] != '\0' ? eventName : TW_SYNC_EVENT;
    HandleGuard hEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, name));
    if (hEvent.Get() != NULL)
        SetEvent(hEvent.Get());
    hEvent.Close();
    if (hLauncher != NULL)
        WaitForSingleObject(hLauncher, INFINITE);
}

static const char kNoWindow[] =
    "No window can be shown here (no desktop), so nothing was started: "
    "/s /quiet uninstalls without any window.";

// Shows the question with the display name. Non-zero when the user said
// Yes; otherwise the log says why the run did not start.
static int ConfirmUninstall(const char* displayName)
{
    // wsprintfA writes at most 1024 characters and a terminator.
    char question[1025];
    wsprintfA(question, LoadTextBuffer(IDS_CONFIRM_UNINSTALL), displayName);
    int answer = MessageBoxA(NULL, question, TW_PROGRAM_TITLE, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    if (answer == IDYES)
        return 1;
    WriteLogLine(answer == IDNO ? "The question was answered No, so nothing was removed." : kNoWindow);
    return 0;
}

enum RunningAnswer { RUNNING_CANCEL, RUNNING_RETRY, RUNNING_IGNORE };

// Names the running programs in a box and asks what to do: look again, go
// on with their files in use, or end the run.
static RunningAnswer AskAboutRunningPrograms(const RunningPrograms* found)
{
    char names[kProgramsNamed * 70 + 16];
    names[0] = '\0';
    for (int i = 0; i < found->count && i < kProgramsNamed; ++i) {
        // A long window title is cut at a character, so that the whole
        // text stays within what the box is formatted into.
        char name[61];
        CopyText(name, COUNTOF(name), found->items[i].name);
        AppendText(names, COUNTOF(names), "    ");
        AppendText(names, COUNTOF(names), name);
        AppendText(names, COUNTOF(names), "\n");
    }
    if (found->count > kProgramsNamed)
        AppendText(names, COUNTOF(names), "    ...\n");
    // wsprintfA writes at most 1024 characters and a terminator.
    char text[1025];
    wsprintfA(text, LoadTextBuffer(IDS_PROGRAMS_RUNNING), names);
    // Cancel, Try Again and Continue came with Windows 2000; the older
    // systems ask the same with Abort, Retry and Ignore.
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    UINT buttons = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                   version.dwMajorVersion >= 5 ? MB_CANCELTRYCONTINUE : MB_ABORTRETRYIGNORE;
    switch (MessageBoxA(NULL, text, TW_PROGRAM_TITLE, buttons | MB_ICONWARNING | MB_DEFBUTTON2)) {
    case IDTRYAGAIN:
    case IDRETRY:
        return RUNNING_RETRY;
    case IDCONTINUE:
    case IDIGNORE:
        return RUNNING_IGNORE;
    }
    // Cancel, Abort, or a box that could not be shown: nothing is removed.
    return RUNNING_CANCEL;
}

// Before anything is removed: finds the programs that run with the
// installation's files. Interactive, asks the user about them until none is
// left or the user goes on; 0 when the user ends the run. Quiet, asks them
// to close when the caller said so (/closeapps) and waits a bounded time.
static int SettleRunningPrograms(const InfoFile* info, const PlaceholderFolders* folders, DWORD launcherId)
{
    if (g_quiet && !ReadCloseApps(info))
        return 1;
    ListedPaths listed;
    CollectListedPaths(info, folders, &listed);
    RunningPrograms found;
    RunningAnswer answer = RUNNING_RETRY;
    while (answer == RUNNING_RETRY) {
        StartRunningPrograms(&found, launcherId);
        FindRunningPrograms(&listed, &found);
        if (found.count == 0)
            break;
        if (g_quiet) {
            AskProgramsToClose(&found, kCloseWaitMs);
            break;
        }
        answer = AskAboutRunningPrograms(&found);
    }
    FreeListedPaths(&listed);
    return answer != RUNNING_CANCEL;
}

// Runs the three phases in the progress dialog and the finished state.
// Returns non-zero when the user closed the finished dialog. The log ends
// with the phases, before the finished state.
static int RunPhases(const InfoFile* info, const PlaceholderFolders* folders, const char* displayName,
                     const PhasePictures& pictures, PathList* pending, PathList* leaving, RunTally* tally)
{
    g_hProgressDlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL,
                                        ProgressDialogProc, 0);
    // Without a dialog the finished state could never be closed: nothing is
    // removed, and the run goes on with the synchronisation.
    if (g_hProgressDlg == NULL) {
        WriteLogLine(kNoWindow);
        return 0;
    }
    BlockSessionEnd(g_hProgressDlg, displayName);
    SetDlgItemTextA(g_hProgressDlg, IDC_APP_NAME, displayName);
    SetPhasePicture(IDC_PHASE_FILES, pictures.pending);
    SetPhasePicture(IDC_PHASE_GROUPS, pictures.pending);
    SetPhasePicture(IDC_PHASE_REGISTRY, pictures.pending);
    SetPhasePicture(IDC_PHASE_FILES, pictures.current);
    AnimateShow(g_hProgressDlg, 200, AW_ACTIVATE | AW_CENTER);
    ShowWindow(g_hProgressDlg, SW_SHOW);

    RemoveListedItems(info, folders, &pictures, pending, leaving, tally);
    EndRunLog(tally, 1);

    g_finished = 1;
    AllowSessionEnd(g_hProgressDlg);
    HWND hClose = GetDlgItem(g_hProgressDlg, IDOK);
    SetWindowTextA(hClose, LoadTextBuffer(IDS_CLOSE));
    ShowWindow(hClose, SW_SHOW);
    ShowWindow(GetDlgItem(g_hProgressDlg, IDC_DETAIL), SW_SHOW);
    SetDlgItemTextA(g_hProgressDlg, IDC_HEADING, LoadTextBuffer(IDS_FINISHED));
    RunDialogMessageLoop();
    return 1;
}

static const char kProgramsFolderUnnameable[] =
    "The Start menu's Programs folder has no name in the system's code page, not even a short (8.3) one, "
    "so the program groups cannot be reached and nothing was removed.";

// False when the groups phase has groups to remove and the Programs folder
// has a name that this program cannot write (see ConvertToAnsiPath).
static int CanNameProgramsFolder(const InfoFile* info)
{
    char first[TW_CCH_LIST_VALUE];
    if (ReadListEntry(info, TW_SECTION_GROUP, 0, first, COUNTOF(first)) == INFO_EMPTY)
        return 1;
    char folder[MAX_PATH];
    SetLastError(NO_ERROR);
    return TakeProgramsFolder(ReadCommonGroup(info), folder) || GetLastError() != ERROR_NO_UNICODE_TRANSLATION;
}

// Deletes the installed-programs entry (entryPath below HKEY_LOCAL_MACHINE,
// the subkey uninstallKey of the Uninstall key) at the end of a quiet run's
// phases. An entry that stays gets a line of its own and makes the run's
// result say that something remains.
static void DeleteQuietRunEntry(const char* entryPath, const char* uninstallKey, RunTally* tally)
{
    if (DeleteRegistryTree(HKEY_LOCAL_MACHINE, TW_UNINSTALL_ROOT, uninstallKey) ||
        IsKeyGone(HKEY_LOCAL_MACHINE, entryPath))
        return;
    tally->entryLeft = 1;
    AppendDetailLog("HKEY_LOCAL_MACHINE \\", entryPath, StatusText(0));
}

// How far a run got before the launcher is released. It decides whether the
// worker waits for the launcher and whether the final clean-up runs.
enum RunEnd {
    RUN_ENDED_EARLY,     // no entry to open, or the user did not say Yes
    RUN_NOT_SHOWN,       // no progress dialog, so nothing was removed
    RUN_COMPLETED,       // the user closed the finished dialog, or a quiet
                         // run went through its phases
};

// Opens the installed-programs entry named by UninstallKey (uninstallKey
// receives the name, cchUninstallKey bytes), resolves the placeholders of
// the run (with the installed uninstaller, s_installedUninstaller), asks
// the user, settles the running programs and runs the phases; a quiet run
// asks nobody and shows nothing. An entry that cannot be opened gets its
// error box (or log line) here. The launcher's process (launcherId) never
// counts as running.
static RunEnd AskAndRun(const InfoFile* info, DWORD launcherId, char* uninstallKey, size_t cchUninstallKey,
                        const PhasePictures& pictures, PathList* pending, PathList* leaving, RunTally* tally)
{
    char entryPath[MAX_PATH];
    InfoRead keyRead = ReadUninstallKey(info, uninstallKey, cchUninstallKey);
    KeyGuard hEntry;
    if (keyRead != INFO_OK ||
        !CopyText(entryPath, COUNTOF(entryPath), TW_UNINSTALL_ROOT "\\") ||
        !AppendText(entryPath, COUNTOF(entryPath), uninstallKey) ||
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, entryPath, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE, NULL, hEntry.Out(), NULL) != ERROR_SUCCESS) {
        ShowErrorMessage(IDS_CANNOT_INITIALIZE);
        return RUN_ENDED_EARLY;
    }
    char displayName[200];
    ReadDisplayName(hEntry.Get(), displayName, COUNTOF(displayName));
    PlaceholderFolders folders;
    ResolvePlaceholderFolders(s_installedUninstaller, hEntry.Get(), &folders);
    RegCloseKey(hEntry.Detach());
    if (!CanNameProgramsFolder(info)) {
        WriteLogLine(kProgramsFolderUnnameable);
        ShowErrorMessage(IDS_CANNOT_INITIALIZE);
        return RUN_ENDED_EARLY;
    }
    if (g_quiet) {
        SettleRunningPrograms(info, &folders, launcherId);
        RemoveListedItems(info, &folders, NULL, pending, leaving, tally);
        // The caller of a quiet run takes the result as final: the entry
        // goes before it is written, and one that stays is part of it.
        DeleteQuietRunEntry(entryPath, uninstallKey, tally);
        EndRunLog(tally, 1);
        return RUN_COMPLETED;
    }
    if (!ConfirmUninstall(displayName) || !SettleRunningPrograms(info, &folders, launcherId))
        return RUN_ENDED_EARLY;
    return RunPhases(info, &folders, displayName, pictures, pending, leaving, tally) ? RUN_COMPLETED
                                                                                     : RUN_NOT_SHOWN;
}

// Schedules the worker's own executable for deletion at restart when it is
// the copy that a launcher made, and after it the run's folder. The 9x
// family's WININIT.INI deletes files only: there the empty folder stays.
static void ScheduleOwnCopyDeletion(const char* infoPath)
{
    char ownPath[TW_CCH_UNINST_FILE];
    DWORD cchOwn = GetModuleFileNameA(NULL, ownPath, COUNTOF(ownPath));
    if (cchOwn == 0 || cchOwn >= COUNTOF(ownPath) || !IsRunningFromWorkerCopy(ownPath, infoPath))
        return;
    ScheduleDeleteAtRestart(ownPath);
    // The pending operations run in order: the copy goes first, then the
    // folder it leaves empty.
    char folder[MAX_PATH];
    if (TakeInfoFolder(infoPath, folder, COUNTOF(folder)))
        ScheduleDirectoryRemovalAtRestart(folder);
}

// Opens the log file that the launcher named (none when it named none).
static void ContinueRunLog(const InfoFile* info)
{
    char logPath[MAX_PATH];
    InfoRead logRead = ReadLogFile(info, logPath, COUNTOF(logPath));
    if (logRead != INFO_EMPTY)
        OpenLogFile(logRead == INFO_OK ? logPath : "", 0);
}

void WorkerStage(const char* infoPath)
{
    // The information is read once, with the launcher's keys already in it.
    InfoFile info;
    LoadInfoFile(infoPath, &info);
    g_quiet = ReadQuiet(&info);
    ContinueRunLog(&info);
    RunTally tally;
    ZeroMemory(&tally, sizeof(tally));
    tally.result = -1;

    PathList pending = { NULL, 0, 0 };
    PathList leaving = { NULL, 0, 0 };
    PhasePictures pictures = { NULL, NULL, NULL };
    if (!g_quiet) {
        pictures.done = CreateMappedBitmap(g_hInstance, IDB_DONE, 0, NULL, 0);
        pictures.current = CreateMappedBitmap(g_hInstance, IDB_CURRENT, 0, NULL, 0);
        pictures.pending = CreateMappedBitmap(g_hInstance, IDB_PENDING, 0, NULL, 0);
    }

    // Only a file that a launcher wrote (it carries the launcher's keys) is
    // ours to delete; a path typed by hand after /u must survive.
    char uninstFile[TW_CCH_UNINST_FILE];
    InfoRead uninstFileRead = ReadUninstFile(&info, uninstFile, COUNTOF(uninstFile));
    CopyText(s_installedUninstaller, COUNTOF(s_installedUninstaller), uninstFileRead == INFO_OK ? uninstFile : "");
    const int launcherProcessId = ReadUninstSrcProcess(&info);
    const int launcherWroteInfoFile = uninstFileRead != INFO_EMPTY && launcherProcessId != -1;
    char eventName[64];
    if (ReadSyncEventName(&info, eventName, COUNTOF(eventName)) != INFO_OK)
        eventName[0] = '\0';
    // The launcher waits for us, so it runs now; at the end its identifier
    // might already name another process.
    HandleGuard hLauncher(launcherProcessId != -1
                              ? OpenProcess(SYNCHRONIZE, FALSE, (DWORD)launcherProcessId) : NULL);

    char uninstallKey[MAX_PATH];
    const RunEnd end = AskAndRun(&info, (DWORD)launcherProcessId, uninstallKey, COUNTOF(uninstallKey),
                                 pictures, &pending, &leaving, &tally);
    if (tally.result < 0)
        EndRunLog(&tally, 0);

    // The caller of a quiet run sees the launcher end: by then all that can
    // go before the installed executable is gone, and the result, which
    // covers it, is in the launcher's file.
    size_t directoriesLeft = 0;
    if (g_quiet) {
        if (end == RUN_COMPLETED)
            directoriesLeft = RemovePendingDirectories(&pending, 0, 1);
        WriteRunResult(infoPath, tally.result);
    }

    // An interactive run that ended early gives up the launcher's file, and
    // the launcher's identifier with it, at once: the worker does not wait
    // for the launcher then. Otherwise it waits, so that the launcher can
    // read the result and its executable can be deleted.
    if (end == RUN_ENDED_EARLY && !g_quiet) {
        if (launcherWroteInfoFile)
            DeleteFileA(infoPath);
        SynchroniseWithLauncher(eventName, NULL);
    } else {
        SynchroniseWithLauncher(eventName, hLauncher.Get());
    }

    if (end == RUN_COMPLETED) {
        if (!g_quiet)
            DeleteRegistryTree(HKEY_LOCAL_MACHINE, TW_UNINSTALL_ROOT, uninstallKey);
        if (uninstFileRead == INFO_OK) {
            // Installers that copy from read-only media leave the attribute.
            ClearReadOnlyAttribute(uninstFile);
            DeleteFileA(uninstFile);
        }
        RemovePendingDirectories(&pending, directoriesLeft, 0);
        ScheduleEmptiedDirectories(&pending, &leaving);
    }

    ScheduleOwnCopyDeletion(infoPath);
    if (launcherWroteInfoFile)
        DeleteFileA(infoPath);

    FreeInfoFile(&info);
    FreePathList(&pending);
    FreePathList(&leaving);
    DeleteObject(pictures.done);
    DeleteObject(pictures.current);
    DeleteObject(pictures.pending);
}
