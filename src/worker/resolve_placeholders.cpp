// Resolves the folder placeholders of a run ("<app>", "<programs>", ...)
// into the folders they stand for on this machine, once at the start of the
// run, and expands listed paths with them. A placeholder that the system
// cannot name stays unresolved, and every entry that begins with it fails:
// it is never replaced by a folder of our own making.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

#include <shlobj.h>

// The shell's identifier of each placeholder's folder (<app> has none).
static const int kPlaceholderCsidls[PLACEHOLDER_COUNT] = {
    -1,
    CSIDL_PROGRAMS,
    CSIDL_COMMON_PROGRAMS,
    CSIDL_DESKTOPDIRECTORY,
    CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_APPDATA,
    CSIDL_LOCAL_APPDATA,
    CSIDL_WINDOWS,
    CSIDL_SYSTEM,
};

static const DWORD kFolderTypeCurrent = 0;   // SHGFP_TYPE_CURRENT
typedef HRESULT (WINAPI* GetFolderPathFunction)(HWND owner, int csidl, HANDLE token, DWORD flags, LPSTR path);

// SHGetFolderPathA where the system has it: in the shell from Windows 2000
// and Me on, and in SHFolder.dll, the redistributable that brings the newer
// folders to older systems where a program or a later Internet Explorer
// installed it. Non-zero when it named the folder.
static int TakeFolderThroughShFolder(int csidl, char* folder)
{
    HMODULE hShell = GetModuleHandleA("shell32.dll");
    GetFolderPathFunction getFolderPath =
        hShell != NULL ? (GetFolderPathFunction)GetProcAddress(hShell, "SHGetFolderPathA") : NULL;
    if (getFolderPath != NULL)
        return getFolderPath(NULL, csidl, NULL, kFolderTypeCurrent, folder) == S_OK;

    LibraryGuard hShFolder(LoadSystemLibrary("shfolder.dll"));
    getFolderPath = hShFolder.Get() != NULL
        ? (GetFolderPathFunction)GetProcAddress(hShFolder.Get(), "SHGetFolderPathA") : NULL;
    return getFolderPath != NULL && getFolderPath(NULL, csidl, NULL, kFolderTypeCurrent, folder) == S_OK;
}

typedef BOOL (WINAPI* GetPathFromIDListWFunction)(LPCITEMIDLIST idList, LPWSTR path);

int TakeShellFolder(int csidl, char* folder)
{
    // Every shell names the folders it knows this way; a folder that an old
    // shell does not know (the version 5.0 ones, the all-users ones on the
    // 9x family) is asked of SHGetFolderPathA instead.
    TaskMemGuard<ITEMIDLIST> idList;
    if (FAILED(SHGetSpecialFolderLocation(NULL, csidl, idList.Out())))
        return TakeFolderThroughShFolder(csidl, folder);
    // The folder may hold the user's name, which the ANSI code page may lack
    // a character of: where the shell names it in Unicode (NT family; looked
    // up, as the 9x family may lack it or fail), that name decides.
    HMODULE hShell = GetModuleHandleA("shell32.dll");
    GetPathFromIDListWFunction getPathW =
        hShell != NULL ? (GetPathFromIDListWFunction)GetProcAddress(hShell, "SHGetPathFromIDListW") : NULL;
    WCHAR wide[MAX_PATH];
    if (getPathW != NULL && getPathW(idList.Get(), wide))
        return ConvertToAnsiPath(wide, folder, MAX_PATH);
    return SHGetPathFromIDListA(idList.Get(), folder) != 0 || TakeFolderThroughShFolder(csidl, folder);
}

// The folder that a placeholder other than <app> stands for, into folder
// (MAX_PATH bytes). The Windows and system folders, which every system has,
// come from the kernel where the shell cannot name them.
static int TakePlaceholderFolder(int id, char* folder)
{
    if (TakeShellFolder(kPlaceholderCsidls[id], folder))
        return 1;
    UINT cch = 0;
    if (id == PLACEHOLDER_WINDOWS)
        cch = GetWindowsDirectoryA(folder, MAX_PATH);
    else if (id == PLACEHOLDER_SYSTEM)
        cch = GetSystemDirectoryA(folder, MAX_PATH);
    return cch > 0 && cch < MAX_PATH;
}

// True when the command line starts the program at path: its quoted first
// part, or, unquoted, its text up to a blank or the end (tried at each
// blank, as CreateProcessA tries a path with blanks in it).
static int CommandStartsProgram(const char* command, const char* path)
{
    while (*command == ' ' || *command == '\t')
        ++command;
    char program[MAX_PATH];
    const char* start = command;
    int quoted = *command == '"';
    if (quoted)
        start = ++command;
    for (const char* p = start;;) {
        int ends = quoted ? (*p == '"' || *p == '\0') : (*p == ' ' || *p == '\t' || *p == '\0');
        size_t cch = (size_t)(p - start);
        if (ends && cch > 0 && cch < COUNTOF(program)) {
            CopyMemory(program, start, cch);
            program[cch] = '\0';
            if (NameSameObject(program, path))
                return 1;
        }
        if (*p == '\0' || (ends && quoted))
            return 0;
        p += IsDBCSLeadByte((BYTE)*p) && p[1] != '\0' ? 2 : 1;
    }
}

