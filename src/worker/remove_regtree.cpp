// Deletes a registry key with every subkey beneath it, bottom-up, because
// the NT family refuses to delete a key that still has subkeys. Values go
// with the key that holds them. Shared and malformed key paths are refused
// before anything is opened; the list of them lives in info/protected_keys.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"
#include "info/protected_keys.h"
#include "ui/ui.h"

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
            // A tree of thousands of keys takes seconds: the progress
            // dialog answers between its keys.
            PumpMessagesWhenDue(g_hProgressDlg);
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

// In the ANSI code page a byte 0x5C after a lead byte belongs to the
// character ("\x95" "\x5C" is one kanji), as it does for the registry.
int IsLeadByteOfAnsiCodePage(unsigned char c)
{
    return IsDBCSLeadByte(c) != 0;
}

KeyPathVerdict JudgeKeyPath(HKEY root, const char* keyPath)
{
    KeyRoot keyRoot;
    if (root == HKEY_CURRENT_USER)
        keyRoot = KEY_ROOT_CURRENT_USER;
    else if (root == HKEY_CLASSES_ROOT)
        keyRoot = KEY_ROOT_CLASSES_ROOT;
    else if (root == HKEY_LOCAL_MACHINE)
        keyRoot = KEY_ROOT_LOCAL_MACHINE;
    else if (root == HKEY_USERS)
        keyRoot = KEY_ROOT_USERS;
    else
        return KEY_PATH_EMPTY;
    return ClassifyKeyPath(keyRoot, keyPath, IsLeadByteOfAnsiCodePage);
}

int IsDeletableTree(HKEY root, const char* keyPath, const char* subkeyName)
{
    // The subkey is judged as part of the whole path, so that an empty or
    // ".." name can never turn the deletion onto the key path itself.
    char wholePath[2 * MAX_PATH];
    if (keyPath == NULL || !CopyText(wholePath, COUNTOF(wholePath), keyPath))
        return 0;
    if (subkeyName != NULL && (!AppendText(wholePath, COUNTOF(wholePath), "\\") ||
                               !AppendText(wholePath, COUNTOF(wholePath), subkeyName)))
        return 0;
    return JudgeKeyPath(root, wholePath) == KEY_PATH_DELETABLE;
}

int DeleteRegistryTree(HKEY root, const char* keyPath, const char* subkeyName)
{
    if (!IsDeletableTree(root, keyPath, subkeyName))
        return 0;
    if (subkeyName == NULL)
        return DeleteSubkeyTree(root, keyPath);

    KeyGuard parent;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE, parent.Out()) != ERROR_SUCCESS)
        return 0;
    return DeleteSubkeyTree(parent.Get(), subkeyName);
}
