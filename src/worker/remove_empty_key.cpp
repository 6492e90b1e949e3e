// Removes a key only once nothing is left in it: the vendor's own parent
// key, shared by the vendor's programs, goes with the last of them. A key
// that still holds a subkey or a value stays, as a directory that still
// holds a file does.

#include "worker/worker.h"
#include "common/guard.h"

int RemoveEmptyKey(HKEY root, const char* keyPath)
{
    if (JudgeKeyPath(root, keyPath) != KEY_PATH_DELETABLE) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    DWORD subkeys = 0;
    DWORD values = 0;
    {
        KeyGuard key;
        LONG error = RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, key.Out());
        if (error == ERROR_SUCCESS)
            error = RegQueryInfoKeyA(key.Get(), NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL,
                                     NULL, NULL);
        if (error != ERROR_SUCCESS) {
            SetLastError((DWORD)error);
            return 0;
        }
    }
    if (subkeys != 0 || values != 0) {
        SetLastError(ERROR_DIR_NOT_EMPTY);
        return 0;
    }
    // The 9x family's RegDeleteKeyA would take subkeys with it; there are
    // none, so both families delete exactly this key.
    LONG error = g_regDeleteKey(root, keyPath);
    SetLastError((DWORD)error);
    return error == ERROR_SUCCESS;
}
