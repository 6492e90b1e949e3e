// The twpack program as a vendor meets it: the real executable run on real
// files in a temporary directory, its output, its files and its exit codes.

#include <gtest/gtest.h>

#include <string>

#include "native_support.h"
#include "pack.h"

namespace {

const std::string kGoodInfo =
    "[Options]\r\nUninstallKey=Sample App\r\n[Files]\r\n0=C:\\Program Files\\Sample App\\sample.exe\r\n"
    "1=C:\\Program Files\\Sample App\\\r\n[Registry_CURRENT_USER]\r\n0=Software\\Sample Vendor\\Sample App\r\n";
const std::string kGapInfo = "[Options]\r\nUninstallKey=Sample App\r\n[Files]\r\n0=C:\\a.txt\r\n2=C:\\b.txt\r\n";
const std::string kWarningInfo = "[Options]\r\nUninstallKey=Sample App\r\n[Group]\r\n0=Startup\r\n";

struct Workspace {
    std::string dir;
    std::string image;
    explicit Workspace(const char* name) : dir(MakeTempDir(name)), image(FakeUninstallerImage())
    {
        WriteBytes(dir + "twuninst.exe", image);
        WriteBytes(dir + "info.ini", kGoodInfo);
    }
    RunResult Run(const std::string& words) const { return RunTwpackProgram(dir, words); }
};

bool Contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

}  // namespace

TEST(TwpackProgram, BuildsExtractsAndChecksAnUninstaller)
{
    Workspace w("roundtrip");
    RunResult built = w.Run("build twuninst.exe info.ini -o uninst.exe");
    EXPECT_EQ(0, built.code) << built.err;
    EXPECT_TRUE(Contains(built.out, "wrote uninst.exe")) << built.out;
    EXPECT_EQ("", built.err);
    EXPECT_EQ(AppendBlock(w.image, kGoodInfo), ReadBytes(w.dir + "uninst.exe"));
    EXPECT_EQ(w.image, ReadBytes(w.dir + "twuninst.exe"));  // the input stays as it was

    RunResult toStdout = w.Run("extract uninst.exe");
    EXPECT_EQ(0, toStdout.code) << toStdout.err;
    EXPECT_EQ(kGoodInfo, toStdout.out);

    RunResult toFile = w.Run("extract uninst.exe -o back.ini");
    EXPECT_EQ(0, toFile.code) << toFile.err;
    EXPECT_EQ(kGoodInfo, ReadBytes(w.dir + "back.ini"));

    RunResult checked = w.Run("check uninst.exe");
    EXPECT_EQ(0, checked.code) << checked.out << checked.err;
    EXPECT_EQ("uninst.exe: no problems found\n", checked.out);
}

TEST(TwpackProgram, BuildGivesTheEntryValuesForTheInstalledUninstaller)
{
    Workspace w("entry");
    RunResult built = w.Run("build twuninst.exe info.ini -o uninst.exe --installed-as "
                            "'C:\\Program Files\\Sample App\\uninst.exe'");
    EXPECT_EQ(0, built.code) << built.err;
    EXPECT_TRUE(Contains(built.out, "\n  UninstallString       "
                                    "\"C:\\Program Files\\Sample App\\uninst.exe\" /s\n")) << built.out;
    EXPECT_TRUE(Contains(built.out, "\n  QuietUninstallString  "
                                    "\"C:\\Program Files\\Sample App\\uninst.exe\" /s /quiet\n")) << built.out;
}

TEST(TwpackProgram, RefusesAnUninstallerThatAlreadyCarriesInformation)
{
    Workspace w("replace");
    WriteBytes(w.dir + "uninst.exe", AppendBlock(w.image, "[Options]\r\nUninstallKey=Old\r\n"));

    RunResult refused = w.Run("build uninst.exe info.ini -o again.exe");
    EXPECT_EQ(1, refused.code);
    EXPECT_TRUE(Contains(refused.err, "already carries uninstall information")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "--replace")) << refused.err;
    EXPECT_FALSE(Exists(w.dir + "again.exe"));

    RunResult replaced = w.Run("build uninst.exe info.ini -o uninst.exe --replace");
    EXPECT_EQ(0, replaced.code) << replaced.err;
    EXPECT_TRUE(Contains(replaced.out, "replacing the information it carried")) << replaced.out;
    EXPECT_EQ(AppendBlock(w.image, kGoodInfo), ReadBytes(w.dir + "uninst.exe"));
}

TEST(TwpackProgram, BuildStopsOnErrorsUnlessForced)
{
    Workspace w("errors");
    WriteBytes(w.dir + "gap.ini", kGapInfo);
    RunResult refused = w.Run("build twuninst.exe gap.ini -o uninst.exe");
    EXPECT_EQ(1, refused.code);
    EXPECT_TRUE(Contains(refused.err, "gap.ini:5: error: [Files] 1\n    Key 1 is missing")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "not built, because the information has 1 error")) << refused.err;
    EXPECT_FALSE(Exists(w.dir + "uninst.exe"));

    RunResult forced = w.Run("build twuninst.exe gap.ini -o uninst.exe --force");
    EXPECT_EQ(0, forced.code) << forced.err;
    EXPECT_TRUE(Contains(forced.err, "Key 1 is missing")) << forced.err;
    EXPECT_EQ(AppendBlock(w.image, kGapInfo), ReadBytes(w.dir + "uninst.exe"));

    WriteBytes(w.dir + "warn.ini", kWarningInfo);
    RunResult warned = w.Run("build twuninst.exe warn.ini -o warned.exe");
    EXPECT_EQ(0, warned.code) << warned.err;
    EXPECT_TRUE(Contains(warned.err, "warn.ini:4: warning: [Group] 0")) << warned.err;
    EXPECT_TRUE(Exists(w.dir + "warned.exe"));
}

