// The paths of the Files list as a table in which a running program's
// executable or module is looked up: is it listed, or below a listed
// directory? Programs load hundreds of modules and an installation may list
// thousands of files, so the look-up is by hash, not by comparing each.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

// A hash of len bytes that folds the ASCII letters, as the comparison
// afterwards ignores case. Other bytes (trail bytes too) are taken as they
// are: both sides go through the same folding.
static DWORD HashPath(const char* path, size_t len)
{
    DWORD hash = 2166136261u;
    for (size_t i = 0; i < len; ++i) {
        BYTE c = (BYTE)path[i];
        if (c >= 'a' && c <= 'z')
            c = (BYTE)(c - 'a' + 'A');
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

// Writes path into longPath (cchLongPath bytes) with every component in its
// long form, as a directory listing names it: a program started by its short
// name (PROGRA~1) runs under that name. A path that cannot be looked up is
// copied as it is. Only paths with a drive letter are expanded.
static void ExpandShortNames(const char* path, char* longPath, size_t cchLongPath)
{
    CopyText(longPath, cchLongPath, path);
    // A '~' may also be a trail byte; a needless look-up gives the same
    // path. A wildcard would make the look-up find some other name.
    int hasTilde = 0;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '*' || *p == '?')
            return;
        hasTilde = hasTilde || *p == '~';
    }
    if (!hasTilde || path[0] == '\0' || path[1] != ':' || path[2] != '\\')
        return;
    char expanded[MAX_PATH];
    expanded[0] = path[0];
    expanded[1] = ':';
    expanded[2] = '\\';
    expanded[3] = '\0';
    const char* component = path + 3;
    while (*component != '\0') {
        const char* end = component;
        while (*end != '\0' && *end != '\\')
            end += IsDBCSLeadByte((BYTE)*end) && end[1] != '\0' ? 2 : 1;
        size_t cchBase = lstrlenA(expanded);
        size_t cchComponent = end - component;
        if (cchBase + cchComponent >= COUNTOF(expanded))
            return;
        CopyMemory(expanded + cchBase, component, cchComponent);
        expanded[cchBase + cchComponent] = '\0';
        WIN32_FIND_DATAA entry;
        HANDLE hFind = FindFirstFileA(expanded, &entry);
        if (hFind == INVALID_HANDLE_VALUE)
            return;
        FindClose(hFind);
        expanded[cchBase] = '\0';
        if (!AppendText(expanded, COUNTOF(expanded), entry.cFileName))
            return;
        if (*end == '\\' && !AppendText(expanded, COUNTOF(expanded), "\\"))
            return;
        component = *end == '\\' ? end + 1 : end;
    }
    CopyText(longPath, cchLongPath, expanded);
}

// Non-zero when the table holds the first len bytes of path.
static int HoldsPath(const ListedPaths* listed, const char* path, size_t len)
{
    if (listed->count == 0 || len >= MAX_PATH)
        return 0;
    char wanted[MAX_PATH];
    CopyMemory(wanted, path, len);
    wanted[len] = '\0';
    size_t mask = listed->slotCount - 1;
    for (size_t i = HashPath(path, len) & mask; listed->slots[i] != 0; i = (i + 1) & mask)
        if (lstrcmpiA(listed->text + listed->slots[i] - 1, wanted) == 0)
            return 1;
    return 0;
}

struct Collecting {
    ListedPaths* listed;
    const PlaceholderFolders* folders;
    char windowsDir[MAX_PATH];
    int failed;
};

// Appends one path to the text block (grown as needed).
static int AppendListedPath(ListedPaths* listed, const char* path)
{
    size_t cb = lstrlenA(path) + 1;
    if (listed->cbUsed + cb > listed->cbText) {
        size_t cbText = listed->cbText == 0 ? 16384 : listed->cbText * 2;
        void* grown = listed->text == NULL ? HeapAlloc(GetProcessHeap(), 0, cbText)
                                           : HeapReAlloc(GetProcessHeap(), 0, listed->text, cbText);
        if (grown == NULL)
            return 0;
        listed->text = (char*)grown;
        listed->cbText = cbText;
    }
    CopyMemory(listed->text + listed->cbUsed, path, cb);
    listed->cbUsed += cb;
    ++listed->count;
    return 1;
}

