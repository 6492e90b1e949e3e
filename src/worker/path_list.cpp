// A growing list of paths: the directories that the Files list names, kept
// for the end of the run, and the files and directories that are left for
// the next restart.

#include "worker/worker.h"
#include "common/common.h"

int AddToPathList(PathList* list, const char* path)
{
    if (lstrlenA(path) >= MAX_PATH)
        return 0;
    if (list->count == list->capacity) {
        size_t capacity = list->capacity == 0 ? 16 : list->capacity * 2;
        void* grown = list->paths == NULL
            ? HeapAlloc(GetProcessHeap(), 0, capacity * MAX_PATH)
            : HeapReAlloc(GetProcessHeap(), 0, list->paths, capacity * MAX_PATH);
        if (grown == NULL)
            return 0;
        list->paths = (char (*)[MAX_PATH])grown;
        list->capacity = capacity;
    }
    CopyText(list->paths[list->count], MAX_PATH, path);
    ++list->count;
    return 1;
}

int IsInPathList(const PathList* list, const char* path)
{
    for (size_t i = 0; i < list->count; ++i)
        if (lstrcmpiA(list->paths[i], path) == 0)
            return 1;
    return 0;
}

void FreePathList(PathList* list)
{
    if (list->paths != NULL)
        HeapFree(GetProcessHeap(), 0, list->paths);
    list->paths = NULL;
    list->count = list->capacity = 0;
}
