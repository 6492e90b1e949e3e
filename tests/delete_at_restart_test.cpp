// Deletion at restart on both platform families: the pending file
// operations of the NT family, and WININIT.INI's [Rename] section as a child
// program sees it when Wine reports Windows 98 to it.

#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

#include "common/common.h"
#include "common/guard.h"
#include "worker/worker.h"
#include "test_support.h"
#include "personality_9x.h"

namespace {

const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";
const char kChildCopyName[] = "tw_restart98.exe";

std::string WininitPath()
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, COUNTOF(dir));
    std::string path = dir;
    if (path.back() != '\\')
        path += '\\';
    return path + "WININIT.INI";
}

// The strings of a REG_MULTI_SZ value.
std::vector<std::string> SplitMultiString(const std::string& bytes)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos)
            end = bytes.size();
        parts.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    while (!parts.empty() && parts.back().empty())
        parts.pop_back();
    return parts;
}

// The lines of one section of an INI text, in file order (blank lines left
// out); sectionFound tells whether the header was there.
std::vector<std::string> SectionLines(const std::string& text, const std::string& section, bool* sectionFound)
{
    std::vector<std::string> lines;
    *sectionFound = false;
    bool inside = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            inside = lstrcmpiA(line.c_str(), ("[" + section + "]").c_str()) == 0;
            *sectionFound = *sectionFound || inside;
            continue;
        }
        if (inside && !line.empty())
            lines.push_back(line);
    }
    return lines;
}

std::string ShortPathOf(const std::string& path)
{
    char shortPath[MAX_PATH];
    DWORD cch = GetShortPathNameA(path.c_str(), shortPath, COUNTOF(shortPath));
    return cch > 0 && cch < COUNTOF(shortPath) ? shortPath : "";
}

// Every component of a short path fits the 8.3 form.
bool IsEightDotThree(const std::string& path)
{
    size_t start = path.find('\\');
    while (start != std::string::npos) {
        size_t end = path.find('\\', start + 1);
        std::string part = path.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        size_t dot = part.find('.');
        std::string base = part.substr(0, dot);
        std::string ext = dot == std::string::npos ? "" : part.substr(dot + 1);
        if (base.size() > 8 || ext.size() > 3 || part.find(' ') != std::string::npos)
            return false;
        start = end;
    }
    return true;
}

// A [Rename] section of `count` pending deletions; its entries in *lines.
std::string PendingSection(int count, std::vector<std::string>* lines)
{
    std::string ini = "[Rename]\r\n";
    for (int i = 0; i < count; ++i) {
        char line[64];
        wsprintfA(line, "NUL=C:\\WINDOWS\\TEMP\\PENDING\\FILE%04d.TMP", i);
        lines->push_back(line);
        ini += std::string(line) + "\r\n";
    }
    return ini;
}

