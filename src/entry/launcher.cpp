// The launcher stage: turns the information block at the end of our own
// executable into an uninstall information file in a new folder of the
// run's own in the temporary directory, starts a copy of ourselves there as
// the worker and waits for it. It never removes anything itself.

#include "entry/entry.h"
#include "common/common.h"
#include "common/guard.h"
#include "info/info.h"
#include "ui/ui.h"
#include "res/resource.h"

// Reads the payload of the information block of our own executable into a
// new heap block (*pcbPayload bytes, still complemented). Returns NULL when
// there is no block or it cannot be read whole.
static BYTE* ReadOwnPayload(DWORD* pcbPayload)
{
    char ownPath[MAX_PATH];
    DWORD cchOwn = GetModuleFileNameA(NULL, ownPath, COUNTOF(ownPath));
    if (cchOwn == 0 || cchOwn >= COUNTOF(ownPath))
        return NULL;
    HandleGuard hFile(CreateFileA(ownPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile.Get() == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD offset = 0;
    if (!LocatePayload(hFile.Get(), &offset))
        return NULL;
    DWORD cbFile = GetFileSize(hFile.Get(), NULL);
    if (cbFile == INVALID_FILE_SIZE || cbFile <= offset)
        return NULL;
    DWORD cbPayload = cbFile - offset;
    HeapGuard payload(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbPayload));
    if (payload.Get() == NULL)
        return NULL;
    if (SetFilePointer(hFile.Get(), (LONG)offset, NULL, FILE_BEGIN) != offset)
        return NULL;
    // A short read would leave zeros where uninstall information belongs.
    if (!ReadWhole(hFile.Get(), payload.Get(), cbPayload))
        return NULL;
    *pcbPayload = cbPayload;
    return (BYTE*)payload.Detach();
}

// Writes bytes into a new file at path: created new, so that a file that
// stands there already is never opened, and not writable by others while
// it is written. Non-zero when all of it was written; a partial file is
// removed again.
static int WriteNewFile(const char* path, const void* bytes, DWORD cb)
{
    HandleGuard hFile(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile.Get() == INVALID_HANDLE_VALUE)
        return 0;
    DWORD cbWritten = 0;
    int ok = WriteFile(hFile.Get(), bytes, cb, &cbWritten, NULL) && cbWritten == cb;
    hFile.Close();
    if (!ok)
        DeleteFileA(path);
    return ok;
}

// Writes a copy of our own executable to copyPath, a new file with no
// attributes of its own (a read-only installed uninstaller must not give a
// read-only copy). Non-zero when the whole copy was written.
static int WriteWorkerCopy(const char* ownPath, const char* copyPath)
{
    HandleGuard hOwn(CreateFileA(ownPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (hOwn.Get() == INVALID_HANDLE_VALUE)
        return 0;
    DWORD cbOwn = GetFileSize(hOwn.Get(), NULL);
    if (cbOwn == INVALID_FILE_SIZE || cbOwn == 0)
        return 0;
    HeapGuard bytes(HeapAlloc(GetProcessHeap(), 0, cbOwn));
    return bytes.Get() != NULL && ReadWhole(hOwn.Get(), bytes.Get(), cbOwn) &&
           WriteNewFile(copyPath, bytes.Get(), cbOwn);
}

// Creates the event of this run under a name that no other run uses (a
// name that exists already belongs to someone else and is skipped), and
// writes the name into name (cchName bytes, at least 64). NULL on failure.
static HANDLE CreateRunEvent(char* name, size_t cchName)
{
    if (cchName < 64)
        return NULL;
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        wsprintfA(name, TW_SYNC_EVENT ".%lX.%lX", (unsigned long)GetCurrentProcessId(),
                  (unsigned long)attempt);
        HANDLE hEvent = CreateEventA(NULL, FALSE, FALSE, name);
        if (hEvent == NULL)
            return NULL;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return hEvent;
        CloseHandle(hEvent);
    }
    return NULL;
}

// How far the worker got, as the launcher can tell.
enum WorkerOutcome {
    WORKER_NOT_STARTED,   // the process could not be created
    WORKER_SIGNALLED,     // it set the event: its result is in the file
    WORKER_VANISHED       // it ended without setting the event
};

// Starts the worker copy and waits until it signals this run's event, or
// until its process ends without doing so (a worker that dies must not
// leave us waiting forever).
static WorkerOutcome RunWorker(const char* copyPath, char* commandLine, const char* workspace,
                               HANDLE hEvent)
{
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(copyPath, commandLine, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL,
                        workspace, &si, &pi))
        return WORKER_NOT_STARTED;
    CloseHandle(pi.hThread);
    HandleGuard hWorker(pi.hProcess);
    HANDLE waitFor[2] = { hEvent, hWorker.Get() };
    // With both signalled the event comes first.
    return WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) == WAIT_OBJECT_0
        ? WORKER_SIGNALLED : WORKER_VANISHED;
}

