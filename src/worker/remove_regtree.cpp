// Deletes a registry key with every subkey beneath it, bottom-up, because
// the NT family refuses to delete a key that still has subkeys. Values go
// with the key that holds them.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

RegDeleteKeyFunction g_regDeleteKey = RegDeleteKeyA;

// Deletes the key `name` (a name or relative path) below hParent with all
// its subkeys. Non-zero when the key itself was deleted.
static int DeleteSubkeyTree(HKEY hParent, const char* name)
{
    {
        KeyGuard key;
        if (RegOpenKeyExA(hParent, name, 0, KEY_ENUMERATE_SUB_KEYS | KEY_SET_VALUE, key.Out())
            != ERROR_SUCCESS)
            return 0;
        // Always index 0: each deletion moves the next subkey into its
        // place, so no list of names is kept. A subkey that cannot be
        // deleted ends the loop; the parent's own deletion then fails on
        // the NT family and the failure travels up.
        for (;;) {
            char subkey[MAX_PATH];
            DWORD cchSubkey = COUNTOF(subkey);
            if (RegEnumKeyExA(key.Get(), 0, subkey, &cchSubkey, NULL, NULL, NULL, NULL)
                != ERROR_SUCCESS)
                break;
            if (!DeleteSubkeyTree(key.Get(), subkey))
                break;
        }
    }
    return g_regDeleteKey(hParent, name) == ERROR_SUCCESS;
}

int DeleteRegistryTree(HKEY root, const char* keyPath, const char* subkeyName)
{
    if (subkeyName == NULL)
        return DeleteSubkeyTree(root, keyPath);

    KeyGuard parent;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE, parent.Out()) != ERROR_SUCCESS)
        return 0;
    return DeleteSubkeyTree(parent.Get(), subkeyName);
}
