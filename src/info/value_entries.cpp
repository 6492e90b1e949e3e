// Reading one entry of a registry value list into its key path, value name
// and directory. What the parts name is judged elsewhere: the key path by
// info/protected_keys, the name and the directory by the registry itself.

#include "info/value_entries.h"

ValueEntryKind ParseValueEntry(const char* entry, int (*isLeadByte)(unsigned char), ValueEntry* parsed)
{
    parsed->kind = VALUE_ENTRY_MALFORMED;
    parsed->cchKeyPath = parsed->nameAt = parsed->cchName = 0;
    parsed->directoryAt = parsed->cchDirectory = 0;

    // The first double backslash that stands at a character boundary: the
    // trail byte 0x5C of a double-byte character is no separator.
    size_t at = 0;
    for (;;) {
        unsigned char c = (unsigned char)entry[at];
        if (c == '\0')
            return VALUE_ENTRY_MALFORMED;
        if (c == '\\' && entry[at + 1] == '\\')
            break;
        at += isLeadByte != NULL && isLeadByte(c) && entry[at + 1] != '\0' ? 2 : 1;
    }
    if (at == 0)
        return VALUE_ENTRY_MALFORMED;
    parsed->cchKeyPath = at;

    const char* tail = entry + at + 2;
    if (*tail == '\0')
        return parsed->kind = VALUE_ENTRY_EMPTY_KEY;
    if (*tail != '"')
        return VALUE_ENTRY_MALFORMED;
    // A quote is never the trail byte of a double-byte character, so the
    // last one can be found byte by byte.
    size_t closing = 0;
    for (size_t i = 1; tail[i] != '\0'; ++i)
        if (tail[i] == '"')
            closing = i;
    if (closing == 0)
        return VALUE_ENTRY_MALFORMED;
    parsed->nameAt = at + 3;
    parsed->cchName = closing - 1;

    const char* rest = tail + closing + 1;
    if (*rest == '\0')
        return parsed->kind = VALUE_ENTRY_VALUE;
    if (*rest != ';' || rest[1] == '\0')
        return VALUE_ENTRY_MALFORMED;
    size_t cchDirectory = 0;
    for (const char* p = rest + 1; *p != '\0'; ++p, ++cchDirectory)
        if (*p == ';')
            return VALUE_ENTRY_MALFORMED;
    parsed->directoryAt = (size_t)(rest + 1 - entry);
    parsed->cchDirectory = cchDirectory;
    return parsed->kind = VALUE_ENTRY_LIST_ELEMENT;
}
