// The uninstall worker: the driver (the worker stage) and the removal
// operations it calls. Removal operations never show a message and never
// stop the run; each returns non-zero on success and 0 on failure.
#pragma once

#include <windows.h>
#include <restartmanager.h>

#include "info/info.h"

#include "info/placeholders.h"
#include "info/protected_keys.h"

// The worker stage: runs a whole uninstallation from the uninstall
// information file at infoPath (the text after "/u").
void WorkerStage(const char* infoPath);

// Reads the DisplayName of an opened installed-programs entry into
// displayName (cchDisplayName bytes). A name longer than the buffer is cut
// at a character boundary; a missing or non-text value gives an empty name.
void ReadDisplayName(HKEY hEntry, char* displayName, size_t cchDisplayName);

// Deletes one listed file (read-only attribute cleared first) together with
// its help-index (.gid, .fts) or program-information (.pif) side files,
// logging each side file that existed. Non-zero when the listed file itself
// was deleted. A path of MAX_PATH characters or more is refused untouched.
int DeleteListedFile(const char* path);

// The side files that go with a listed file, in the order they are
// deleted: ".gid" and ".fts" beside a help file (".hlp"), ".pif" beside a
// program (".exe", ".com"), the extension found by the path's last dot.
// Stores the side extensions in extensions and returns how many (0 to 2).
int ListSideFileExtensions(const char* path, const char* extensions[2]);

// Writes the name of a side file into sideName (cchSideName bytes): the
// listed path without its four-byte extension, then sideExtension.
// Non-zero when it fits.
int ComposeSideFileName(const char* path, const char* sideExtension, char* sideName, size_t cchSideName);

// Clears the read-only attribute of a file, so that it can be deleted.
// Does nothing to a file without it or to a path that names nothing.
void ClearReadOnlyAttribute(const char* path);

// True when path names an existing file system object that is not a
// directory.
int IsExistingFile(const char* path);

// Removes a directory if it is empty (never recursive).
int RemoveListedDirectory(const char* path);

// The folders that the information's placeholders stand for in this run,
// by FolderPlaceholder: full paths without a final backslash (a drive's root
// keeps its own); empty where this machine names no such folder.
struct PlaceholderFolders {
    char paths[PLACEHOLDER_COUNT][MAX_PATH];
};

// Resolves every placeholder, once at the start of a run. uninstFile is the
// installed uninstaller that the launcher ran from, hEntry the program's
// opened installed-programs entry (NULL: none); <app> is resolved only when
// that entry names the uninstaller (see TakeApplicationFolder). The other
// folders are the shell's (TakeShellFolder); the Windows and system folders
// come from the kernel where the shell cannot name them.
void ResolvePlaceholderFolders(const char* uninstFile, HKEY hEntry, PlaceholderFolders* folders);

// The folder of the installed uninstaller uninstFile, into folder (MAX_PATH
// bytes), when the installed-programs entry names that uninstaller: its
// UninstallString starts it, or its InstallLocation names that folder (in
// long or short form, without regard to case). Otherwise 0 and an empty
// folder: a copy of the uninstaller started elsewhere never takes the files
// beside it for the program's.
int TakeApplicationFolder(const char* uninstFile, const char* uninstallString, const char* installLocation,
                          char* folder);

// The folder with the shell identifier csidl, into folder (MAX_PATH bytes):
// through SHGetSpecialFolderLocation, as every shell has it, and where that
// fails through SHGetFolderPathA, looked up at run time in the shell or in
// the system folder's SHFolder.dll. Non-zero on success.
int TakeShellFolder(int csidl, char* folder);

// How a listed path came out of ExpandListedPath.
enum PathExpansion {
    PATH_AS_LISTED = 0,   // no placeholder: the path as it stands
    PATH_EXPANDED,        // the placeholder replaced by its folder
    PATH_UNRESOLVED,      // an unknown placeholder, or one this run has no
                          // folder for: the entry is never acted on
    PATH_TOO_LONG         // the result does not fit the buffer
};

// Writes the listed value into path (cchPath bytes) with a leading
// placeholder replaced by its folder. For PATH_UNRESOLVED and PATH_TOO_LONG
// the path is not to be used.
PathExpansion ExpandListedPath(const PlaceholderFolders* folders, const char* value, char* path, size_t cchPath);