// The folder part of a file's path, into folder (MAX_PATH bytes): up to its
// last backslash, which only a drive's root keeps. 0 when there is none.
static int TakeFolderOfFile(const char* path, char* folder)
{
    if (!CopyText(folder, MAX_PATH, path))
        return 0;
    char* lastSeparator = NULL;
    for (char* p = folder; *p != '\0';) {
        if (IsDBCSLeadByte((BYTE)*p) && p[1] != '\0') {
            p += 2;
            continue;
        }
        if (*p == '\\')
            lastSeparator = p;
        ++p;
    }
    if (lastSeparator == NULL || lastSeparator == folder)
        return 0;
    lastSeparator[lastSeparator[-1] == ':' ? 1 : 0] = '\0';
    return 1;
}

int TakeApplicationFolder(const char* uninstFile, const char* uninstallString, const char* installLocation,
                          char* folder)
{
    folder[0] = '\0';
    if (uninstFile == NULL || uninstFile[0] == '\0' || !TakeFolderOfFile(uninstFile, folder))
        return 0;
    if (uninstallString != NULL && CommandStartsProgram(uninstallString, uninstFile))
        return 1;
    char location[MAX_PATH];
    if (installLocation != NULL && CopyText(location, COUNTOF(location), installLocation)) {
        StripTrailingBackslashes(location);
        char bareFolder[MAX_PATH];
        CopyText(bareFolder, COUNTOF(bareFolder), folder);
        StripTrailingBackslashes(bareFolder);
        if (location[0] != '\0' && NameSameObject(location, bareFolder))
            return 1;
    }
    folder[0] = '\0';
    return 0;
}

// A text value of the installed-programs entry, environment variables
// expanded where it is stored expandable, into value (cchValue bytes). An
// empty value when it is missing, not text or too long.
static void ReadEntryText(HKEY hEntry, const char* name, char* value, size_t cchValue)
{
    value[0] = '\0';
    char stored[1024];
    DWORD type = 0;
    DWORD cb = sizeof(stored) - 1;
    if (hEntry == NULL ||
        RegQueryValueExA(hEntry, name, NULL, &type, (BYTE*)stored, &cb) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return;
    // Registry strings may arrive without their terminator.
    stored[cb < sizeof(stored) ? cb : sizeof(stored) - 1] = '\0';
    if (type == REG_SZ) {
        if (!CopyText(value, cchValue, stored))
            value[0] = '\0';
        return;
    }
    // The ANSI form may need one byte more than it reports: it is given
    // one byte less than the buffer holds.
    DWORD cch = ExpandEnvironmentStringsA(stored, value, (DWORD)cchValue - 1);
    if (cch == 0 || cch > cchValue - 1)
        value[0] = '\0';
}

void ResolvePlaceholderFolders(const char* uninstFile, HKEY hEntry, PlaceholderFolders* folders)
{
    char command[1024];
    char location[MAX_PATH];
    ReadEntryText(hEntry, "UninstallString", command, COUNTOF(command));
    ReadEntryText(hEntry, "InstallLocation", location, COUNTOF(location));
    TakeApplicationFolder(uninstFile, command, location, folders->paths[PLACEHOLDER_APP]);
    for (int id = PLACEHOLDER_APP + 1; id < PLACEHOLDER_COUNT; ++id) {
        if (!TakePlaceholderFolder(id, folders->paths[id]))
            folders->paths[id][0] = '\0';
    }
}

PathExpansion ExpandListedPath(const PlaceholderFolders* folders, const char* value, char* path, size_t cchPath)
{
    size_t cchPlaceholder = 0;
    int id = FindFolderPlaceholder(value, &cchPlaceholder);
    if (id == PLACEHOLDER_NONE)
        return CopyText(path, cchPath, value) ? PATH_AS_LISTED : PATH_TOO_LONG;
    path[0] = '\0';
    if (id < 0 || folders == NULL || folders->paths[id][0] == '\0')
        return PATH_UNRESOLVED;
    if (!CopyText(path, cchPath, folders->paths[id]))
        return PATH_TOO_LONG;
    // A drive's root is named with its backslash; the rest brings its own.
    const char* rest = value + cchPlaceholder;
    if (rest[0] == '\\' && EndsWithBackslash(path))
        path[lstrlenA(path) - 1] = '\0';
    return AppendText(path, cchPath, rest) ? PATH_EXPANDED : PATH_TOO_LONG;
}
