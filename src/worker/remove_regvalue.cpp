// Deletes one listed registry value, in a key that may well be shared (a
// start-up entry in Run, a file type's OpenWithProgids): only the value
// goes, never the key.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

int IsValueKeyPath(HKEY root, const char* keyPath)
{
    KeyPathVerdict verdict = JudgeKeyPath(root, keyPath);
    return verdict != KEY_PATH_EMPTY && verdict != KEY_PATH_MALFORMED;
}

int DeleteListedValue(HKEY root, const char* keyPath, const char* name)
{
    if (!IsValueKeyPath(root, keyPath)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    KeyGuard key;
    LONG error = RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE, key.Out());
    if (error == ERROR_SUCCESS)
        error = RegDeleteValueA(key.Get(), name);
    SetLastError((DWORD)error);
    return error == ERROR_SUCCESS;
}
