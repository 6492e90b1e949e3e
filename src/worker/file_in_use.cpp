// Whether a listed file that could not be deleted is held by a running
// program, so that it can be left for the next restart instead of staying
// for good.

#include "worker/worker.h"
#include "common/guard.h"

int IsFileInUse(const char* path, DWORD deleteError)
{
    // Another program holds it open without letting others delete it.
    if (deleteError == ERROR_SHARING_VIOLATION || deleteError == ERROR_LOCK_VIOLATION)
        return 1;
    // A running program's executable or a loaded module is refused with
    // access denied, as is a file whose rights deny us. Only the image in
    // use also refuses to be opened for writing as a sharing violation; the
    // open changes nothing, and no sharing flag of the newer systems is
    // asked for.
    if (deleteError != ERROR_ACCESS_DENIED || !IsExistingFile(path))
        return 0;
    HandleGuard hFile(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    return hFile.Get() == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
}
