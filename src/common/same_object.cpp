// Whether two paths name the same file or folder, as the system may name
// one in its long and in its short form.

#include "common/common.h"

int NameSameObject(const char* a, const char* b)
{
    if (lstrcmpiA(a, b) == 0)
        return 1;
    // The two may name the same file in long and short forms.
    char shortA[MAX_PATH];
    char shortB[MAX_PATH];
    DWORD cchA = GetShortPathNameA(a, shortA, COUNTOF(shortA));
    DWORD cchB = GetShortPathNameA(b, shortB, COUNTOF(shortB));
    return cchA > 0 && cchA < COUNTOF(shortA) && cchB > 0 && cchB < COUNTOF(shortB) &&
           lstrcmpiA(shortA, shortB) == 0;
}
