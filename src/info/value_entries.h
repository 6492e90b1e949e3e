// The entries of the registry value lists (RegistryValues_CURRENT_USER and
// its three siblings): things inside a key that the program owns where it
// does not own the key. Portable: no Windows headers, so the vendor tool
// reads an entry exactly as the worker does.
//
// An entry is a key path, two backslashes (a key path never holds an empty
// part, so its first double backslash ends it), and then one of:
//   "<name>"              the value of that name ("" is the default value);
//                         the name runs to the entry's last quote, so it
//                         may hold anything, quotes and backslashes too
//   "<name>";<directory>  that directory taken out of the value, a list of
//                         elements separated by ';' such as PATH
//   nothing               the key itself, removed only when it is empty
#pragma once

#include <stddef.h>

// The sections, one per root, in the order the registry phase reads them.
#define TW_SECTION_VALUES_CURRENT_USER "RegistryValues_CURRENT_USER"
#define TW_SECTION_VALUES_CLASSES_ROOT "RegistryValues_CLASSES_ROOT"
#define TW_SECTION_VALUES_LOCAL_MACHINE "RegistryValues_LOCAL_MACHINE"
#define TW_SECTION_VALUES_USERS "RegistryValues_USERS"

enum ValueEntryKind {
    VALUE_ENTRY_MALFORMED = 0,  // no double backslash, no key path, an unclosed
                                // name, or something after the name that is no
                                // ";<directory>" (a directory holds no ';')
    VALUE_ENTRY_VALUE,          // delete the named value
    VALUE_ENTRY_LIST_ELEMENT,   // take the directory out of the named value
    VALUE_ENTRY_EMPTY_KEY       // remove the key when nothing is left in it
};

// Where the parts of an entry stand: offsets into the entry and lengths in
// bytes. name is empty for the default value and for an empty-key entry;
// directory is empty but for a list element.
struct ValueEntry {
    ValueEntryKind kind;
    size_t cchKeyPath;          // the key path is entry[0 .. cchKeyPath)
    size_t nameAt, cchName;
    size_t directoryAt, cchDirectory;
};

// Splits entry (a list value as the reader gives it, NUL-terminated) into
// its parts. isLeadByte tells the lead bytes of double-byte characters (a
// byte 0x5C after one is no backslash); NULL means a single-byte code page.
// Returns the kind, also stored in parsed->kind.
ValueEntryKind ParseValueEntry(const char* entry, int (*isLeadByte)(unsigned char), ValueEntry* parsed);