// Resolves the log path against our current directory (the worker runs in
// the temporary directory) into fullPath (cchFullPath bytes) and starts the
// log file afresh. Without a usable path the log counts as failed.
static void StartLogFile(const LauncherOptions* options, char* fullPath, size_t cchFullPath)
{
    fullPath[0] = '\0';
    if (!options->logRequested)
        return;
    DWORD cch = 0;
    if (options->logPathFits && options->logPath[0] != '\0')
        cch = GetFullPathNameA(options->logPath, (DWORD)cchFullPath, fullPath, NULL);
    if (cch == 0 || cch >= cchFullPath)
        fullPath[0] = '\0';
    // An empty path fails like any other that cannot be created.
    if (!OpenLogFile(fullPath, 1))
        fullPath[0] = '\0';
}

// Ends a run that removed nothing: the error (a box, or in a quiet run only
// the log line) and the summary.
static int EndNotStarted(UINT errorId)
{
    ShowErrorMessage(errorId);
    const PhaseCounts none[COUNTED_PART_COUNT] = {};
    WriteLogSummary(none, TW_RESULT_NOT_STARTED);
    return TW_RESULT_NOT_STARTED;
}

// What the launcher makes for one run: its folder and the two files in it.
// A path stays empty until its file exists.
struct Workspace {
    char folder[MAX_PATH];
    char infoPath[MAX_PATH];
    char copyPath[MAX_PATH];
};

// Removes what the launcher made, once no worker runs from it.
static void RemoveWorkspace(const Workspace* ws)
{
    if (ws->infoPath[0] != '\0')
        DeleteFileA(ws->infoPath);
    if (ws->copyPath[0] != '\0')
        DeleteFileA(ws->copyPath);
    if (ws->folder[0] != '\0')
        RemoveDirectoryA(ws->folder);
}

// Writes the uninstall information file (the decoded payload and the keys
// for the worker) and the worker copy into the run's new folder, and
// creates the run's event (*phEvent). Returns 0 when the worker can start,
// otherwise the id of the error that ends the run; what was made is then
// in ws, for RemoveWorkspace.
static UINT PrepareWorkspace(const char* tempDir, BYTE* payload, DWORD cbPayload, const char* logPath,
                             int closeApps, Workspace* ws, HANDLE* phEvent)
{
    char tick[16];
    wsprintfA(tick, "%d", (int)GetTickCount());
    char infoPath[MAX_PATH];
    if (!CreateWorkspace(tempDir, GetTickCount() ^ (GetCurrentProcessId() << 16), ws->folder,
                         COUNTOF(ws->folder)) ||
        !CopyText(infoPath, COUNTOF(infoPath), ws->folder) ||
        !AppendText(infoPath, COUNTOF(infoPath), "$$$twuninst") ||
        !AppendText(infoPath, COUNTOF(infoPath), tick) || !AppendText(infoPath, COUNTOF(infoPath), ".ini"))
        return IDS_ERROR_READING_INFO;
    ComplementBytes(payload, cbPayload);
    if (!WriteNewFile(infoPath, payload, cbPayload))
        return IDS_ERROR_READING_INFO;
    CopyText(ws->infoPath, COUNTOF(ws->infoPath), infoPath);

    char ownPath[MAX_PATH];
    DWORD cchOwn = GetModuleFileNameA(g_hInstance, ownPath, COUNTOF(ownPath));
    if (cchOwn == 0 || cchOwn >= COUNTOF(ownPath))
        ownPath[0] = '\0';
    WriteLauncherKeys(infoPath, ownPath, GetCurrentProcessId());
    // A worker that misread the options could ask nobody, or ask when it
    // must not; one that misread the event's name could release another
    // run's launcher.
    char eventName[64];
    *phEvent = CreateRunEvent(eventName, COUNTOF(eventName));
    if (!WriteLauncherOptions(infoPath, g_quiet, logPath) || !WriteCloseAppsOption(infoPath, g_quiet && closeApps) ||
        (*phEvent != NULL && !WriteSyncEventName(infoPath, eventName)))
        return IDS_ERROR_READING_INFO;

    // Only a copy that we have just written ourselves is ever started.
    char copyPath[MAX_PATH];
    if (*phEvent == NULL || !CopyText(copyPath, COUNTOF(copyPath), ws->folder) ||
        !AppendText(copyPath, COUNTOF(copyPath), TW_WORKER_COPY_NAME) || !WriteWorkerCopy(ownPath, copyPath))
        return IDS_CANNOT_RUN_WORKER;
    CopyText(ws->copyPath, COUNTOF(ws->copyPath), copyPath);
    return 0;
}