// True when path names something strictly inside folder (both without a
// trailing backslash), compared without regard to case.
int IsBelowFolder(const char* path, const char* folder);

// Removes the empty program group `groupName` from the user's (commonGroup
// 0) or the all-users Programs folder. A group whose title is a protected
// Startup name is left alone and reported as success. A group that does not
// lie below the Programs folder (empty, "..", too long) is refused with 0.
// On failure the last error is ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND
// only when the group is not there; a refused group leaves
// ERROR_INVALID_NAME.
int RemoveProgramGroup(int commonGroup, const char* groupName);

// The Programs folder (commonGroup 0: the user's, otherwise the all-users
// one) as the shell names it, into folder (MAX_PATH bytes), in a form that
// the ANSI functions reach (see ConvertToAnsiPath). Non-zero on success; 0
// with the last error ERROR_NO_UNICODE_TRANSLATION when the folder's name
// has no such form.
int TakeProgramsFolder(int commonGroup, char* folder);

// What RemoveProgramGroup makes of a group, without touching it: refused
// (no Programs folder, not below it, too long), protected (a Startup
// title: left in place and reported as removed) or a folder that is
// removed when empty. For the last two, folderPath (cchFolderPath bytes)
// receives the folder's full path.
enum GroupVerdict { GROUP_REFUSED = 0, GROUP_PROTECTED, GROUP_FOLDER };
GroupVerdict ResolveProgramGroup(int commonGroup, const char* groupName, char* folderPath, size_t cchFolderPath);

// The same for a [Group] entry as listed: one that begins with <programs>
// or <commonprograms> lies below that folder, whatever CommonGroup says;
// any other placeholder, or one without a folder in this run, is refused.
GroupVerdict ResolveListedGroup(const PlaceholderFolders* folders, int commonGroup, const char* entry,
                                char* folderPath, size_t cchFolderPath);

// Does what RemoveProgramGroup does with a resolved group: removes the
// folder when it is empty, reports a protected one as removed, and refuses
// the rest with ERROR_INVALID_NAME.
int RemoveResolvedGroup(GroupVerdict verdict, const char* folderPath);

// Deletes a registry key tree below root: keyPath itself, or, when
// subkeyName is not NULL, only that subkey of keyPath. Non-zero when the
// addressed key was deleted. A key path that is empty or malformed, names a
// user's whole hive below HKEY_USERS, or names a shared key or an ancestor
// of one (see info/protected_keys.h) is refused untouched with 0, as is any
// root other than the four predefined ones that the lists name.
// Lets the progress dialog (if any) answer between keys when its time has
// come.
int DeleteRegistryTree(HKEY root, const char* keyPath, const char* subkeyName);

// Non-zero when DeleteRegistryTree may delete the key root\keyPath
// (\subkeyName) as a tree; 0 for the paths it refuses untouched.
int IsDeletableTree(HKEY root, const char* keyPath, const char* subkeyName);

// The lead-byte test that the portable readers (key paths, value-list
// entries) take: the system's ANSI code page, as the registry reads names.
int IsLeadByteOfAnsiCodePage(unsigned char c);

// The registry guard's verdict on root\keyPath (see info/protected_keys.h):
// KEY_PATH_DELETABLE for a key that may go as a tree; any root other than
// the four predefined ones that the lists name gives KEY_PATH_EMPTY.
KeyPathVerdict JudgeKeyPath(HKEY root, const char* keyPath);

// Non-zero when root\keyPath may hold a listed value: any key that the
// path names plainly, shared keys and a user's whole hive included.
int IsValueKeyPath(HKEY root, const char* keyPath);

// Deletes the value `name` ("" for the default value) of the key
// root\keyPath, and only that value: the key stays, even when empty. A
// shared key is fine, since only a listed value goes; an empty or malformed
// key path is refused with 0 and ERROR_INVALID_NAME. Non-zero when the
// value was deleted; on failure the last error is ERROR_FILE_NOT_FOUND
// when the key or the value is not there.
int DeleteListedValue(HKEY root, const char* keyPath, const char* name);

