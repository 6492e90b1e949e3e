// Listed files with their side files, and pending directories, on the real
// Wine file system; the side-file lines as they reach the detail log.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/common.h"
#include "common/guard.h"
#include "ui/ui.h"
#include "worker/worker.h"
#include "test_support.h"

namespace {

// The status texts as the user reads them in the log.
std::string DeletedText()
{
    // Japanese: "wo sakujo shimashita." in Shift-JIS
    return IsCodePage932() ? "\x82\xF0\x8D\xED\x8F\x9C\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42"
                           : "- deleted.";
}

std::string FailedText()
{
    // Japanese: "no sakujo ni shippai shimashita." in Shift-JIS
    return IsCodePage932()
        ? "\x82\xCC\x8D\xED\x8F\x9C\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42"
        : "- failed to delete.";
}

std::string SideLine(const std::string& path, const std::string& status)
{
    return "  " + path + " " + status + "\r\n";
}

// What one call adds to the process-wide detail log.
struct LoggedCall {
    int result;
    std::string log;
};

LoggedCall DeleteAndCaptureLog(const std::string& path)
{
    size_t before = lstrlenA(GetDetailLogText());
    LoggedCall call;
    call.result = DeleteListedFile(path.c_str());
    call.log = std::string(GetDetailLogText()).substr(before);
    return call;
}

// Creates the sandbox entries: "name/" is a directory, "*name" a read-only
// file, anything else a plain file. (A trailing backslash cannot mark a
// directory: a double-byte name may end in the byte 0x5C.)
void CreateEntries(const std::string& dir, const std::vector<std::string>& entries)
{
    for (std::string e : entries) {
        bool readOnly = e[0] == '*';
        if (readOnly)
            e = e.substr(1);
        if (e.back() == '/') {
            e.pop_back();
            ASSERT_TRUE(CreateDirectoryA((dir + e).c_str(), NULL)) << e;
            continue;
        }
        WriteFileBytes(dir + e, "x");
        ASSERT_TRUE(FileExists(dir + e)) << e;
        if (readOnly)
            SetFileAttributesA((dir + e).c_str(), FILE_ATTRIBUTE_READONLY);
    }
}

bool EntryExists(const std::string& dir, std::string e)
{
    if (e[0] == '*')
        e = e.substr(1);
    if (e.back() == '/')
        return DirectoryExists(dir + e.substr(0, e.size() - 1));
    return FileExists(dir + e);
}

struct SideFileCase {
    const char* name;
    std::vector<std::string> entries;     // created in the sandbox
    std::string listed;                   // passed to DeleteListedFile
    int result;
    std::vector<std::string> logged;      // side files logged as deleted, in order
    std::vector<std::string> remaining;   // entries that must still be there
};

void RunSideFileCases(const std::string& sandboxName, const std::vector<SideFileCase>& cases)
{
    for (const SideFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = MakeSandboxDir(sandboxName);
        CreateEntries(dir, c.entries);

        LoggedCall call = DeleteAndCaptureLog(dir + c.listed);

        EXPECT_EQ(c.result, call.result != 0);
        std::string expectedLog;
        for (const std::string& side : c.logged)
            expectedLog += SideLine(dir + side, DeletedText());
        EXPECT_EQ(expectedLog, call.log);
        EXPECT_FALSE(FileExists(dir + c.listed));
        for (const std::string& e : c.entries) {
            bool shouldRemain = false;
            for (const std::string& r : c.remaining)
                shouldRemain = shouldRemain || r == e;
            EXPECT_EQ(shouldRemain, EntryExists(dir, e)) << e;
        }
        RemoveTree(dir);
    }
}

}  // namespace

