// Telling the running programs that the environment keys changed, so that
// the programs Explorer starts from now on get the new PATH without a new
// logon.

#include "worker/worker.h"

// How long each top-level window may take to answer. A broadcast waits for
// every window in turn, so this is kept short; a hung window is skipped at
// once.
static const UINT kAnnounceTimeoutMs = 2000;

int IsEnvironmentKeyPath(const char* keyPath)
{
    // The last part, found walking forward: the trail byte 0x5C of a
    // double-byte character is no separator.
    const char* lastPart = keyPath;
    for (const char* p = keyPath; *p != '\0'; p = CharNextA(p))
        if (*p == '\\')
            lastPart = p + 1;
    return lstrcmpiA(lastPart, "Environment") == 0;
}

void AnnounceEnvironmentChange()
{
    // The system carries the text to the other processes for this message
    // (on the 9x family it is WM_WININICHANGE, the same number).
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM) "Environment", SMTO_ABORTIFHUNG,
                        kAnnounceTimeoutMs, &answer);
}
