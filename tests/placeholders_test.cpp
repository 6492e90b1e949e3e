// Folder placeholders: which installed uninstaller's folder <app> may stand
// for, and how a listed path comes out with a placeholder's folder.

#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>

#include "common/common.h"
#include "worker/worker.h"
#include "test_support.h"

namespace {

std::string ShortPath(const std::string& path)
{
    char shortPath[MAX_PATH];
    DWORD cch = GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
    return cch > 0 && cch < MAX_PATH ? shortPath : "";
}

// <app> is the launcher's folder only when the installed-programs entry
// names that uninstaller or that folder.
TEST(Placeholders, ApplicationFolderOnlyWhereTheEntryNamesTheUninstaller)
{
    std::string sandbox = MakeSandboxDir("placeholders");
    // Under code page 932 the folder ends in a character whose trail byte is
    // a backslash (0x95 0x5C).
    std::string app = sandbox + (IsCodePage932() ? "Sample \x95\x5C" : "Sample App");
    ASSERT_TRUE(CreateDirectoryA(app.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((sandbox + "Elsewhere").c_str(), NULL));
    WriteFileBytes(app + "\\uninst.exe", "MZ");
    WriteFileBytes(sandbox + "Elsewhere\\uninst.exe", "MZ");
    std::string exe = app + "\\uninst.exe";
    std::string shortApp = ShortPath(app);
    ASSERT_NE("", shortApp);
    std::string upper = exe;
    CharUpperA(&upper[0]);

    struct Row {
        const char* name;
        std::string uninstallString, installLocation;
        bool trusted;
    } rows[] = {
        { "quoted, with its switch", "\"" + exe + "\" /s", "", true },
        { "unquoted, blanks in the path", exe + " /s", "", true },
        { "in another case", "\"" + upper + "\" /s", "", true },
        { "by its short path", shortApp + "\\uninst.exe /s", "", true },
        { "the folder as InstallLocation", "", app + "\\", true },
        { "a copy elsewhere", "\"" + sandbox + "Elsewhere\\uninst.exe\" /s", "", false },
        { "a longer name", "\"" + exe + "x\" /s", "", false },
        { "the parent as InstallLocation", "", sandbox, false },
        { "nothing", "", "", false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        char folder[MAX_PATH] = "x";
        int trusted = TakeApplicationFolder(exe.c_str(), row.uninstallString.c_str(),
                                            row.installLocation.c_str(), folder);
        EXPECT_EQ(row.trusted, trusted != 0);
        EXPECT_EQ(row.trusted ? app : "", std::string(folder));
    }
    RemoveTree(sandbox);
}

TEST(Placeholders, ListedPathsWithTheirFolders)
{
    PlaceholderFolders folders;
    ZeroMemory(&folders, sizeof(folders));
    CopyText(folders.paths[PLACEHOLDER_APP], MAX_PATH, "C:\\Apps\\Sample");
    CopyText(folders.paths[PLACEHOLDER_SYSTEM], MAX_PATH, "D:\\");
    std::string longName(250, 'n');

    struct Row {
        std::string listed;
        PathExpansion expansion;
        const char* path;
    } rows[] = {
        { "C:\\Other\\x.txt", PATH_AS_LISTED, "C:\\Other\\x.txt" },
        { "<app>\\x.txt", PATH_EXPANDED, "C:\\Apps\\Sample\\x.txt" },
        { "<APP>\\Data\\", PATH_EXPANDED, "C:\\Apps\\Sample\\Data\\" },
        { "<app>", PATH_EXPANDED, "C:\\Apps\\Sample" },
        { "<system>\\x.dll", PATH_EXPANDED, "D:\\x.dll" },
        { "<app>x.txt", PATH_UNRESOLVED, "" },
        { "<apps>\\x.txt", PATH_UNRESOLVED, "" },
        { "<desktop>\\x.lnk", PATH_UNRESOLVED, "" },   // no folder in this run
        { "<app>\\" + longName, PATH_TOO_LONG, NULL },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.listed);
        char path[MAX_PATH];
        EXPECT_EQ(row.expansion, ExpandListedPath(&folders, row.listed.c_str(), path, COUNTOF(path)));
        if (row.path != NULL)
            EXPECT_STREQ(row.path, path);
    }
}

// A group may name its Programs folder by placeholder; no other folder.
TEST(Placeholders, GroupsBelowTheProgramsFolderNamedByPlaceholder)
{
    PlaceholderFolders folders;
    ZeroMemory(&folders, sizeof(folders));
    ASSERT_TRUE(TakeProgramsFolder(0, folders.paths[PLACEHOLDER_PROGRAMS]));
    ASSERT_TRUE(TakeShellFolder(CSIDL_DESKTOPDIRECTORY, folders.paths[PLACEHOLDER_DESKTOP]));
    char folder[MAX_PATH];
    // CommonGroup 1 is overruled by the placeholder.
    EXPECT_EQ(GROUP_FOLDER, ResolveListedGroup(&folders, 1, "<programs>\\Tarnwick Test", folder, COUNTOF(folder)));
    EXPECT_EQ(std::string(folders.paths[PLACEHOLDER_PROGRAMS]) + "\\Tarnwick Test", folder);
    EXPECT_EQ(GROUP_REFUSED, ResolveListedGroup(&folders, 0, "<desktop>\\Tarnwick Test", folder, COUNTOF(folder)));
    EXPECT_EQ(GROUP_REFUSED, ResolveListedGroup(&folders, 0, "<programs>", folder, COUNTOF(folder)));
}

}  // namespace