// Saves WININIT.INI and the pending file operations before each test and
// puts both back afterwards, so the prefix keeps what it had.
class DeleteAtRestart : public testing::Test {
protected:
    void SetUp() override
    {
        wininit_ = WininitPath();
        hadWininit_ = FileExists(wininit_);
        if (hadWininit_)
            savedWininit_ = ReadFileBytes(wininit_);
        DeleteFileA(wininit_.c_str());
        savedPending_ = ReadRegistryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingValue);
        dir_ = MakeSandboxDir("delete-at-restart");
        longDir_ = dir_ + "Long Directory Name For Restart\\";
        CreateDirectoryA(longDir_.c_str(), NULL);
        victim_ = longDir_ + "victim file name.bin";
        WriteFileBytes(victim_, "x");
    }

    void TearDown() override
    {
        DeleteFileA(wininit_.c_str());
        if (hadWininit_)
            WriteFileBytes(wininit_, savedWininit_);
        RestoreRegistryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingValue, savedPending_);
        std::string appDefaults = std::string("Software\\Wine\\AppDefaults\\") + kChildCopyName;
        DeleteKeyTreeForTest(HKEY_CURRENT_USER, appDefaults);
        RemoveTree(dir_);
    }

    // Runs a copy of the child program that Wine treats as a Windows 98
    // program, with the given files, under the 9x personality unless the
    // case is an emulator's (a 9x version without 9x answers); returns what
    // it printed.
    std::string RunChildAsWindows98(const std::vector<std::string>& files, bool under9x = true)
    {
        std::string child = BuildTreePath("tests/restart_child.exe");
        std::string copy = dir_ + kChildCopyName;
        EXPECT_TRUE(CopyFileA(child.c_str(), copy.c_str(), FALSE)) << child;

        KeyGuard key;
        std::string appDefaults = std::string("Software\\Wine\\AppDefaults\\") + kChildCopyName;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, appDefaults.c_str(), 0, NULL, 0,
                                                 KEY_ALL_ACCESS, NULL, key.Out(), NULL));
        RegSetValueExA(key.Get(), "Version", 0, REG_SZ, (const BYTE*)"win98", 6);

        std::string commandLine = "\"" + copy + "\"";
        for (const std::string& f : files)
            commandLine += " \"" + f + "\"";
        std::string outputPath = dir_ + "child-output.txt";
        std::string reportPath = dir_ + "personality.txt";
        DeleteFileA(reportPath.c_str());
        SetEnvironmentVariableA(TW_PERSONALITY_9X_REPORT, reportPath.c_str());
        ChildProgram program;
        int started = program.Start(commandLine, outputPath, under9x);
        SetEnvironmentVariableA(TW_PERSONALITY_9X_REPORT, NULL);
        if (!started) {
            ADD_FAILURE() << "cannot start " << copy;
            return "";
        }
        EXPECT_TRUE(program.Wait(60000));
        // The answers came from the 9x personality, and it knew every call.
        std::string report = ReadFileBytes(reportPath);
        EXPECT_EQ(under9x, report.find(std::string(kChildCopyName) + ": active\r\n") != std::string::npos)
            << report;
        EXPECT_EQ(std::string::npos, report.find(": no row:")) << report;
        EXPECT_EQ(std::string::npos, report.find(": missing on 9x:")) << report;
        std::string printed = ReadFileBytes(outputPath);
        printed.erase(std::remove(printed.begin(), printed.end(), '\r'), printed.end());
        return printed;
    }

    std::string wininit_;
    bool hadWininit_ = false;
    std::string savedWininit_;
    SavedValue savedPending_;
    std::string dir_;
    std::string longDir_;
    std::string victim_;
};

}  // namespace

// True when the pending file operations delete `name` (an NT path) at
// restart: pairs of names, the file and then an empty new name (the split
// drops the empty names at the very end).
static bool IsPendingDeletion(const std::string& name)
{
    SavedValue pending = ReadRegistryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingValue);
    std::vector<std::string> entries = SplitMultiString(pending.bytes);
    bool scheduled = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (lstrcmpiA(entries[i].c_str(), name.c_str()) == 0)
            scheduled = i + 1 >= entries.size() || entries[i + 1].empty();
    }
    return scheduled;
}

TEST_F(DeleteAtRestart, NtFamilyUsesThePendingFileOperations)
{
    ASSERT_NE(0, IsNtPlatform());
    ASSERT_NE(0, ScheduleDeleteAtRestart(victim_.c_str()));
    EXPECT_TRUE(IsPendingDeletion("\\??\\" + victim_));
    EXPECT_FALSE(FileExists(wininit_));
}

TEST_F(DeleteAtRestart, NtFamilyRemovesADirectoryAtRestartByItsName)
{
    ASSERT_NE(0, IsNtPlatform());
    ASSERT_NE(0, ScheduleDirectoryRemovalAtRestart(longDir_.c_str()));
    // Named without the final backslash, as the system names a directory.
    EXPECT_TRUE(IsPendingDeletion("\\??\\" + longDir_.substr(0, longDir_.size() - 1)));
}

TEST_F(DeleteAtRestart, Windows98CannotRemoveADirectoryAtRestart)
{
    // WININIT.INI deletes files only: a directory is never written there.
    // (The name goes without its final backslash, which would escape the
    // quote of the child's command line.)
    EXPECT_EQ("platform=1 nt=0\nresult=0\n", RunChildAsWindows98({ "--directories", longDir_.substr(0, longDir_.size() - 1) }));
    EXPECT_FALSE(FileExists(wininit_));
}

TEST_F(DeleteAtRestart, Windows98ChildSeesThe9xFamily)
{
    std::string out = RunChildAsWindows98({});
    EXPECT_EQ("platform=1 nt=0\n", out);
}

