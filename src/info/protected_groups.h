// The program-group titles that an uninstallation never removes, besides
// the user's own Startup title read from the registry. Portable: no Windows
// headers, so the vendor tool warns about exactly the titles the worker
// keeps.
#pragma once

#include <stddef.h>

// The spellings of the Startup folder on English and Japanese systems,
// compared with a group's last part as they stand (no folding of case).
extern const char* const kFixedProtectedGroupTitles[];
extern const size_t kFixedProtectedGroupTitleCount;
