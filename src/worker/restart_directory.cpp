// The listed directories that only become empty when the files left for
// the next restart have gone: removed at that restart where the system can
// do it.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

int ScheduleDirectoryRemovalAtRestart(const char* path)
{
    // WININIT.INI of the 9x family deletes and renames files; a directory
    // named there would be taken for a file.
    if (!IsNtPlatform())
        return 0;
    // The pending operation names the directory itself, without the final
    // backslash; the system removes it at restart only if it is empty.
    char directory[MAX_PATH];
    if (!CopyText(directory, COUNTOF(directory), path))
        return 0;
    const char* last = FindLastCharacter(directory);
    if (last != NULL && *last == '\\' && last - directory > 2)
        directory[last - directory] = '\0';
    return MoveFileExA(directory, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

// Non-zero when the entry name found in directory is one of `leaving`,
// which names directories, as the Files list does, with a final backslash.
static int IsLeaving(const char* directory, const char* name, int isDirectory, const PathList* leaving)
{
    char path[MAX_PATH];
    return name[0] != '\0' && CopyText(path, COUNTOF(path), directory) &&
           AppendText(path, COUNTOF(path), name) &&
           (!isDirectory || AppendText(path, COUNTOF(path), "\\")) && IsInPathList(leaving, path);
}

int HoldsOnlyLeaving(const char* directory, const PathList* leaving)
{
    char pattern[MAX_PATH];
    if (!CopyText(pattern, COUNTOF(pattern), directory) || !AppendText(pattern, COUNTOF(pattern), "*"))
        return 0;
    WIN32_FIND_DATAA entry;
    HANDLE hFind = FindFirstFileA(pattern, &entry);
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;
    int entries = 0;
    int onlyLeaving = 1;
    do {
        if (lstrcmpA(entry.cFileName, ".") == 0 || lstrcmpA(entry.cFileName, "..") == 0)
            continue;
        ++entries;
        // The list may name an entry by its long or by its short name.
        int isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!IsLeaving(directory, entry.cFileName, isDirectory, leaving) &&
            !IsLeaving(directory, entry.cAlternateFileName, isDirectory, leaving))
            onlyLeaving = 0;
    } while (onlyLeaving && FindNextFileA(hFind, &entry));
    FindClose(hFind);
    return entries > 0 && onlyLeaving;
}