static const char kTempFolderUnnameable[] =
    "The temporary folder has no name in the system's code page, not even a short (8.3) one, "
    "so nothing was started: set TEMP and TMP to a folder whose name the code page can write.";

// The launcher's work; returns the RunResult of the whole run. logPath is
// the open log file's full path ("" without one); closeApps asks a quiet
// worker to close the programs that use the installation's files.
static int RunLauncher(const char* logPath, int closeApps)
{
    DWORD cbPayload = 0;
    HeapGuard payload(ReadOwnPayload(&cbPayload));
    if (payload.Get() == NULL)
        return EndNotStarted(IDS_CANNOT_READ_INFO);

    char tempDir[MAX_PATH];
    if (!GetTempDirectory(tempDir, COUNTOF(tempDir))) {
        if (GetLastError() == ERROR_NO_UNICODE_TRANSLATION)
            WriteLogLine(kTempFolderUnnameable);
        return EndNotStarted(IDS_ERROR_READING_INFO);
    }
    Workspace ws;
    ZeroMemory(&ws, sizeof(ws));
    HANDLE hEventRaw = NULL;
    UINT errorId = PrepareWorkspace(tempDir, (BYTE*)payload.Get(), cbPayload, logPath, closeApps, &ws, &hEventRaw);
    HandleGuard hEvent(hEventRaw);
    payload.Reset(NULL);
    if (errorId != 0) {
        RemoveWorkspace(&ws);
        return EndNotStarted(errorId);
    }

    // "<copy>" /u<info file>: the path after /u is taken unquoted up to the
    // end of the line. Room for two whole paths, so nothing is ever cut.
    char commandLine[2 * MAX_PATH + 8];
    commandLine[0] = '\0';
    AppendText(commandLine, COUNTOF(commandLine), "\"");
    AppendText(commandLine, COUNTOF(commandLine), ws.copyPath);
    AppendText(commandLine, COUNTOF(commandLine), "\" /u");
    AppendText(commandLine, COUNTOF(commandLine), ws.infoPath);

    // The worker writes the log from here on; we come back to it only for
    // what it could not say itself.
    CloseLogFile();
    WorkerOutcome outcome = RunWorker(ws.copyPath, commandLine, ws.folder, hEvent.Get());
    if (outcome == WORKER_SIGNALLED) {
        // Only a quiet worker leaves its result; the file stays until we
        // have ended. An interactive run ends with 0 whatever the result.
        int result = TW_RESULT_REMOVED;
        if (g_quiet) {
            InfoFile info;
            LoadInfoFile(ws.infoPath, &info);
            result = ReadRunResult(&info);
            FreeInfoFile(&info);
        }
        return (result >= TW_RESULT_REMOVED && result <= TW_RESULT_NO_LOG) || result == TW_RESULT_RESTART
            ? result : TW_RESULT_UNKNOWN;
    }
    // No worker runs from the folder any more.
    RemoveWorkspace(&ws);
    if (logPath[0] != '\0')
        OpenLogFile(logPath, 0);
    if (outcome == WORKER_NOT_STARTED)
        return EndNotStarted(IDS_CANNOT_RUN_WORKER);
    WriteLogSummary(NULL, TW_RESULT_UNKNOWN);
    return TW_RESULT_UNKNOWN;
}

int RefuseQuietCommandLine(const LauncherOptions* options)
{
    g_quiet = 1;
    char logPath[MAX_PATH];
    StartLogFile(options, logPath, COUNTOF(logPath));
    WriteLogLine("The command line asks for a quiet run, but not as /s /quiet (the switch /s first, "
                 "then /quiet), so nothing was started.");
    const PhaseCounts none[COUNTED_PART_COUNT] = {};
    WriteLogSummary(none, TW_RESULT_NOT_STARTED);
    CloseLogFile();
    return TW_RESULT_NOT_STARTED;
}

int LauncherStage(const LauncherOptions* options)
{
    g_quiet = options->quiet;
    char logPath[MAX_PATH];
    StartLogFile(options, logPath, COUNTOF(logPath));
    int result = RunLauncher(logPath, options->closeApps);
    CloseLogFile();
    // A log we could not write is worth a code of its own only when it is
    // the one thing that went wrong.
    if (result == TW_RESULT_REMOVED && LogFileFailed())
        result = TW_RESULT_NO_LOG;
    // Interactive runs end with 0 whatever happened, as they always have.
    return options->quiet ? result : 0;
}
