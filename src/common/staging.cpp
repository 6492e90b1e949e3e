// Where the launcher puts the temporary copy of the uninstaller, so that
// the launcher and the worker name it alike.

#include "common/common.h"

int GetTempDirectory(char* dir, size_t cchDir)
{
    DWORD cch = GetTempPathA((DWORD)cchDir, dir);
    return cch > 0 && cch < cchDir && AppendBackslash(dir, cchDir);
}

int ComposeWorkerCopyPath(char* path, size_t cchPath)
{
    return GetTempDirectory(path, cchPath) && AppendText(path, cchPath, TW_WORKER_COPY_NAME);
}
