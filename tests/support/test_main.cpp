// Entry of every Wine test executable: records the module instance as the
// product's WinMain would, then runs the tests.

#include <gtest/gtest.h>
#include <stdio.h>

#include "common/common.h"

int main(int argc, char** argv)
{
    g_hInstance = GetModuleHandleA(NULL);
    printf("[ code page %u, UI language 0x%04x ]\n", GetACP(), (unsigned)GetUserDefaultUILanguage());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
