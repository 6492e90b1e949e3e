// Removes one program group: an empty folder of the user's or the all-users
// Start-menu Programs folder. Folders named like the Startup folder are
// never removed; they are reported as removed all the same.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"
#include "info/protected_groups.h"

#include <shlobj.h>
#include <commdlg.h>

static const char kUserShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Removes trailing single-byte backslashes (a trail byte 0x5C stays).
static void StripTrailingBackslashes(char* path)
{
    for (;;) {
        const char* last = FindLastCharacter(path);
        if (last == NULL || *last != '\\' || last[1] != '\0')
            return;
        path[last - path] = '\0';
    }
}

// True when path names something strictly inside folder (both without a
// trailing backslash).
static int IsBelowFolder(const char* path, const char* folder)
{
    size_t cchFolder = lstrlenA(folder);
    if ((size_t)lstrlenA(path) <= cchFolder + 1)
        return 0;
    char head[MAX_PATH];
    CopyMemory(head, path, cchFolder);
    head[cchFolder] = '\0';
    // Once the heads match, the next byte starts a character of its own.
    return lstrcmpiA(head, folder) == 0 && path[cchFolder] == '\\';
}

// Writes the title of path (its last component as the platform shows it)
// into title (cchTitle bytes). Trailing backslashes are ignored, so a path
// that ends in one is still known by its last folder name. Where the
// platform gives no title, the last component is taken as it stands.
static void TakeTitle(const char* path, char* title, size_t cchTitle)
{
    title[0] = '\0';
    char bare[MAX_PATH];
    if (!CopyText(bare, COUNTOF(bare), path))
        return;
    StripTrailingBackslashes(bare);
    if (bare[0] == '\0')
        return;

    if (GetFileTitleA(bare, title, (WORD)cchTitle) == 0 && title[0] != '\0')
        return;

    const char* component = bare;
    for (const char* p = bare; *p != '\0';) {
        if (IsDBCSLeadByte((BYTE)*p) && p[1] != '\0') {
            p += 2;
            continue;
        }
        if (*p == '\\' || *p == '/' || *p == ':')
            component = p + 1;
        ++p;
    }
    if (!CopyText(title, cchTitle, component))
        title[0] = '\0';
}

// The title of the user's Startup folder as stored in User Shell Folders:
// any value type, read as stored and never expanded. Empty when the key or
// the value cannot be read.
static void TakeStartupTitle(char* title, size_t cchTitle)
{
    title[0] = '\0';
    KeyGuard key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserShellFoldersKey, 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
        return;
    char value[MAX_PATH + 1];
    DWORD cbValue = MAX_PATH;
    if (RegQueryValueExA(key.Get(), "Startup", NULL, NULL, (BYTE*)value, &cbValue) != ERROR_SUCCESS)
        return;
    // Registry strings may arrive without their terminator.
    value[cbValue < MAX_PATH ? cbValue : MAX_PATH] = '\0';
    TakeTitle(value, title, cchTitle);
}

typedef BOOL (WINAPI* GetPathFromIDListWFunction)(LPCITEMIDLIST idList, LPWSTR path);

int TakeProgramsFolder(int commonGroup, char* folder)
{
    int csidl = commonGroup == 0 ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS;
    TaskMemGuard<ITEMIDLIST> idList;
    if (FAILED(SHGetSpecialFolderLocation(NULL, csidl, idList.Out())))
        return 0;
    // The folder holds the user's name, which the ANSI code page may lack a
    // character of: where the shell names it in Unicode (NT family; looked
    // up, as the 9x family may lack it or fail), that name decides.
    HMODULE hShell = GetModuleHandleA("shell32.dll");
    GetPathFromIDListWFunction getPathW =
        hShell != NULL ? (GetPathFromIDListWFunction)GetProcAddress(hShell, "SHGetPathFromIDListW") : NULL;
    WCHAR wide[MAX_PATH];
    if (getPathW != NULL && getPathW(idList.Get(), wide))
        return ConvertToAnsiPath(wide, folder, MAX_PATH);
    return SHGetPathFromIDListA(idList.Get(), folder) != 0;
}

// The group's full path, into groupPath (cchGroupPath bytes): the Programs
// folder, a backslash and the group name, with "." and ".." steps and
// forward slashes resolved and without trailing backslashes. 0 when it does
// not fit.
static int ComposeGroupPath(const char* programs, const char* groupName, char* groupPath,
                            size_t cchGroupPath)
{
    char joined[MAX_PATH];
    if (!CopyText(joined, COUNTOF(joined), programs) || !AppendBackslash(joined, COUNTOF(joined)) ||
        !AppendText(joined, COUNTOF(joined), groupName))
        return 0;
    DWORD cchFull = GetFullPathNameA(joined, (DWORD)cchGroupPath, groupPath, NULL);
    if (cchFull == 0 || cchFull >= cchGroupPath)
        return 0;
    StripTrailingBackslashes(groupPath);
    return 1;
}

// True when the group's title is the user's own Startup title or one of
// the fixed protected names.
static int IsProtectedGroup(const char* groupPath)
{
    char startupTitle[MAX_PATH];
    TakeStartupTitle(startupTitle, COUNTOF(startupTitle));
    char title[MAX_PATH];
    TakeTitle(groupPath, title, COUNTOF(title));

    if (startupTitle[0] != '\0' && lstrcmpA(title, startupTitle) == 0)
        return 1;
    for (size_t i = 0; i < kFixedProtectedGroupTitleCount; ++i) {
        if (lstrcmpA(title, kFixedProtectedGroupTitles[i]) == 0)
            return 1;
    }
    return 0;
}

GroupVerdict ResolveProgramGroup(int commonGroup, const char* groupName, char* folderPath, size_t cchFolderPath)
{
    // The group is named by its full path, so that "." and ".." steps,
    // forward slashes and trailing backslashes cannot hide a protected
    // title or reach past the group. Only a folder below the Programs folder
    // is a group: the Programs folder itself and anything outside it are
    // refused, and so is a path too long for the buffer.
    char programs[MAX_PATH];
    char groupPath[MAX_PATH];
    if (!TakeProgramsFolder(commonGroup, programs) ||
        !ComposeGroupPath(programs, groupName, groupPath, COUNTOF(groupPath)))
        return GROUP_REFUSED;
    StripTrailingBackslashes(programs);
    if (!IsBelowFolder(groupPath, programs) || !CopyText(folderPath, cchFolderPath, groupPath))
        return GROUP_REFUSED;
    // A protected group stays and counts as removed.
    return IsProtectedGroup(groupPath) ? GROUP_PROTECTED : GROUP_FOLDER;
}

int RemoveProgramGroup(int commonGroup, const char* groupName)
{
    char groupPath[MAX_PATH];
    switch (ResolveProgramGroup(commonGroup, groupName, groupPath, COUNTOF(groupPath))) {
    case GROUP_FOLDER:
        return RemoveDirectoryA(groupPath) != 0;
    case GROUP_PROTECTED:
        return 1;
    default:
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
}
