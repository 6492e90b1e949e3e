// Arranges for a file (the worker's own temporary copy) to be deleted at the
// next start of the system: through the pending file operations on the NT
// family, through the [Rename] section of WININIT.INI on the 9x family.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

// The most the profile functions of the 9x family handle of one section:
// 32,767 characters, whatever buffer they are given.
static const DWORD k9xSectionLimit = 0x7FFF;
// The first buffer is larger than that, so that an answer beyond the limit
// can show a system without one.
static const DWORD kSectionBufferSize = 0x10000;
// Beyond this a [Rename] section is not a list of pending deletions any
// more; give up rather than keep growing.
static const DWORD kLargestSectionBuffer = 0x4000000;

int IsNtPlatform()
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    // A failed query counts as the 9x family.
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

int ScheduleDeleteAtRestart(const char* path)
{
    if (IsNtPlatform())
        return MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    return AddWininitDeletion(path);
}

int AddWininitDeletion(const char* path)
{
    // WININIT.INI is processed before long names are available, so the
    // entry names the file by its short path.
    char shortPath[360];
    DWORD cchShort = GetShortPathNameA(path, shortPath, COUNTOF(shortPath));
    if (cchShort == 0 || cchShort >= COUNTOF(shortPath))
        return 0;
    char entry[360];
    if (!CopyText(entry, COUNTOF(entry), "NUL=") || !AppendText(entry, COUNTOF(entry), shortPath))
        return 0;
    DWORD cchEntry = lstrlenA(entry);

    char wininitPath[MAX_PATH];
    UINT cchWindows = GetWindowsDirectoryA(wininitPath, COUNTOF(wininitPath));
    if (cchWindows == 0 || cchWindows >= COUNTOF(wininitPath)
        || !AppendBackslash(wininitPath, COUNTOF(wininitPath))
        || !AppendText(wininitPath, COUNTOF(wininitPath), "WININIT.INI"))
        return 0;

    // The section is rewritten whole, so it must be read whole: a list cut
    // at the buffer's end would drop other programs' pending entries. When
    // the answer fills the buffer (size less two), it may be cut: read it
    // again into a larger one.
    HeapGuard block;
    char* section = NULL;
    DWORD cchSection = 0;
    for (DWORD cbBlock = kSectionBufferSize;; cbBlock *= 2) {
        if (cbBlock > kLargestSectionBuffer)
            return 0;
        block.Reset(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbBlock));
        section = (char*)block.Get();
        if (section == NULL)
            return 0;
        cchSection = GetPrivateProfileSectionA("Rename", section, cbBlock, wininitPath);
        if (cchSection + 2 < cbBlock && cchSection + cchEntry + 2 <= cbBlock)
            break;
    }

    // The 9x family cuts every answer at its limit, whatever the buffer, and
    // may cut a longer section when writing it. So when the answer stays
    // within the limit but the new list would not fit in it, the list may
    // have been cut already or would be: give up and write nothing. Only an
    // answer beyond the limit shows a system without one (an emulator).
    if (!IsNtPlatform() && cchSection <= k9xSectionLimit && cchSection + cchEntry + 2 > k9xSectionLimit)
        return 0;

    // The new entry takes the place of the list's final null; one more null
    // ends the list again. Entries already there stay in their order.
    CopyMemory(section + cchSection, entry, cchEntry + 1);
    section[cchSection + cchEntry + 1] = '\0';
    int written = WritePrivateProfileSectionA("Rename", section, wininitPath) != 0;
    // WININIT.EXE reads the file itself at the next start, while the 9x
    // family may still hold the section in its profile cache: flush it.
    WritePrivateProfileStringA(NULL, NULL, NULL, wininitPath);
    return written;
}
