// The fixed protected group titles, in the code page 932 spellings where
// they are Japanese.

#include "info/protected_groups.h"

const char* const kFixedProtectedGroupTitles[] = {
    "\xBD\xC0\xB0\xC4\xB1\xAF\xCC\xDF",                          // half-width katakana "sutaatoappu"
    "\x83\x58\x83\x5E\x81\x5B\x83\x67\x83\x41\x83\x62\x83\x76",  // full-width katakana "sutaatoappu"
    "Startup",
    "\xBD\xC0\xB0\xC4\x20\xB1\xAF\xCC\xDF",                      // half-width katakana with a blank
    "Start Up",
    "\x82\xB7\x82\xBD\x81\x5B\x82\xC6\x82\xA0\x82\xC1\x82\xD5",  // hiragana "sutaatoappu"
};

const size_t kFixedProtectedGroupTitleCount =
    sizeof(kFixedProtectedGroupTitles) / sizeof(kFixedProtectedGroupTitles[0]);
