// The launcher stage: turns the information block at the end of our own
// executable into an uninstall information file in the temporary directory,
// starts a temporary copy of ourselves as the worker and waits for it. It
// never removes anything itself.

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

// Writes the decoded payload as the uninstall information file. Non-zero
// when all of it was written; a partial file is removed again.
static int WriteInfoFile(const char* infoPath, const BYTE* text, DWORD cbText)
{
    HandleGuard hFile(CreateFileA(infoPath, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile.Get() == INVALID_HANDLE_VALUE)
        return 0;
    DWORD cbWritten = 0;
    int ok = WriteFile(hFile.Get(), text, cbText, &cbWritten, NULL) && cbWritten == cbText;
    hFile.Close();
    if (!ok)
        DeleteFileA(infoPath);
    return ok;
}

// How far the worker got, as the launcher can tell.
enum WorkerOutcome {
    WORKER_NOT_STARTED,   // the process could not be created
    WORKER_SIGNALLED,     // it set the event: its result is in the file
    WORKER_VANISHED,      // it ended without setting the event
    WORKER_UNFOLLOWED     // there was no event to wait for: it runs on
};

// Starts the worker copy and waits until it signals the event, or until
// its process ends without doing so (a worker that dies must not leave us
// waiting forever).
static WorkerOutcome RunWorker(const char* copyPath, char* commandLine, const char* tempDir,
                               HANDLE hEvent)
{
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(copyPath, commandLine, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL,
                        tempDir, &si, &pi))
        return WORKER_NOT_STARTED;
    CloseHandle(pi.hThread);
    HandleGuard hWorker(pi.hProcess);
    // Without an event there is nothing to wait for: the worker in turn
    // waits for our end before it deletes our executable.
    if (hEvent == NULL)
        return WORKER_UNFOLLOWED;
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
    char infoPath[MAX_PATH];
    char tick[16];
    wsprintfA(tick, "%d", (int)GetTickCount());
    if (!CopyText(infoPath, COUNTOF(infoPath), tempDir) ||
        !AppendText(infoPath, COUNTOF(infoPath), "$$$twuninst") ||
        !AppendText(infoPath, COUNTOF(infoPath), tick) ||
        !AppendText(infoPath, COUNTOF(infoPath), ".ini"))
        return EndNotStarted(IDS_ERROR_READING_INFO);

    ComplementBytes((unsigned char*)payload.Get(), cbPayload);
    if (!WriteInfoFile(infoPath, (const BYTE*)payload.Get(), cbPayload))
        return EndNotStarted(IDS_ERROR_READING_INFO);
    payload.Reset(NULL);

    char ownPath[MAX_PATH];
    DWORD cchOwn = GetModuleFileNameA(g_hInstance, ownPath, COUNTOF(ownPath));
    if (cchOwn == 0 || cchOwn >= COUNTOF(ownPath))
        ownPath[0] = '\0';
    WriteLauncherKeys(infoPath, ownPath, GetCurrentProcessId());
    if (!WriteLauncherOptions(infoPath, g_quiet, logPath) ||
        !WriteCloseAppsOption(infoPath, g_quiet && closeApps)) {
        // A worker that misread the options could ask nobody, or ask when
        // it must not.
        DeleteFileA(infoPath);
        return EndNotStarted(IDS_ERROR_READING_INFO);
    }

    char copyPath[MAX_PATH];
    if (!GetTempDirectory(tempDir, COUNTOF(tempDir)) ||
        !ComposeWorkerCopyPath(copyPath, COUNTOF(copyPath)))
        return EndNotStarted(IDS_CANNOT_RUN_WORKER);
    // An earlier copy that cannot be replaced (an uninstallation still
    // running from it) is started as it is.
    CopyFileA(ownPath, copyPath, FALSE);

    // "<copy>" /u<info file>: the path after /u is taken unquoted up to the
    // end of the line. Room for two whole paths, so nothing is ever cut.
    char commandLine[2 * MAX_PATH + 8];
    commandLine[0] = '\0';
    AppendText(commandLine, COUNTOF(commandLine), "\"");
    AppendText(commandLine, COUNTOF(commandLine), copyPath);
    AppendText(commandLine, COUNTOF(commandLine), "\" /u");
    AppendText(commandLine, COUNTOF(commandLine), infoPath);

    HandleGuard hEvent(CreateEventA(NULL, FALSE, FALSE, TW_SYNC_EVENT));
    // The worker writes the log from here on; we come back to it only for
    // what it could not say itself.
    CloseLogFile();
    WorkerOutcome outcome = RunWorker(copyPath, commandLine, tempDir, hEvent.Get());
    if (outcome == WORKER_SIGNALLED) {
        // Only a quiet worker leaves its result; the file stays until we
        // have ended. An interactive run ends with 0 whatever the result.
        int result = TW_RESULT_REMOVED;
        if (g_quiet) {
            InfoFile info;
            LoadInfoFile(infoPath, &info);
            result = ReadRunResult(&info);
            FreeInfoFile(&info);
        }
        return (result >= TW_RESULT_REMOVED && result <= TW_RESULT_NO_LOG) || result == TW_RESULT_RESTART
            ? result : TW_RESULT_UNKNOWN;
    }
    // A worker that runs on without us writes its log to the end.
    if (outcome == WORKER_UNFOLLOWED)
        return TW_RESULT_UNKNOWN;
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
