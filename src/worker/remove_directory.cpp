// Removes one directory of the pending directory list at the end of the
// run, and only when it is empty by then. Nothing inside it is deleted here.

#include "worker/worker.h"

int RemoveListedDirectory(const char* path)
{
    // Never recursive: the platform removes only an empty directory, so
    // whatever the user or a failed deletion left behind keeps it in place.
    return RemoveDirectoryA(path) != 0;
}