TEST(DeleteListedFile, DeletesSideFilesByExtension)
{
    std::vector<SideFileCase> cases = {
        {"help file with its index, no full-text file", {"APP.HLP", "APP.GID"}, "APP.HLP", 1,
         {"APP.gid"}, {}},
        {"help file with both index files", {"Guide.hlp", "Guide.fts", "Guide.gid"}, "Guide.hlp", 1,
         {"Guide.gid", "Guide.fts"}, {}},
        {"help file with a full-text file only", {"Ref.Hlp", "Ref.fts"}, "Ref.Hlp", 1, {"Ref.fts"}, {}},
        {"program with a read-only information file", {"Tool.Exe", "*Tool.pif"}, "Tool.Exe", 1,
         {"Tool.pif"}, {}},
        {"command file", {"run.COM", "run.pif"}, "run.COM", 1, {"run.pif"}, {}},
        {"a program has no help index", {"x.exe", "x.gid", "x.fts"}, "x.exe", 1, {},
         {"x.gid", "x.fts"}},
        {"a help file has no information file", {"y.hlp", "y.pif"}, "y.hlp", 1, {}, {"y.pif"}},
        {"only the last dot counts", {"notes.hlp.txt", "notes.hlp.gid", "notes.gid", "notes.hlp.fts"},
         "notes.hlp.txt", 1, {}, {"notes.hlp.gid", "notes.gid", "notes.hlp.fts"}},
        {"the last dot in a directory name", {"My.App/", "My.App\\readme", "My.gid", "My.pif"},
         "My.App\\readme", 1, {}, {"My.App/", "My.gid", "My.pif"}},
        {"a help-like directory name", {"Old.hlp/", "Old.hlp\\readme", "Old.gid"}, "Old.hlp\\readme", 1,
         {}, {"Old.hlp/", "Old.gid"}},
        {"no extension at all", {"README", "README.gid"}, "README", 1, {}, {"README.gid"}},
        {"a read-only listed file", {"*locked.txt"}, "locked.txt", 1, {}, {}},
        {"a program already gone, its information file left", {"gone.pif"}, "gone.exe", 0,
         {"gone.pif"}, {}},
        {"a side-file name that is a directory", {"Doc.hlp", "Doc.gid/", "Doc.fts"}, "Doc.hlp", 1,
         {"Doc.fts"}, {"Doc.gid/"}},
        {"nothing there", {}, "none.hlp", 0, {}, {}},
    };
    RunSideFileCases("remove-files", cases);
}

TEST(DeleteListedFile, StepsOverDoubleByteCharacters)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "needs code page 932";
    // "\x95\x5C" is the kanji "hyou" and "\x83\x5C" the katakana "so": both
    // end in the byte of a backslash.
    std::vector<SideFileCase> cases = {
        {"kanji name before the dot", {"\x95\x5C" ".hlp", "\x95\x5C" ".gid"}, "\x95\x5C" ".hlp", 1,
         {"\x95\x5C" ".gid"}, {}},
        {"katakana name before the dot", {"\x83\x5C" ".exe", "\x83\x5C" ".pif"}, "\x83\x5C" ".exe", 1,
         {"\x83\x5C" ".pif"}, {}},
        {"program in a directory ending in a kanji",
         {"\x95\x5C" "/", "\x95\x5C" "\\Tool.exe", "\x95\x5C" "\\Tool.pif"}, "\x95\x5C" "\\Tool.exe", 1,
         {"\x95\x5C" "\\Tool.pif"}, {"\x95\x5C" "/"}},
        {"no dot at all", {"\x83\x5C" "/", "\x83\x5C" "\\x", "\x83\x5C" ".gid"}, "\x83\x5C" "\\x", 1, {},
         {"\x83\x5C" "/", "\x83\x5C" ".gid"}},
        {"the last dot in a directory name",
         {"\x83\x5C" ".hlp/", "\x83\x5C" ".hlp\\\x95\x5C", "\x83\x5C" ".gid"}, "\x83\x5C" ".hlp\\\x95\x5C", 1,
         {}, {"\x83\x5C" ".hlp/", "\x83\x5C" ".gid"}},
    };
    RunSideFileCases("remove-files-932", cases);
}

TEST(DeleteListedFile, LogsASideFileThatCannotBeDeleted)
{
    std::string dir = MakeSandboxDir("remove-files-busy-side");
    CreateEntries(dir, {"Busy.hlp", "Busy.gid", "Busy.fts"});
    HandleGuard busy(CreateFileA((dir + "Busy.gid").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL));
    ASSERT_NE(INVALID_HANDLE_VALUE, busy.Get());

    LoggedCall call = DeleteAndCaptureLog(dir + "Busy.hlp");

    EXPECT_NE(0, call.result);  // the result is the listed file's alone
    EXPECT_EQ(SideLine(dir + "Busy.gid", FailedText()) + SideLine(dir + "Busy.fts", DeletedText()), call.log);
    EXPECT_FALSE(FileExists(dir + "Busy.hlp"));
    EXPECT_TRUE(FileExists(dir + "Busy.gid"));
    busy.Close();
    RemoveTree(dir);
}