TEST_F(DeleteAtRestart, Windows98CreatesWininitWithOneShortEntry)
{
    std::string shortPath = ShortPathOf(victim_);
    ASSERT_NE("", shortPath);
    EXPECT_NE(victim_, shortPath);
    EXPECT_TRUE(IsEightDotThree(shortPath)) << shortPath;

    std::string out = RunChildAsWindows98({victim_});

    EXPECT_EQ("platform=1 nt=0\nresult=1\n", out);
    bool found = false;
    std::vector<std::string> lines = SectionLines(ReadFileBytes(wininit_), "Rename", &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(std::vector<std::string>{"NUL=" + shortPath}, lines);
    // The NT mechanism is left alone.
    SavedValue pending = ReadRegistryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingValue);
    EXPECT_EQ(savedPending_.present, pending.present);
    EXPECT_EQ(savedPending_.bytes, pending.bytes);
}

TEST_F(DeleteAtRestart, Windows98KeepsEveryEntryAndAppendsTheNewOneLast)
{
    WriteFileBytes(wininit_,
                   "[Other]\r\nkeep=this\r\n"
                   "[Rename]\r\nNUL=C:\\OLDSTUFF\\OLD1.TMP\r\nC:\\WINDOWS\\NEW.DLL=C:\\WINDOWS\\TEMP\\NEW.DLL\r\n"
                   "NUL=C:\\OLDSTUFF\\OLD2.TMP\r\n");
    std::string shortPath = ShortPathOf(victim_);

    // The same file twice gives two equal entries.
    std::string out = RunChildAsWindows98({victim_, victim_});

    EXPECT_EQ("platform=1 nt=0\nresult=1\nresult=1\n", out);
    std::string text = ReadFileBytes(wininit_);
    bool found = false;
    std::vector<std::string> expected = {
        "NUL=C:\\OLDSTUFF\\OLD1.TMP", "C:\\WINDOWS\\NEW.DLL=C:\\WINDOWS\\TEMP\\NEW.DLL",
        "NUL=C:\\OLDSTUFF\\OLD2.TMP", "NUL=" + shortPath, "NUL=" + shortPath,
    };
    EXPECT_EQ(expected, SectionLines(text, "Rename", &found));
    EXPECT_EQ(std::vector<std::string>{"keep=this"}, SectionLines(text, "Other", &found));
}

TEST_F(DeleteAtRestart, Windows98KeepsASectionLargerThanTheProfileBuffer)
{
    // Wine has no limit on profile sections, unlike the 9x family: an
    // emulator that reports Windows 98 without its limits.
    std::vector<std::string> expected;
    std::string ini = PendingSection(1500, &expected);
    ASSERT_GT(ini.size(), 0x7FFFu + 20000u);
    WriteFileBytes(wininit_, ini);
    expected.push_back("NUL=" + ShortPathOf(victim_));

    std::string out = RunChildAsWindows98({victim_}, false);

    EXPECT_EQ("platform=1 nt=0\nresult=1\n", out);
    bool found = false;
    std::vector<std::string> lines = SectionLines(ReadFileBytes(wininit_), "Rename", &found);
    EXPECT_EQ(expected.size(), lines.size());
    EXPECT_TRUE(expected == lines) << "first difference at entry "
                                   << std::mismatch(lines.begin(), lines.end(), expected.begin(), expected.end()).first - lines.begin();
}

// The profile functions of the 9x family handle at most 32,767 characters
// of a section. A list cut there when read, or one that only the new entry
// would take past it, stays as it was.
TEST_F(DeleteAtRestart, Windows98LeavesAListAtTheProfileLimitAlone)
{
    struct Case {
        const char* name;
        int entries;
        bool beyondLimit;
    };
    const Case cases[] = {
        {"cut when read", 1500, true},
        {"too long with the new entry", 799, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines;
        std::string ini = PendingSection(c.entries, &lines);
        size_t cchAnswer = 0;
        for (const std::string& line : lines)
            cchAnswer += line.size() + 1;
        // The first list lies beyond the limit; the second within it, with
        // no room left for an entry of ten characters.
        ASSERT_TRUE(c.beyondLimit ? cchAnswer > 32767 : cchAnswer + 2 < 32767 && cchAnswer + 10 > 32767);
        WriteFileBytes(wininit_, ini);

        EXPECT_EQ("platform=1 nt=0\nresult=0\n", RunChildAsWindows98({victim_}));
        EXPECT_TRUE(ReadFileBytes(wininit_) == ini);
    }
}

TEST_F(DeleteAtRestart, AddWininitDeletionRefusesAFileWithoutAShortName)
{
    // A file that is not there has no short path: nothing sound to write.
    EXPECT_EQ(0, AddWininitDeletion((dir_ + "missing.bin").c_str()));
    EXPECT_FALSE(FileExists(wininit_));
}
