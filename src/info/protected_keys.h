// The registry key paths that an uninstallation never deletes, whatever its
// information lists: malformed paths, a user's whole hive, and the keys in
// which the system and other programs keep their data. Portable: no Windows
// headers, so the vendor tool judges key paths exactly as the worker does.
#pragma once

// The roots that the information file's registry lists name.
enum KeyRoot {
    KEY_ROOT_CURRENT_USER,
    KEY_ROOT_CLASSES_ROOT,
    KEY_ROOT_LOCAL_MACHINE,
    KEY_ROOT_USERS
};

enum KeyPathVerdict {
    KEY_PATH_DELETABLE = 0,
    KEY_PATH_EMPTY,       // NULL, or nothing but backslashes and blanks
    KEY_PATH_MALFORMED,   // leading backslash, an empty or blank part, a "." or ".." part
    KEY_PATH_SHARED,      // a shared key or one of its ancestors
    KEY_PATH_WHOLE_HIVE   // one part below HKEY_USERS: a user's whole registry
};

// Judges keyPath, a key path below root as listed in the information file.
// Parts are compared without regard to ASCII case, blanks around them and
// trailing backslashes. isLeadByte tells the lead bytes of double-byte
// characters in the text's code page (a byte 0x5C after one is part of the
// character, not a separator); NULL means a single-byte code page.
// KEY_PATH_DELETABLE (0) is the only verdict under which a tree may go.
KeyPathVerdict ClassifyKeyPath(KeyRoot root, const char* keyPath, int (*isLeadByte)(unsigned char));

// Another spelling of keys that the guard protects. HKEY_CLASSES_ROOT is a
// merged view of HKEY_LOCAL_MACHINE\SOFTWARE\Classes and of each user's
// classes (Software\Classes below HKEY_CURRENT_USER; <user>\Software\Classes
// and <SID>_Classes below HKEY_USERS), so a path below those is judged as the
// same path below HKEY_CLASSES_ROOT; and HKEY_LOCAL_MACHINE
// SYSTEM\ControlSet<digits> is judged as SYSTEM\CurrentControlSet, which is
// one of them.
struct KeyPathAlias {
    KeyRoot root;        // the root that the path is judged under
    const char* prefix;  // the parts that stand for the alias there: ""
                         // (below HKEY_CLASSES_ROOT) or "SYSTEM\CurrentControlSet"
    const char* rest;    // the rest of keyPath after the alias's parts (a
                         // pointer into keyPath, or "" when the path names the
                         // alias itself); it may end in backslashes and blanks
};

// Non-zero when keyPath (below root, as listed, compared as ClassifyKeyPath
// compares) goes through one of the aliases above; *alias then tells which
// key the path names in the spelling that the guard judges: prefix\rest
// below alias->root. 0, and *alias untouched, otherwise.
int FindKeyPathAlias(KeyRoot root, const char* keyPath, int (*isLeadByte)(unsigned char), KeyPathAlias* alias);