TEST(DeleteListedFile, ReadOnlyFileInUseStaysWithoutItsReadOnlyAttribute)
{
    std::string dir = MakeSandboxDir("remove-files-busy");
    CreateEntries(dir, {"*held.dat"});
    HandleGuard held(CreateFileA((dir + "held.dat").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL));
    ASSERT_NE(INVALID_HANDLE_VALUE, held.Get());

    LoggedCall call = DeleteAndCaptureLog(dir + "held.dat");

    EXPECT_EQ(0, call.result);
    EXPECT_EQ("", call.log);
    DWORD attributes = GetFileAttributesA((dir + "held.dat").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_READONLY);
    held.Close();
    RemoveTree(dir);
}

TEST(DeleteListedFile, RefusesAPathLongerThanItsBuffer)
{
    std::string dir = MakeSandboxDir("remove-files-long");
    // A help file whose path takes exactly 259 characters still has its
    // index file deleted; one character more and nothing is touched.
    std::string stem = dir + std::string(MAX_PATH - 1 - dir.size() - 4, 'h');
    ASSERT_EQ(255u, stem.size());
    WriteFileBytes(stem + ".hlp", "x");
    WriteFileBytes(stem + ".gid", "x");
    ASSERT_TRUE(FileExists(stem + ".hlp"));

    LoggedCall call = DeleteAndCaptureLog(stem + ".hlp");
    EXPECT_NE(0, call.result);
    EXPECT_EQ(SideLine(stem + ".gid", DeletedText()), call.log);
    EXPECT_FALSE(FileExists(stem + ".gid"));

    call = DeleteAndCaptureLog(stem + "h.hlp");
    EXPECT_EQ(0, call.result);
    EXPECT_EQ("", call.log);
    RemoveTree(dir);
}

TEST(IsExistingFile, TellsFilesFromDirectoriesAndMissingPaths)
{
    std::string dir = MakeSandboxDir("existing-file");
    CreateEntries(dir, {"file.txt", "*ro.txt", "sub/"});
    struct {
        const char* name;
        std::string path;
        int exists;
    } cases[] = {
        {"plain file", dir + "file.txt", 1},
        {"read-only file", dir + "ro.txt", 1},
        {"directory", dir + "sub", 0},
        {"missing", dir + "missing.txt", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.exists, IsExistingFile(c.path.c_str()) != 0);
    }
    RemoveTree(dir);
}

TEST(RemoveListedDirectory, RemovesOnlyAnEmptyDirectory)
{
    std::string dir = MakeSandboxDir("remove-directory");
    CreateEntries(dir, {"App/", "App\\left.txt", "Tree/", "Tree\\Sub/"});

    EXPECT_EQ(0, RemoveListedDirectory((dir + "App\\").c_str()));
    EXPECT_TRUE(FileExists(dir + "App\\left.txt"));
    EXPECT_EQ(0, RemoveListedDirectory((dir + "Tree\\").c_str()));  // never recursive
    EXPECT_TRUE(DirectoryExists(dir + "Tree\\Sub"));
    EXPECT_EQ(0, RemoveListedDirectory((dir + "Missing\\").c_str()));

    ASSERT_TRUE(DeleteFileA((dir + "App\\left.txt").c_str()));
    EXPECT_NE(0, RemoveListedDirectory((dir + "App\\").c_str()));
    EXPECT_FALSE(DirectoryExists(dir + "App"));
    RemoveTree(dir);
}

TEST(RemoveListedDirectory, RemovesADirectoryEndingInADoubleByteCharacter)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "needs code page 932";
    std::string dir = MakeSandboxDir("remove-directory-932");
    std::string kanjiDir = dir + "\x95\x5C";  // kanji "hyou", trail byte 0x5C
    ASSERT_TRUE(CreateDirectoryA(kanjiDir.c_str(), NULL));
    EXPECT_NE(0, RemoveListedDirectory((kanjiDir + "\\").c_str()));
    EXPECT_FALSE(DirectoryExists(kanjiDir));
    RemoveTree(dir);
}
