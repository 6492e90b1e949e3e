// Program groups in the user's and the all-users Programs folders under
// Wine's real shell: empty groups go, groups named like the Startup folder
// stay and count as removed, and the user's own Startup name protects too.

#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>

#include "common/common.h"
#include "worker/worker.h"
#include "test_support.h"

namespace {

const char kUserShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kTestGroup[] = "Tarnwick Test Group";

std::string ProgramsFolder(int commonGroup)
{
    char path[MAX_PATH];
    int csidl = commonGroup == 0 ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS;
    if (!SHGetSpecialFolderPathA(NULL, path, csidl, TRUE))
        return "";
    std::string folder = path;
    if (folder.back() != '\\')
        folder += '\\';
    return folder;
}

SavedValue ReadUserShellFolder(const char* name)
{
    return ReadRegistryValue(HKEY_CURRENT_USER, kUserShellFolders, name);
}

void WriteUserShellFolder(const char* name, const SavedValue& value)
{
    ASSERT_TRUE(RestoreRegistryValue(HKEY_CURRENT_USER, kUserShellFolders, name, value));
}

SavedValue StringValue(DWORD type, const std::string& text, bool terminated = true)
{
    SavedValue v;
    v.present = true;
    v.type = type;
    v.bytes = text;
    if (terminated)
        v.bytes += '\0';
    return v;
}

// Restores the user's Startup and Programs values and removes the test
// groups from both Programs folders, whatever a test left.
class ProgramGroups : public testing::Test {
protected:
    void SetUp() override
    {
        savedStartup_ = ReadUserShellFolder("Startup");
        savedPrograms_ = ReadUserShellFolder("Programs");
        for (int common = 0; common <= 1; ++common) {
            ASSERT_NE("", ProgramsFolder(common));
            RemoveTree(ProgramsFolder(common) + kTestGroup);
        }
        // A Startup title that none of the fixed names spells the same way.
        WriteUserShellFolder("Startup", StringValue(REG_EXPAND_SZ, "%USERPROFILE%\\Start Menu\\Programs\\StartUp"));
    }

    void TearDown() override
    {
        WriteUserShellFolder("Startup", savedStartup_);
        WriteUserShellFolder("Programs", savedPrograms_);
        for (int common = 0; common <= 1; ++common)
            RemoveTree(ProgramsFolder(common) + kTestGroup);
    }

    SavedValue savedStartup_;
    SavedValue savedPrograms_;
};

struct GroupCase {
    const char* name;
    std::vector<std::string> folders;  // created below the test group, in order
    std::string file;                  // created below the test group when not empty
    std::string group;                 // below the test group
    int result;
    bool remains;                      // the group's folder is still there
};

void RunGroupCases(int commonGroup, const std::vector<GroupCase>& cases)
{
    std::string programs = ProgramsFolder(commonGroup);
    std::string base = programs + kTestGroup + "\\";
    for (const GroupCase& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(programs + kTestGroup);
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), NULL));
        for (const std::string& f : c.folders)
            ASSERT_TRUE(CreateDirectoryA((base + f).c_str(), NULL)) << f;
        if (!c.file.empty())
            WriteFileBytes(base + c.file, "[InternetShortcut]\r\n");

        std::string group = std::string(kTestGroup) + "\\" + c.group;
        EXPECT_EQ(c.result, RemoveProgramGroup(commonGroup, group.c_str()));

        EXPECT_EQ(c.remains, DirectoryExists(base + c.group));
        EXPECT_TRUE(DirectoryExists(base));  // never more than the group itself
        if (!c.file.empty())
            EXPECT_TRUE(FileExists(base + c.file));
    }
}