TEST(TwpackProgram, CheckReportsInTextAndJson)
{
    Workspace w("check");
    WriteBytes(w.dir + "gap.ini", kGapInfo);
    RunResult text = w.Run("check gap.ini");
    EXPECT_EQ(1, text.code);
    EXPECT_TRUE(Contains(text.out, "gap.ini: 1 error, 0 warnings\n")) << text.out;

    RunResult json = w.Run("check --json gap.ini");
    EXPECT_EQ(1, json.code);
    EXPECT_EQ(0u, json.out.find("{\"file\": \"gap.ini\", \"errors\": 1, \"warnings\": 0, \"findings\": [\n"
                                "  {\"level\": \"error\", \"section\": \"Files\", \"key\": \"1\", \"line\": 5, "
                                "\"message\": \"Key 1 is missing")) << json.out;

    WriteBytes(w.dir + "warn.ini", kWarningInfo);
    RunResult warned = w.Run("check warn.ini");
    EXPECT_EQ(0, warned.code) << warned.out;
    EXPECT_TRUE(Contains(warned.out, "warn.ini: 0 errors, 1 warning\n")) << warned.out;

    RunResult plain = w.Run("check --json twuninst.exe");
    EXPECT_EQ(1, plain.code);
    EXPECT_EQ(0u, plain.out.find("{\"file\": \"twuninst.exe\", \"errors\": 1, \"warnings\": 0, \"findings\": [\n"
                                 "  {\"level\": \"error\", \"section\": \"\", \"key\": \"\", \"line\": 0, "
                                 "\"message\": \"This program carries no uninstall information.")) << plain.out;

    WriteBytes(w.dir + "bad.exe", AppendBlock(w.image, kGapInfo));
    RunResult inside = w.Run("check bad.exe");
    EXPECT_EQ(1, inside.code);
    EXPECT_TRUE(Contains(inside.out, "bad.exe:5: error: [Files] 1")) << inside.out;
}

TEST(TwpackProgram, ExplainsMistakesOnTheCommandLine)
{
    Workspace w("mistakes");
    WriteBytes(w.dir + "empty.ini", "");
    struct Case {
        const char* words;
        int code;
        const char* message;   // on standard error
    } cases[] = {
        { "", 2, "usage: twpack build" },
        { "pack twuninst.exe", 2, "unknown command 'pack'" },
        { "build twuninst.exe info.ini", 2, "say where to write the result with -o" },
        { "build twuninst.exe", 2, "expected the uninstaller and the information file, got 1 file name" },
        { "build twuninst.exe info.ini -o", 2, "'-o' needs a file name after it" },
        { "build twuninst.exe info.ini -o x.exe --fast", 2, "unknown option '--fast'" },
        { "build nope.exe info.ini -o x.exe", 2, "cannot read the uninstaller 'nope.exe': No such file or directory" },
        { "build info.ini twuninst.exe -o x.exe", 1, "'info.ini' is not a Windows program" },
        { "build twuninst.exe twuninst.exe -o x.exe", 1, "looks like a program, not an information file" },
        { "build twuninst.exe empty.ini -o x.exe", 1, "is empty" },
        { "build twuninst.exe info.ini -o nodir/x.exe", 2, "cannot write 'nodir/x.exe'" },
        { "extract twuninst.exe", 1, "'twuninst.exe' carries no uninstall information" },
        { "extract", 2, "expected one uninstaller, got 0 file names" },
        { "check info.ini --replace", 2, "unknown option '--replace'" },
        { "check missing.ini", 2, "cannot read 'missing.ini'" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        RunResult r = w.Run(c.words);
        EXPECT_EQ(c.code, r.code);
        EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
    }
    EXPECT_FALSE(Exists(w.dir + "x.exe"));
}

TEST(TwpackProgram, HelpDescribesCommandsAndTheFile)
{
    Workspace w("help");
    for (const char* words : { "--help", "-h", "build --help" }) {
        SCOPED_TRACE(words);
        RunResult r = w.Run(words);
        EXPECT_EQ(0, r.code);
        for (const char* part : { "twpack build <twuninst.exe> <info.ini> -o <out.exe>", "Exit status: 0",
                                  "UninstallKey=Sample App", "list a directory after the directories\n    inside it" })
            EXPECT_TRUE(Contains(r.out, part)) << part;
        for (size_t at = 0, next; (next = r.out.find('\n', at)) != std::string::npos; at = next + 1)
            EXPECT_LT(next - at, 80u) << r.out.substr(at, next - at);
    }
}
