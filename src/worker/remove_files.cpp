// Deletes one listed file together with its side files: the help index
// files beside a help file and the program information file beside a
// program. Logs each side file that existed; the listed file's own line is
// the driver's.

#include "worker/worker.h"
#include "common/common.h"
#include "res/resource.h"
#include "ui/ui.h"

// Returns the last "." of the path, walking forward over double-byte
// characters so that a trail byte is never taken for the dot; NULL when the
// path holds none. The whole path counts, not only its last component.
static const char* FindLastDot(const char* path)
{
    const char* dot = NULL;
    for (const char* p = path; *p != '\0';) {
        if (IsDBCSLeadByte((BYTE)*p) && p[1] != '\0') {
            p += 2;
            continue;
        }
        if (*p == '.')
            dot = p;
        ++p;
    }
    return dot;
}

int ListSideFileExtensions(const char* path, const char* extensions[2])
{
    const char* dot = FindLastDot(path);
    if (dot == NULL)
        return 0;
    if (lstrcmpiA(dot, ".hlp") == 0) {
        extensions[0] = ".gid";
        extensions[1] = ".fts";
        return 2;
    }
    if (lstrcmpiA(dot, ".exe") == 0 || lstrcmpiA(dot, ".com") == 0) {
        extensions[0] = ".pif";
        return 1;
    }
    return 0;
}

int ComposeSideFileName(const char* path, const char* sideExtension, char* sideName, size_t cchSideName)
{
    // The matched extension is ".xxx", four single-byte characters, so the
    // cut leaves whole characters; the new name is as long as the old one.
    size_t cchPath = lstrlenA(path);
    if (cchPath < 4 || cchPath - 4 + lstrlenA(sideExtension) >= cchSideName)
        return 0;
    CopyMemory(sideName, path, cchPath - 4);
    sideName[cchPath - 4] = '\0';
    return AppendText(sideName, cchSideName, sideExtension);
}

// Deletes the side file with the given extension when it exists, and logs it.
static void DeleteSideFile(const char* path, const char* sideExtension)
{
    char sideName[MAX_PATH];
    if (!ComposeSideFileName(path, sideExtension, sideName, COUNTOF(sideName)))
        return;
    if (!IsExistingFile(sideName))
        return;
    // The same operation, so a read-only side file goes too; a side file's
    // own extension has no side files, so this goes no deeper.
    int deleted = DeleteListedFile(sideName);
    AppendDetailLog(" ", sideName, LoadTextBuffer(deleted ? IDS_DELETED : IDS_FAILED_TO_DELETE));
}

int DeleteListedFile(const char* path)
{
    // A path that does not fit our buffers is refused untouched rather than
    // cut into a different path that might exist.
    size_t cchPath = lstrlenA(path);
    if (cchPath == 0 || cchPath >= MAX_PATH)
        return 0;

    ClearReadOnlyAttribute(path);

    const char* extensions[2];
    int count = ListSideFileExtensions(path, extensions);
    for (int i = 0; i < count; ++i)
        DeleteSideFile(path, extensions[i]);

    return DeleteFileA(path) != 0;
}

void ClearReadOnlyAttribute(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes ^ FILE_ATTRIBUTE_READONLY);
}

int IsExistingFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