// True for a directory that every system process lies below: a drive's
// root, or one that holds the Windows directory.
static int IsTooWide(const char* directory, const char* windowsDir)
{
    size_t cch = lstrlenA(directory);
    if (cch <= 3)
        return 1;
    if (windowsDir[0] == '\0' || (size_t)lstrlenA(windowsDir) < cch)
        return 0;
    char start[MAX_PATH];
    CopyMemory(start, windowsDir, cch);
    start[cch] = '\0';
    return lstrcmpiA(start, directory) == 0;
}

static int CollectFileEntry(const char* listedValue, InfoRead result, void* context)
{
    Collecting* collecting = (Collecting*)context;
    // A value cut short, or one whose folder this machine cannot name, is
    // never taken for a path.
    char value[MAX_PATH];
    PathExpansion expansion =
        result == INFO_OK ? ExpandListedPath(collecting->folders, listedValue, value, COUNTOF(value)) : PATH_TOO_LONG;
    if (expansion == PATH_UNRESOLVED || expansion == PATH_TOO_LONG)
        return 1;
    if (EndsWithBackslash(value) && IsTooWide(value, collecting->windowsDir))
        return 1;
    char longPath[MAX_PATH];
    ExpandShortNames(value, longPath, COUNTOF(longPath));
    if (!AppendListedPath(collecting->listed, value) ||
        (lstrcmpiA(longPath, value) != 0 && !AppendListedPath(collecting->listed, longPath))) {
        collecting->failed = 1;
        return 0;
    }
    return 1;
}

int CollectListedPaths(const InfoFile* info, const PlaceholderFolders* folders, ListedPaths* listed)
{
    ZeroMemory(listed, sizeof(*listed));
    Collecting collecting;
    collecting.listed = listed;
    collecting.folders = folders;
    collecting.failed = 0;
    UINT cchWindows = GetWindowsDirectoryA(collecting.windowsDir, COUNTOF(collecting.windowsDir));
    if (cchWindows == 0 || cchWindows >= COUNTOF(collecting.windowsDir) ||
        !AppendBackslash(collecting.windowsDir, COUNTOF(collecting.windowsDir)))
        collecting.windowsDir[0] = '\0';
    ForEachListEntry(info, TW_SECTION_FILES, CollectFileEntry, &collecting);

    size_t slotCount = 16;
    while (slotCount < listed->count * 2)
        slotCount *= 2;
    listed->slots = collecting.failed ? NULL
        : (DWORD*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, slotCount * sizeof(DWORD));
    if (listed->slots == NULL) {
        FreeListedPaths(listed);
        return 0;
    }
    listed->slotCount = slotCount;
    size_t mask = slotCount - 1;
    for (size_t offset = 0; offset < listed->cbUsed; offset += lstrlenA(listed->text + offset) + 1) {
        size_t i = HashPath(listed->text + offset, lstrlenA(listed->text + offset)) & mask;
        while (listed->slots[i] != 0)
            i = (i + 1) & mask;
        listed->slots[i] = (DWORD)offset + 1;
    }
    return 1;
}

void FreeListedPaths(ListedPaths* listed)
{
    if (listed->text != NULL)
        HeapFree(GetProcessHeap(), 0, listed->text);
    if (listed->slots != NULL)
        HeapFree(GetProcessHeap(), 0, listed->slots);
    ZeroMemory(listed, sizeof(*listed));
}

int IsListedOrBelow(const ListedPaths* listed, const char* path)
{
    if (listed->count == 0)
        return 0;
    char longPath[MAX_PATH];
    ExpandShortNames(path, longPath, COUNTOF(longPath));
    size_t cch = lstrlenA(longPath);
    if (HoldsPath(listed, longPath, cch))
        return 1;
    // Every folder above it, with its final backslash, as the list names
    // directories; a trail byte 0x5C is no separator.
    for (const char* p = longPath; *p != '\0'; p += IsDBCSLeadByte((BYTE)*p) && p[1] != '\0' ? 2 : 1)
        if (*p == '\\' && HoldsPath(listed, longPath, p - longPath + 1))
            return 1;
    return 0;
}