const std::vector<GroupCase>& CommonCases()
{
    static const std::vector<GroupCase> cases = {
        {"empty group", {"Sample Tools"}, "", "Sample Tools", 1, false},
        {"nested empty group", {"Suite", "Suite\\Tools"}, "", "Suite\\Tools", 1, false},
        {"group holding a shortcut", {"Full"}, "Full\\App.lnk", "Full", 0, true},
        {"group holding a folder", {"Outer", "Outer\\Inner"}, "", "Outer", 0, true},
        {"missing group", {}, "", "Missing", 0, false},
        {"Startup", {"Startup"}, "", "Startup", 1, true},
        {"nested Startup", {"Sample Tools", "Sample Tools\\Startup"}, "", "Sample Tools\\Startup", 1, true},
        {"Start Up", {"Start Up"}, "", "Start Up", 1, true},
        {"the user's Startup title", {"StartUp"}, "", "StartUp", 1, true},
        {"lower-case startup is no fixed name", {"startup"}, "", "startup", 1, false},
        {"Startup ending in a backslash", {"Startup"}, "", "Startup\\", 1, true},
        {"Start Up ending in two backslashes", {"Start Up"}, "", "Start Up\\\\", 1, true},
        {"empty group ending in a backslash", {"Old"}, "", "Old\\", 1, false},
        {"forward slash before Startup", {"Kit", "Kit\\Startup"}, "", "Kit/Startup", 1, true},
        {"Startup with a dot step", {"Startup"}, "", "Startup\\.", 1, true},
        {"Startup reached through a parent step", {"Kit", "Startup"}, "", "Kit\\..\\Startup", 1, true},
        {"Startup with a trailing dot", {"Startup"}, "", "Startup.", 1, true},
        {"Startup with a trailing blank", {"Startup"}, "", "Startup ", 1, true},
    };
    return cases;
}

}  // namespace

TEST_F(ProgramGroups, UserProgramsFolder)
{
    RunGroupCases(0, CommonCases());
}

TEST_F(ProgramGroups, AllUsersProgramsFolder)
{
    RunGroupCases(1, CommonCases());
}

TEST_F(ProgramGroups, AnyOtherCommonGroupValueMeansAllUsers)
{
    std::string base = ProgramsFolder(1) + kTestGroup + "\\";
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((base + "Shared").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((ProgramsFolder(0) + kTestGroup).c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((ProgramsFolder(0) + kTestGroup + "\\Shared").c_str(), NULL));

    EXPECT_EQ(1, RemoveProgramGroup(7, (std::string(kTestGroup) + "\\Shared").c_str()));

    EXPECT_FALSE(DirectoryExists(base + "Shared"));
    EXPECT_TRUE(DirectoryExists(ProgramsFolder(0) + kTestGroup + "\\Shared"));
}

TEST_F(ProgramGroups, TheUsersStartupValueProtectsItsTitle)
{
    struct {
        const char* name;
        SavedValue startup;
        const char* group;
        int result;
        bool remains;
    } cases[] = {
        {"localised name, expandable and not expanded",
         StringValue(REG_EXPAND_SZ, "%USERPROFILE%\\Start Menu\\Programs\\Autostart"), "Autostart", 1, true},
        {"plain string ending in a backslash", StringValue(REG_SZ, "C:\\Menu\\Autostart\\"), "Autostart", 1, true},
        {"binary value without a terminator", StringValue(REG_BINARY, "C:\\Menu\\Mine", false), "Mine", 1, true},
        {"lower-case startup written the same way", StringValue(REG_SZ, "C:\\Menu\\startup"), "startup", 1, true},
        {"no value: only the fixed names protect", SavedValue(), "Autostart", 1, false},
        {"no value: a fixed name still protects", SavedValue(), "Startup", 1, true},
        {"another title protects nothing else", StringValue(REG_SZ, "C:\\Menu\\Autostart"), "Autostarts", 1, false},
    };
    std::string base = ProgramsFolder(0) + kTestGroup + "\\";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(base);
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), NULL));
        ASSERT_TRUE(CreateDirectoryA((base + c.group).c_str(), NULL));
        WriteUserShellFolder("Startup", c.startup);

        EXPECT_EQ(c.result, RemoveProgramGroup(0, (std::string(kTestGroup) + "\\" + c.group).c_str()));
        EXPECT_EQ(c.remains, DirectoryExists(base + c.group));
    }
}