// Takes every element equal to directory out of the value `name` of
// root\keyPath, a REG_SZ or REG_EXPAND_SZ list of elements separated by
// ';' (such as PATH). Elements compare without regard to case and to one
// final backslash; the other elements, the separators between them and
// the value's type stay as they were, byte for byte. The key path is judged
// as for DeleteListedValue. Non-zero when elements were taken out and the
// value written; on failure the last error is ERROR_FILE_NOT_FOUND when the
// key, the value or the element is not there, ERROR_INVALID_DATATYPE for a
// value of another type, ERROR_NO_UNICODE_TRANSLATION when the value holds
// characters that the ANSI code page cannot (it is then left untouched).
int RemoveListElement(HKEY root, const char* keyPath, const char* name, const char* directory);

// Reads the value `name` of an open key (KEY_QUERY_VALUE) as
// RemoveListElement does: *type, and the data (*cbData bytes as stored,
// followed by two NULs) in a heap block that *data receives and the caller
// frees with HeapFree. ERROR_SUCCESS, or the error that stops
// RemoveListElement (*data is then NULL).
LONG ReadListValue(HKEY hKey, const char* name, DWORD* type, char** data, DWORD* cbData);

// The text of a list value without the elements equal to directory (as
// RemoveListElement compares them), into out (at least as many bytes as
// list and its terminator). Returns how many elements were taken out.
size_t DropListElements(const char* list, const char* directory, char* out);

// Removes the key root\keyPath when it holds neither subkeys nor values;
// a key that still holds something stays. Key paths are judged as for
// DeleteRegistryTree: a shared key is never removed (0, ERROR_INVALID_NAME).
// Non-zero when the key was removed; on failure the last error is
// ERROR_FILE_NOT_FOUND when it is not there, ERROR_DIR_NOT_EMPTY when it
// holds something.
int RemoveEmptyKey(HKEY root, const char* keyPath);

// True when the key path's last part is "Environment": the keys whose
// values become the environment of the programs started after a change.
int IsEnvironmentKeyPath(const char* keyPath);

// Tells the running programs (Explorer, which starts the others) that the
// environment keys changed: WM_SETTINGCHANGE with "Environment" to every
// top-level window, waiting at most a bounded time for each and not at all
// for a window that hangs.
void AnnounceEnvironmentChange();

// The call that deletes one (subkey-free) registry key during
// DeleteRegistryTree. Defined in remove_regtree.cpp as RegDeleteKeyA and
// never changed by the product; tests replace it to produce a key that
// refuses deletion, which Wine cannot make real.
typedef LONG (WINAPI* RegDeleteKeyFunction)(HKEY hKey, LPCSTR subKey);
extern RegDeleteKeyFunction g_regDeleteKey;

// Arranges for the file to be deleted at the next restart of the system.
int ScheduleDeleteAtRestart(const char* path);

// Arranges for the directory (a path with or without its final backslash)
// to be removed at the next restart if it is empty by then: through the
// pending file operations on the NT family. The 9x family has no way to do
// it (WININIT.INI deletes files only): there the result is always 0.
int ScheduleDirectoryRemovalAtRestart(const char* path);

// True when a listed file that DeleteFileA refused with `deleteError` is in
// use by a running program: a sharing violation, or the access denied that
// a program's image or module in use gives (told from a file we may not
// touch by opening it for writing, which an image in use refuses as a
// sharing violation). Changes nothing.
int IsFileInUse(const char* path, DWORD deleteError);

// A list of paths (each fits MAX_PATH), grown on the heap.
struct PathList {
    char (*paths)[MAX_PATH];
    size_t count;
    size_t capacity;
};
// Appends a copy of path. Non-zero on success; a path that does not fit is
// refused with 0.
int AddToPathList(PathList* list, const char* path);
// True when the list holds path (compared without regard to case).
int IsInPathList(const PathList* list, const char* path);
void FreePathList(PathList* list);

// True when the directory (a path ending in a backslash) holds something
// and nothing but entries of `leaving`: files and directories that go at
// the next restart.
int HoldsOnlyLeaving(const char* directory, const PathList* leaving);

// ---- Programs running from the installation ---------------------------------

// The paths of the Files list, for telling whether a running program's
// executable or modules belong to the installation: the listed files and
// the listed directories (those ending in a backslash), each also in its
// long form where it was written with short names. Looked up by a hash of
// the path without regard to the case of ASCII letters.
struct ListedPaths {
    char* text;          // the paths, one after the other, each ending in NUL
    size_t cbText;
    size_t cbUsed;
    DWORD* slots;        // hash table: offset into text + 1; 0 is free
    size_t slotCount;    // a power of two, at least twice the count
    size_t count;
};

