// Removes one program group: an empty folder of the user's or the all-users
// Start-menu Programs folder. Folders named like the Startup folder are
// never removed; they are reported as removed all the same.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"
#include "info/protected_groups.h"
#include "info/placeholders.h"

#include <shlobj.h>
#include <commdlg.h>

static const char kUserShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

int IsBelowFolder(const char* path, const char* folder)
{
    size_t cchFolder = lstrlenA(folder);
    if ((size_t)lstrlenA(path) <= cchFolder + 1 || cchFolder >= MAX_PATH)
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

int TakeProgramsFolder(int commonGroup, char* folder)
{
    return TakeShellFolder(commonGroup == 0 ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS, folder);
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

// The group below the Programs folder `programs`: its full path into
// folderPath (cchFolderPath bytes) and what becomes of it.
static GroupVerdict ResolveGroupBelow(const char* programsFolder, const char* groupName, char* folderPath,
                                      size_t cchFolderPath)
{
    // The group is named by its full path, so that "." and ".." steps,
    // forward slashes and trailing backslashes cannot hide a protected
    // title or reach past the group. Only a folder below the Programs folder
    // is a group: the Programs folder itself and anything outside it are
    // refused, and so is a path too long for the buffer.
    char programs[MAX_PATH];
    char groupPath[MAX_PATH];
    if (!CopyText(programs, COUNTOF(programs), programsFolder) ||
        !ComposeGroupPath(programs, groupName, groupPath, COUNTOF(groupPath)))
        return GROUP_REFUSED;
    StripTrailingBackslashes(programs);
    if (!IsBelowFolder(groupPath, programs) || !CopyText(folderPath, cchFolderPath, groupPath))
        return GROUP_REFUSED;
    // A protected group stays and counts as removed.
    return IsProtectedGroup(groupPath) ? GROUP_PROTECTED : GROUP_FOLDER;
}

GroupVerdict ResolveProgramGroup(int commonGroup, const char* groupName, char* folderPath, size_t cchFolderPath)
{
    char programs[MAX_PATH];
    if (!TakeProgramsFolder(commonGroup, programs))
        return GROUP_REFUSED;
    return ResolveGroupBelow(programs, groupName, folderPath, cchFolderPath);
}

GroupVerdict ResolveListedGroup(const PlaceholderFolders* folders, int commonGroup, const char* entry,
                                char* folderPath, size_t cchFolderPath)
{
    size_t cchPlaceholder = 0;
    int id = FindFolderPlaceholder(entry, &cchPlaceholder);
    if (id == PLACEHOLDER_NONE)
        return ResolveProgramGroup(commonGroup, entry, folderPath, cchFolderPath);
    // A group lies in one of the two Programs folders, which its placeholder
    // names instead of CommonGroup.
    if ((id != PLACEHOLDER_PROGRAMS && id != PLACEHOLDER_COMMON_PROGRAMS) || folders == NULL ||
        folders->paths[id][0] == '\0' || entry[cchPlaceholder] != '\\')
        return GROUP_REFUSED;
    return ResolveGroupBelow(folders->paths[id], entry + cchPlaceholder + 1, folderPath, cchFolderPath);
}

int RemoveResolvedGroup(GroupVerdict verdict, const char* folderPath)
{
    switch (verdict) {
    case GROUP_FOLDER:
        return RemoveDirectoryA(folderPath) != 0;
    case GROUP_PROTECTED:
        return 1;
    default:
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
}

int RemoveProgramGroup(int commonGroup, const char* groupName)
{
    char groupPath[MAX_PATH];
    return RemoveResolvedGroup(ResolveProgramGroup(commonGroup, groupName, groupPath, COUNTOF(groupPath)),
                               groupPath);
}