TEST_F(ProgramGroups, JapaneseStartupSpellingsAreProtected)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "needs code page 932";
    struct {
        const char* name;
        const char* group;
    } cases[] = {
        // "sutaatoappu" in half-width katakana
        {"half-width katakana", "\xBD\xC0\xB0\xC4\xB1\xAF\xCC\xDF"},
        // the same in full-width katakana
        {"full-width katakana", "\x83\x58\x83\x5E\x81\x5B\x83\x67\x83\x41\x83\x62\x83\x76"},
        // half-width katakana with a blank
        {"half-width katakana with a blank", "\xBD\xC0\xB0\xC4\x20\xB1\xAF\xCC\xDF"},
        // hiragana
        {"hiragana", "\x82\xB7\x82\xBD\x81\x5B\x82\xC6\x82\xA0\x82\xC1\x82\xD5"},
    };
    for (int common = 0; common <= 1; ++common) {
        std::string base = ProgramsFolder(common) + kTestGroup + "\\";
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (common ? ", all users" : ", user"));
            RemoveTree(base);
            ASSERT_TRUE(CreateDirectoryA(base.c_str(), NULL));
            ASSERT_TRUE(CreateDirectoryA((base + c.group).c_str(), NULL));
            EXPECT_EQ(1, RemoveProgramGroup(common, (std::string(kTestGroup) + "\\" + c.group).c_str()));
            EXPECT_TRUE(DirectoryExists(base + c.group));
        }
    }
    // An ordinary Japanese group name ending in the byte 0x5C still goes:
    // the kanji "hyou" is no backslash.
    std::string base = ProgramsFolder(0) + kTestGroup + "\\";
    std::string kanji = "\x95\x5C";
    ASSERT_TRUE(CreateDirectoryA((base + kanji).c_str(), NULL));
    EXPECT_EQ(1, RemoveProgramGroup(0, (std::string(kTestGroup) + "\\" + kanji).c_str()));
    EXPECT_FALSE(DirectoryExists(base + kanji));
}

TEST_F(ProgramGroups, TheProgramsFolderItselfIsNeverAGroup)
{
    // An empty Programs folder of the user's own, which a removal of the
    // folder itself would take away.
    std::string programs = MakeSandboxDir("empty-programs") + "Programs";
    ASSERT_TRUE(CreateDirectoryA(programs.c_str(), NULL));
    WriteUserShellFolder("Programs", StringValue(REG_SZ, programs));
    for (const char* group : {"", "\\", "\\\\"}) {
        SCOPED_TRACE(std::string("group \"") + group + "\"");
        EXPECT_EQ(0, RemoveProgramGroup(0, group));
        EXPECT_TRUE(DirectoryExists(programs));
    }
    RemoveTree(programs);
}

TEST_F(ProgramGroups, NothingOutsideTheProgramsFolderIsAGroup)
{
    // An empty folder beside the Programs folder, reached by a parent step.
    std::string outside = ProgramsFolder(0) + "..\\Tarnwick Test Outside";
    RemoveTree(outside);
    ASSERT_TRUE(CreateDirectoryA(outside.c_str(), NULL));
    for (const char* group : {"..\\Tarnwick Test Outside", "Tarnwick Test Group\\..\\..\\Tarnwick Test Outside"}) {
        SCOPED_TRACE(group);
        EXPECT_EQ(0, RemoveProgramGroup(0, group));
        EXPECT_TRUE(DirectoryExists(outside));
    }
    RemoveTree(outside);
}

TEST_F(ProgramGroups, RefusesAGroupPathLongerThanItsBuffer)
{
    // The longest group that fits goes; one character more is refused, and
    // never cut back to the folder of the shorter name.
    std::string programs = ProgramsFolder(0);
    std::string base = programs + kTestGroup + "\\";
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), NULL));
    std::string fits(MAX_PATH - 1 - base.size(), 'g');
    ASSERT_TRUE(CreateDirectoryA((base + fits).c_str(), NULL)) << GetLastError();

    EXPECT_EQ(0, RemoveProgramGroup(0, (std::string(kTestGroup) + "\\" + fits + "g").c_str()));
    EXPECT_TRUE(DirectoryExists(base + fits));

    EXPECT_EQ(1, RemoveProgramGroup(0, (std::string(kTestGroup) + "\\" + fits).c_str()));
    EXPECT_FALSE(DirectoryExists(base + fits));
}

TEST_F(ProgramGroups, NoProgramsFolderMeansFailureEvenForStartup)
{
    SavedValue nowhere = StringValue(REG_SZ, "C:\\Tarnwick No Such Folder\\Programs");
    WriteUserShellFolder("Programs", nowhere);
    EXPECT_EQ(0, RemoveProgramGroup(0, "Startup"));
    EXPECT_EQ(0, RemoveProgramGroup(0, "Sample Tools"));
}
