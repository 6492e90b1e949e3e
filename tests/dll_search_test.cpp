// DLL planting: a DLL with a system DLL's name lies beside the program (as
// one could beside the worker's copy in the temporary directory), and Wine
// is told to prefer such a native DLL (WINEDLLOVERRIDES, set by CTest).
// Until the start-up restriction is in force LoadLibraryA takes it; after
// it, the system's own.

#include <gtest/gtest.h>
#include <string>

#include "common/common.h"
#include "entry/entry.h"
#include "test_support.h"

TEST(DllSearch, RestrictionKeepsAPlantedDllOut)
{
    char self[MAX_PATH];
    DWORD cchSelf = GetModuleFileNameA(NULL, self, COUNTOF(self));
    ASSERT_TRUE(cchSelf > 0 && cchSelf < COUNTOF(self));
    std::string planted = self;
    planted = planted.substr(0, planted.rfind('\\') + 1) + "msimg32.dll";
    std::string marker = planted + ".loaded";
    ASSERT_TRUE(FileExists(planted)) << planted;
    ASSERT_EQ(nullptr, GetModuleHandleA("msimg32.dll")) << "loaded before the test, so never searched for";

    // The environment first: without the restriction the planted DLL runs.
    DeleteFileA(marker.c_str());
    EXPECT_EQ(nullptr, LoadLibraryA("msimg32.dll"));
    ASSERT_TRUE(FileExists(marker)) << "the planted DLL was not loaded; is msimg32 set to native first?";
    DeleteFileA(marker.c_str());

    ASSERT_NE(0, RestrictDllSearch());
    HMODULE hLoaded = LoadLibraryA("msimg32.dll");
    EXPECT_FALSE(FileExists(marker)) << "the planted DLL was loaded";
    ASSERT_NE(nullptr, hLoaded);
    char loadedPath[MAX_PATH];
    char systemDir[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(hLoaded, loadedPath, COUNTOF(loadedPath)));
    UINT cchSystem = GetSystemDirectoryA(systemDir, COUNTOF(systemDir));
    ASSERT_TRUE(cchSystem > 0 && cchSystem < COUNTOF(systemDir));
    EXPECT_EQ(0, lstrcmpiA(std::string(loadedPath).substr(0, cchSystem).c_str(), systemDir))
        << loadedPath << " is not in " << systemDir;
    FreeLibrary(hLoaded);
    DeleteFileA(marker.c_str());
}
