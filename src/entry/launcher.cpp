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
    DWORD cbRead = 0;
    while (cbRead < cbPayload) {
        DWORD cbChunk = 0;
        if (!ReadFile(hFile.Get(), (BYTE*)payload.Get() + cbRead, cbPayload - cbRead, &cbChunk, NULL) ||
            cbChunk == 0)
            return NULL;
        cbRead += cbChunk;
    }
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

// Dates the finished information file a few seconds back. Wine's profile
// functions parse a file written in the last two seconds again on every
// call, which made the worker's first seconds of list reads cost a full
// parse per entry. Nothing reads the file's time otherwise.
static void SettleInfoFile(const char* infoPath)
{
    HandleGuard hFile(CreateFileA(infoPath, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile.Get() == INVALID_HANDLE_VALUE)
        return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= 10ULL * 10000000ULL;     // ten seconds, in 100 ns units
    FILETIME past;
    past.dwLowDateTime = t.LowPart;
    past.dwHighDateTime = t.HighPart;
    SetFileTime(hFile.Get(), NULL, NULL, &past);
}

// Starts the worker copy and waits until it signals the event, or until
// its process ends without doing so (a worker that dies must not leave us
// waiting forever). Non-zero when the worker was started.
static int RunWorker(const char* copyPath, char* commandLine, const char* tempDir, HANDLE hEvent)
{
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(copyPath, commandLine, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL,
                        tempDir, &si, &pi))
        return 0;
    CloseHandle(pi.hThread);
    HandleGuard hWorker(pi.hProcess);
    if (hEvent != NULL) {
        HANDLE waitFor[2] = { hEvent, hWorker.Get() };
        WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
    }
    // Without an event there is nothing to wait for: the worker in turn
    // waits for our end before it deletes our executable.
    return 1;
}

void LauncherStage()
{
    DWORD cbPayload = 0;
    HeapGuard payload(ReadOwnPayload(&cbPayload));
    if (payload.Get() == NULL) {
        ShowErrorMessage(IDS_CANNOT_READ_INFO);
        return;
    }

    char tempDir[MAX_PATH];
    char infoPath[MAX_PATH];
    char tick[16];
    wsprintfA(tick, "%d", (int)GetTickCount());
    if (!GetTempDirectory(tempDir, COUNTOF(tempDir)) ||
        !CopyText(infoPath, COUNTOF(infoPath), tempDir) ||
        !AppendText(infoPath, COUNTOF(infoPath), "$$$twuninst") ||
        !AppendText(infoPath, COUNTOF(infoPath), tick) ||
        !AppendText(infoPath, COUNTOF(infoPath), ".ini")) {
        ShowErrorMessage(IDS_ERROR_READING_INFO);
        return;
    }

    ComplementBytes((unsigned char*)payload.Get(), cbPayload);
    if (!WriteInfoFile(infoPath, (const BYTE*)payload.Get(), cbPayload)) {
        ShowErrorMessage(IDS_ERROR_READING_INFO);
        return;
    }
    payload.Reset(NULL);

    char ownPath[MAX_PATH];
    DWORD cchOwn = GetModuleFileNameA(g_hInstance, ownPath, COUNTOF(ownPath));
    if (cchOwn == 0 || cchOwn >= COUNTOF(ownPath))
        ownPath[0] = '\0';
    WriteLauncherKeys(infoPath, ownPath, GetCurrentProcessId());
    SettleInfoFile(infoPath);

    char copyPath[MAX_PATH];
    if (!GetTempDirectory(tempDir, COUNTOF(tempDir)) ||
        !ComposeWorkerCopyPath(copyPath, COUNTOF(copyPath))) {
        ShowErrorMessage(IDS_CANNOT_RUN_WORKER);
        return;
    }
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
    if (!RunWorker(copyPath, commandLine, tempDir, hEvent.Get()))
        ShowErrorMessage(IDS_CANNOT_RUN_WORKER);
}
