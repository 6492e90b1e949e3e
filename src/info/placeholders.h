// Folder placeholders: a [Files] entry or a [Group] entry may begin with
// "<name>", a form that no Windows path can take ("<" and ">" are not
// allowed in names), standing for a folder of the machine the uninstaller
// runs on. Portable: no Windows headers, so the vendor tool knows exactly
// the names the worker resolves.
#pragma once

#include <stddef.h>

enum FolderPlaceholder {
    PLACEHOLDER_APP = 0,            // <app>: the installed uninstaller's folder
    PLACEHOLDER_PROGRAMS,           // <programs>: the user's Start-menu Programs
    PLACEHOLDER_COMMON_PROGRAMS,    // <commonprograms>: the all-users Programs
    PLACEHOLDER_DESKTOP,            // <desktop>
    PLACEHOLDER_COMMON_DESKTOP,     // <commondesktop>
    PLACEHOLDER_APPDATA,            // <appdata>: the user's roaming application data
    PLACEHOLDER_LOCAL_APPDATA,      // <localappdata>
    PLACEHOLDER_WINDOWS,            // <windows>
    PLACEHOLDER_SYSTEM,             // <system>
    PLACEHOLDER_COUNT,

    PLACEHOLDER_NONE = -1,          // the value does not begin with "<"
    PLACEHOLDER_UNKNOWN = -2        // it does, but names no placeholder, or the
                                    // name is not followed by a backslash or
                                    // the end of the value
};

// The names, without their brackets, indexed by FolderPlaceholder.
extern const char* const kFolderPlaceholderNames[PLACEHOLDER_COUNT];

// Which placeholder value begins with. Names compare without regard to
// ASCII case. For a placeholder, *cchPlaceholder (if not NULL) receives its
// length with the brackets; what follows it is empty or starts with a
// backslash.
int FindFolderPlaceholder(const char* value, size_t* cchPlaceholder);
