// The folder placeholders' names and how a listed value is read for one.

#include "info/placeholders.h"

const char* const kFolderPlaceholderNames[PLACEHOLDER_COUNT] = {
    "app", "programs", "commonprograms", "desktop", "commondesktop",
    "appdata", "localappdata", "windows", "system",
};

static char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

int FindFolderPlaceholder(const char* value, size_t* cchPlaceholder)
{
    if (value == NULL || value[0] != '<')
        return PLACEHOLDER_NONE;
    for (int id = 0; id < PLACEHOLDER_COUNT; ++id) {
        const char* name = kFolderPlaceholderNames[id];
        size_t i = 0;
        while (name[i] != '\0' && LowerAscii(value[1 + i]) == name[i])
            ++i;
        // The name, then ">" and either the end or a backslash.
        if (name[i] != '\0' || value[1 + i] != '>')
            continue;
        char next = value[2 + i];
        if (next != '\0' && next != '\\')
            return PLACEHOLDER_UNKNOWN;
        if (cchPlaceholder != NULL)
            *cchPlaceholder = 2 + i;
        return id;
    }
    return PLACEHOLDER_UNKNOWN;
}