// Collects the Files list, placeholders resolved with folders (NULL: none
// resolve). Non-zero on success; on failure (no memory) the list is empty
// and nothing will be found. A directory that is a drive's root or holds
// the Windows directory is left out: every system process would lie below
// it; so is an entry whose placeholder this run cannot resolve.
// FreeListedPaths is to be called either way.
int CollectListedPaths(const InfoFile* info, const PlaceholderFolders* folders, ListedPaths* listed);
void FreeListedPaths(ListedPaths* listed);

// True when path (a full path) is a listed file or lies below a listed
// directory.
int IsListedOrBelow(const ListedPaths* listed, const char* path);

// A program found running with the installation's files, and what the user
// knows it by: the title of its window where it has one, else the name the
// Restart Manager gives it, else its file name.
#define TW_MAX_RUNNING_PROGRAMS 64   // as many as one wait can follow
struct RunningProgram {
    DWORD processId;
    int named;            // 2: a window title; 1: the Restart Manager's name
    char name[80];
};
struct RunningPrograms {
    RunningProgram items[TW_MAX_RUNNING_PROGRAMS];
    int count;
    DWORD ownIds[2];      // this process and the launcher: never counted
};

// Empties the list; the current process and launcherId never count.
void StartRunningPrograms(RunningPrograms* found, DWORD launcherId);
// Adds a program unless it is one of ours or already there (a better name
// replaces the one it had). A name that does not fit is cut at a character.
void AddRunningProgram(RunningPrograms* found, DWORD processId, const char* name, int named);

// Finds the programs whose executable or modules are listed or lie below a
// listed directory: through the Restart Manager on Windows Vista and later
// (it also knows programs that this process may not look into), and by
// walking the processes and their modules with whichever of Toolhelp and
// PSAPI the system has. Then names each by its window. Never shows
// anything and never changes anything.
void FindRunningPrograms(const ListedPaths* listed, RunningPrograms* found);

// The two walks, each non-zero when the system offers it (its functions are
// looked up at run time: Toolhelp is missing on NT 4.0, which has PSAPI).
int WalkProcessesWithToolhelp(const ListedPaths* listed, RunningPrograms* found);
int WalkProcessesWithPsapi(const ListedPaths* listed, RunningPrograms* found);

// Asks the Restart Manager which programs use the listed files. Non-zero
// when a session could be made and asked.
int AskRestartManager(const ListedPaths* listed, RunningPrograms* found);

// The Restart Manager's calls as this program makes them. NULL in the
// product, which loads rstrtmgr.dll from the system folder on Windows Vista
// and later; tests point it at recorded answers, since Wine's Restart
// Manager answers without finding anything.
struct RestartManagerCalls {
    DWORD (WINAPI* startSession)(DWORD* session, DWORD flags, WCHAR* sessionKey);
    DWORD (WINAPI* registerResources)(DWORD session, UINT cFiles, LPCWSTR* files, UINT cApplications,
                                      RM_UNIQUE_PROCESS* applications, UINT cServices, LPCWSTR* services);
    DWORD (WINAPI* getList)(DWORD session, UINT* cNeeded, UINT* cInfo, RM_PROCESS_INFO* infos,
                            LPDWORD rebootReasons);
    DWORD (WINAPI* endSession)(DWORD session);
};
extern const RestartManagerCalls* g_restartManagerCalls;

// Asks each program to close: a close request (WM_CLOSE) to each of its
// visible, titled top-level windows that no other window owns. Then waits
// until the programs that were asked have ended, at most timeoutMs. Never
// ends a program. Returns the number of programs that were asked and have
// not ended.
int AskProgramsToClose(const RunningPrograms* found, DWORD timeoutMs);

// True on the NT family.
int IsNtPlatform();

// Windows 9x family: adds "NUL=<short path>" to [Rename] of WININIT.INI,
// keeping every entry already there. Never writes back a section it could
// not read whole: on the 9x family a list that, with the new entry, would
// not fit in the 32,767 characters its profile functions handle is left
// alone and the result is 0. Also 0 when the file has no short path.
int AddWininitDeletion(const char* path);
