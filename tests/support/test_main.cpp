// Entry of every Wine test executable: records the module instance as the
// product's WinMain would, makes sure Wine gives the code page and UI
// language the pass expects, then runs the tests.

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include "common/common.h"

// Each pass of the Wine tests names what it expects in TW_EXPECTED_LOCALE as
// "<code page>:<UI language>" ("932:0x0411"). A pass whose locale went
// missing would otherwise quietly repeat another one and still succeed.
// Without the variable (a test run by hand) nothing is checked.
static int IsExpectedLocale(UINT codePage, LANGID uiLanguage)
{
    char expected[64];
    DWORD cch = GetEnvironmentVariableA("TW_EXPECTED_LOCALE", expected, COUNTOF(expected));
    if (cch == 0)
        return 1;
    char* end = NULL;
    unsigned long expectedCodePage = cch < COUNTOF(expected) ? strtoul(expected, &end, 10) : 0;
    unsigned long expectedLanguage = end && *end == ':' ? strtoul(end + 1, &end, 16) : 0;
    if (end == NULL || *end != '\0' || expectedCodePage == 0 || expectedLanguage == 0) {
        fprintf(stderr, "TW_EXPECTED_LOCALE is not <code page>:<UI language>\n");
        return 0;
    }
    if (expectedCodePage == codePage && expectedLanguage == uiLanguage)
        return 1;
    fprintf(stderr, "wrong locale: this pass expects code page %lu and UI language 0x%04lx,"
                    " but Wine gives code page %u and UI language 0x%04x\n",
            expectedCodePage, expectedLanguage, codePage, (unsigned)uiLanguage);
    return 0;
}

int main(int argc, char** argv)
{
    g_hInstance = GetModuleHandleA(NULL);
    UINT codePage = GetACP();
    LANGID uiLanguage = GetUserDefaultUILanguage();
    printf("[ code page %u, UI language 0x%04x ]\n", codePage, (unsigned)uiLanguage);
    if (!IsExpectedLocale(codePage, uiLanguage))
        return 1;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
