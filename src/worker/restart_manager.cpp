// Asks the Restart Manager (rstrtmgr.dll, Windows Vista and later, loaded
// at run time) which programs use the listed files. It also knows the
// programs and services that this process may not look into. It only
// answers here: closing is asked of the programs' windows.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

const RestartManagerCalls* g_restartManagerCalls = NULL;

// Files registered with one call.
static const UINT kBatch = 32;
// The most programs asked about; more than a wait can follow anyway.
static const UINT kMostAnswers = 256;

// Loads the calls from the system's rstrtmgr.dll into calls; *pLibrary
// keeps the DLL loaded. Non-zero on success.
static int LoadRestartManager(RestartManagerCalls* calls, HMODULE* pLibrary)
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 6)
        return 0;
    *pLibrary = LoadSystemLibrary("rstrtmgr.dll");
    if (*pLibrary == NULL)
        return 0;
    calls->startSession = (DWORD (WINAPI*)(DWORD*, DWORD, WCHAR*))GetProcAddress(*pLibrary, "RmStartSession");
    calls->registerResources = (DWORD (WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*))
        GetProcAddress(*pLibrary, "RmRegisterResources");
    calls->getList = (DWORD (WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD))
        GetProcAddress(*pLibrary, "RmGetList");
    calls->endSession = (DWORD (WINAPI*)(DWORD))GetProcAddress(*pLibrary, "RmEndSession");
    return calls->startSession && calls->registerResources && calls->getList && calls->endSession;
}

// Registers the listed files that exist (the Restart Manager knows files,
// not directories), kBatch at a time.
static void RegisterListedFiles(const RestartManagerCalls* calls, DWORD session, const ListedPaths* listed)
{
    HeapGuard block(HeapAlloc(GetProcessHeap(), 0, kBatch * MAX_PATH * sizeof(WCHAR)));
    WCHAR (*names)[MAX_PATH] = (WCHAR (*)[MAX_PATH])block.Get();
    if (names == NULL)
        return;
    LPCWSTR batch[kBatch];
    UINT count = 0;
    for (size_t offset = 0; offset < listed->cbUsed; offset += lstrlenA(listed->text + offset) + 1) {
        const char* path = listed->text + offset;
        if (EndsWithBackslash(path) || !IsExistingFile(path) ||
            MultiByteToWideChar(CP_ACP, 0, path, -1, names[count], MAX_PATH) == 0)
            continue;
        batch[count] = names[count];
        if (++count == kBatch) {
            calls->registerResources(session, count, batch, 0, NULL, 0, NULL);
            count = 0;
        }
    }
    if (count > 0)
        calls->registerResources(session, count, batch, 0, NULL, 0, NULL);
}

// Adds the programs of the session's answer.
static int AddAnswers(const RestartManagerCalls* calls, DWORD session, RunningPrograms* found)
{
    UINT needed = 0;
    UINT count = 0;
    DWORD reasons = 0;
    // Asked with no room first: the answer says how much it needs.
    DWORD error = calls->getList(session, &needed, &count, NULL, &reasons);
    if (error == ERROR_SUCCESS)
        return 1;
    if (error != ERROR_MORE_DATA || needed == 0)
        return 0;
    // The list may grow between the two calls.
    count = needed + 8 < kMostAnswers ? needed + 8 : kMostAnswers;
    HeapGuard block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(RM_PROCESS_INFO)));
    RM_PROCESS_INFO* infos = (RM_PROCESS_INFO*)block.Get();
    if (infos == NULL || calls->getList(session, &needed, &count, infos, &reasons) != ERROR_SUCCESS)
        return 0;
    for (UINT i = 0; i < count; ++i) {
        char name[2 * CCH_RM_MAX_APP_NAME + 2];
        infos[i].strAppName[CCH_RM_MAX_APP_NAME] = L'\0';
        if (WideCharToMultiByte(CP_ACP, 0, infos[i].strAppName, -1, name, COUNTOF(name), NULL, NULL) == 0)
            name[0] = '\0';
        AddRunningProgram(found, infos[i].Process.dwProcessId, name, 1);
    }
    return 1;
}

int AskRestartManager(const ListedPaths* listed, RunningPrograms* found)
{
    RestartManagerCalls loaded;
    HMODULE hLibrary = NULL;
    const RestartManagerCalls* calls = g_restartManagerCalls;
    if (calls == NULL) {
        if (!LoadRestartManager(&loaded, &hLibrary)) {
            if (hLibrary != NULL)
                FreeLibrary(hLibrary);
            return 0;
        }
        calls = &loaded;
    }
    LibraryGuard library(hLibrary);
    DWORD session = 0;
    WCHAR sessionKey[CCH_RM_SESSION_KEY + 1];
    if (calls->startSession(&session, 0, sessionKey) != ERROR_SUCCESS)
        return 0;
    // A batch that is refused (a name the Restart Manager does not take)
    // leaves the others registered: ask about those all the same.
    RegisterListedFiles(calls, session, listed);
    int ok = AddAnswers(calls, session, found);
    calls->endSession(session);
    return ok;
}
