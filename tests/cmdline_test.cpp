// The command line: the text after the program name, the stage it selects,
// and the real executable asking for the Control Panel when started without
// a switch it knows.

#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <string>
#include <vector>

#include "common/common.h"
#include "entry/entry.h"
#include "res/resource.h"
#include "test_support.h"

namespace {

struct ClassifyCase {
    const char* name;
    const char* cmdLine;
    Stage stage;
    const char* path;   // expected path for STAGE_WORKER
};

const ClassifyCase kClassifyCases[] = {
    { "launcher switch", "/s", STAGE_LAUNCHER, NULL },
    { "launcher switch with trailing text", "/s anything", STAGE_LAUNCHER, NULL },
    { "launcher switch glued to text", "/sX", STAGE_LAUNCHER, NULL },
    { "worker with a path holding a blank", "/uC:\\Temp\\a b.ini", STAGE_WORKER, "C:\\Temp\\a b.ini" },
    { "worker path kept with blank and quotes", "/u \"C:\\x.ini\" ", STAGE_WORKER, " \"C:\\x.ini\" " },
    { "worker switch alone", "/u", STAGE_WORKER, "" },
    { "unknown switch", "/x", STAGE_ASK_CONTROL_PANEL, NULL },
    { "one character", "s", STAGE_ASK_CONTROL_PANEL, NULL },
    { "slash alone", "/", STAGE_ASK_CONTROL_PANEL, NULL },
    { "empty", "", STAGE_ASK_CONTROL_PANEL, NULL },
    { "upper-case launcher switch", "/S", STAGE_LAUNCHER, NULL },
    { "upper-case worker switch", "/UC:\\Temp\\a.ini", STAGE_ASK_CONTROL_PANEL, NULL },
    { "dash instead of slash", "-s", STAGE_ASK_CONTROL_PANEL, NULL },
    { "leading blank", " /s", STAGE_ASK_CONTROL_PANEL, NULL },
    { "switch letters reversed", "s/", STAGE_ASK_CONTROL_PANEL, NULL },
};

TEST(ClassifyCommandLine, FollowsTheSwitchRules)
{
    for (const ClassifyCase& c : kClassifyCases) {
        SCOPED_TRACE(c.name);
        const char* path = "untouched";
        Stage stage = ClassifyCommandLine(c.cmdLine, &path);
        EXPECT_EQ(c.stage, stage);
        if (c.stage == STAGE_WORKER) {
            EXPECT_STREQ(c.path, path);
            // The path is the caller's own text from the third character on.
            EXPECT_EQ(c.cmdLine + 2, path);
        } else {
            EXPECT_STREQ("untouched", path);
        }
    }
}

struct OptionsCase {
    const char* name;
    const char* text;   // the command line from its third character on
    int quiet;
    int logRequested;
    const char* logPath;   // NULL: requested, but too long to use
};

const OptionsCase kOptionsCases[] = {
    { "nothing after the switch", "", 0, 0, "" },
    { "quiet", " /quiet", 1, 0, "" },
    { "quiet and log, tab between", " /log=C:\\u.log\t/Quiet", 1, 1, "C:\\u.log" },
    { "log path with blanks in quotes", " /quiet /Log=\"C:\\My Logs\\u.log\"", 1, 1, "C:\\My Logs\\u.log" },
    { "whole option in quotes", " \"/LOG=C:\\My Logs\\u.log\"", 0, 1, "C:\\My Logs\\u.log" },
    { "quote never closed", " /log=\"C:\\a b.log", 0, 1, "C:\\a b.log" },
    { "the last log counts", " /log=a.log /log=b.log", 0, 1, "b.log" },
    { "empty log path", " /log=", 0, 1, "" },
    { "unknown options ignored", " /x /quietly /quiet=1 /log /logfile=a", 0, 0, "" },
    { "text glued to the switch is no option", "/quiet /log=a.log", 0, 1, "a.log" },
};

TEST(ParseLauncherOptions, ReadsQuietAndLog)
{
    for (const OptionsCase& c : kOptionsCases) {
        SCOPED_TRACE(c.name);
        LauncherOptions options;
        FillMemory(&options, sizeof(options), 0x55);
        ParseLauncherOptions(c.text, &options);
        EXPECT_EQ(c.quiet, options.quiet);
        EXPECT_EQ(c.logRequested, options.logRequested);
        EXPECT_EQ(c.logRequested && c.logPath != NULL, options.logPathFits != 0);
        EXPECT_STREQ(c.logPath != NULL ? c.logPath : "", options.logPath);
    }
}

TEST(ParseLauncherOptions, ReadsCloseApps)
{
    const struct {
        const char* text;
        int closeApps;
    } rows[] = { { " /quiet /CloseApps", 1 }, { " /closeapps=1 /closeapp /closeappsx", 0 }, { "/closeapps", 0 } };
    for (const auto& row : rows) {
        LauncherOptions options;
        ParseLauncherOptions(row.text, &options);
        EXPECT_EQ(row.closeApps, options.closeApps) << row.text;
    }
}

struct RefusedCase {
    const char* name;
    const char* cmdLine;
    int refused;
    const char* logPath;   // the log option found on a refused line
};

const RefusedCase kRefusedCases[] = {
    { "quiet launcher run", "/s /quiet /log=a.log", 0, "" },
    { "launcher text glued, quiet after it", "/sX /quiet", 0, "" },
    { "interactive launcher run", "/s /log=C:/logs/quiet", 0, "" },
    { "quiet before the switch", "/quiet /s /log=a.log", 1, "a.log" },
    { "quiet glued to the switch", "/s/quiet", 1, "" },
    { "quiet glued in capitals, log first", "/S/Quiet \"/log=C:\\My Logs\\b.log\"", 1, "C:\\My Logs\\b.log" },
    { "quiet alone", "/quiet", 1, "" },
    { "quiet after the worker switch", "/uC:\\a.ini /quiet", 1, "" },
    { "no quiet word", "/x /quietly", 0, "" },
};

TEST(IsRefusedQuietCommandLine, RefusesEveryQuietLineButTheLauncherRun)
{
    for (const RefusedCase& c : kRefusedCases) {
        SCOPED_TRACE(c.name);
        LauncherOptions options;
        EXPECT_EQ(c.refused, IsRefusedQuietCommandLine(c.cmdLine, &options));
        if (c.refused)
            EXPECT_STREQ(c.logPath, options.logPath);
    }
}

TEST(ParseLauncherOptions, TakesALogPathThatFillsItsBufferAndRefusesALongerOne)
{
    const std::string longest = "C:\\" + std::string(MAX_PATH - 4, 'a');   // 259 characters
    LauncherOptions options;
    ParseLauncherOptions((" /quiet \"/log=" + longest + "\"").c_str(), &options);
    EXPECT_EQ(1, options.quiet);
    EXPECT_EQ(1, options.logPathFits);
    EXPECT_EQ(longest, options.logPath);

    ParseLauncherOptions((" /log=" + longest + "b /quiet").c_str(), &options);
    EXPECT_EQ(1, options.quiet);
    EXPECT_EQ(1, options.logRequested);
    EXPECT_EQ(0, options.logPathFits);
    EXPECT_STREQ("", options.logPath);
}

struct SkipCase {
    const char* name;
    const char* commandLine;
    const char* rest;
};

const SkipCase kSkipCases[] = {
    { "plain name", "twuninst.exe /s", "/s" },
    { "plain name, several blanks", "twuninst.exe   /s", "/s" },
    { "tab and blank after the name", "twuninst.exe\t /uC:\\a.ini", "/uC:\\a.ini" },
    { "quoted name with a blank", "\"C:\\Program Files\\App\\twuninst.exe\" /s", "/s" },
    { "quoted name glued to the switch", "\"C:\\App\\twuninst.exe\"/uX", "/uX" },
    { "trailing blanks and quotes kept", "a.exe /uC:\\a b.ini \" ", "/uC:\\a b.ini \" " },
    { "name only", "twuninst.exe", "" },
    { "quoted name only", "\"twuninst.exe\"", "" },
    { "unterminated quote", "\"C:\\App\\twuninst.exe /s", "" },
    { "bytes above 0x7F belong to the name", "C:\\\x95\x5C\\\xE9t\xE9.exe /s", "/s" },
    { "empty", "", "" },
};

TEST(SkipProgramName, LeavesTheTextAfterTheName)
{
    for (const SkipCase& c : kSkipCases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(c.rest, SkipProgramName(c.commandLine));
    }
}

TEST(SkipProgramName, StepsOverDoubleByteCharactersInQuotes)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "needs code page 932";
    // "C:\表\x.exe" quoted: 表 is 95 5C, its trail byte looks like a backslash.
    EXPECT_STREQ("/s", SkipProgramName("\"C:\\\x95\x5C\\x.exe\" /s"));
    // A lead byte right before the closing quote takes the quote as its
    // trail byte only when the quote is a valid trail; 0x22 never is, but a
    // lead byte at the very end must not run past the terminator.
    EXPECT_STREQ("", SkipProgramName("\"C:\\\x95"));
}

// --- The real executable, started the way a user would start it. ---

// Text of string 5 as the user must read it.
const char kControlPanelEnglish[] =
    "Uninstaller must be run from Control Panel.\nDo you want to open Control Panel now?";
// "アンインストールは、コントロールパネルの「アプリケーションの追加と削除」から
// 行なってください。\n今すぐコントロールパネルを開きますか？" in Shift-JIS.
const char kControlPanelJapanese[] =
    "\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B"
    "\x82\xCD\x81\x41\x83\x52\x83\x93\x83\x67\x83\x8D\x81\x5B\x83\x8B"
    "\x83\x70\x83\x6C\x83\x8B\x82\xCC\x81\x75\x83\x41\x83\x76\x83\x8A"
    "\x83\x50\x81\x5B\x83\x56\x83\x87\x83\x93\x82\xCC\x92\xC7\x89\xC1"
    "\x82\xC6\x8D\xED\x8F\x9C\x81\x76\x82\xA9\x82\xE7\x8D\x73\x82\xC8"
    "\x82\xC1\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42\n\x8D"
    "\xA1\x82\xB7\x82\xAE\x83\x52\x83\x93\x83\x67\x83\x8D\x81\x5B\x83"
    "\x8B\x83\x70\x83\x6C\x83\x8B\x82\xF0\x8A\x4A\x82\xAB\x82\xDC\x82"
    "\xB7\x82\xA9\x81\x48";

// Children of `parentPid` whose program is control.exe.
std::vector<DWORD> FindControlPanels(DWORD parentPid)
{
    std::vector<DWORD> found;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32 pe;
    pe.dwSize = sizeof(pe);
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) {
        if (pe.th32ParentProcessID == parentPid && lstrcmpiA(pe.szExeFile, "control.exe") == 0)
            found.push_back(pe.th32ProcessID);
    }
    CloseHandle(snap);
    return found;
}

struct QuestionRun {
    bool boxFound = false;
    std::string text;
    bool hasYes = false, hasNo = false;
    DWORD exitCode = 259;
    std::vector<DWORD> controlPanels;
};

QuestionRun RunAndAnswer(const std::string& args, int answerId)
{
    QuestionRun run;
    std::string exe = BuildTreePath("twuninst.exe");
    ChildProgram uninstaller;
    if (!uninstaller.Start("\"" + exe + "\"" + args)) {
        ADD_FAILURE() << "cannot start " << exe << " (error " << GetLastError() << ")";
        return run;
    }
    HWND hBox = WaitForProcessDialog(uninstaller.Id(), uninstaller.Process(), TW_PROGRAM_TITLE, 30000);
    if (hBox != NULL) {
        run.boxFound = true;
        char text[1024] = "";
        GetDlgItemTextA(hBox, 0xFFFF, text, COUNTOF(text));
        run.text = text;
        run.hasYes = GetDlgItem(hBox, IDYES) != NULL;
        run.hasNo = GetDlgItem(hBox, IDNO) != NULL;
        HWND hButton = GetDlgItem(hBox, answerId);
        if (hButton != NULL)
            SendMessageA(hButton, BM_CLICK, 0, 0);
    }
    if (!uninstaller.Wait(30000))
        ADD_FAILURE() << "the uninstaller did not end";
    run.exitCode = uninstaller.ExitCode();
    // control.exe, when started, is a child of the uninstaller; give it a
    // moment to show up in the process list.
    for (int i = 0; i < 20 && run.controlPanels.empty() && answerId == IDYES; ++i) {
        run.controlPanels = FindControlPanels(uninstaller.Id());
        Sleep(100);
    }
    if (answerId != IDYES)
        run.controlPanels = FindControlPanels(uninstaller.Id());
    return run;
}

const char* ExpectedQuestion()
{
    return IsCodePage932() ? kControlPanelJapanese : kControlPanelEnglish;
}

struct QuestionCase {
    const char* name;
    const char* args;   // text after the quoted program name
};

const QuestionCase kQuestionCases[] = {
    { "unknown switch", " /x" },
    { "one character", " s" },
    { "no argument", "" },
    { "upper-case worker switch", " /UC:\\Temp\\a.ini" },
};

TEST(UninstallerWithoutSwitch, AsksForTheControlPanelAndNoStartsNothing)
{
    ASSERT_NE(0u, GetACP());
    for (const QuestionCase& c : kQuestionCases) {
        SCOPED_TRACE(c.name);
        QuestionRun run = RunAndAnswer(c.args, IDNO);
        ASSERT_TRUE(run.boxFound);
        EXPECT_EQ(ExpectedQuestion(), run.text);
        EXPECT_TRUE(run.hasYes);
        EXPECT_TRUE(run.hasNo);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_TRUE(run.controlPanels.empty());
    }
}

TEST(UninstallerWithoutSwitch, YesOpensTheControlPanel)
{
    QuestionRun run = RunAndAnswer(" /x", IDYES);
    ASSERT_TRUE(run.boxFound);
    EXPECT_EQ(ExpectedQuestion(), run.text);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(1u, run.controlPanels.size());
    for (DWORD pid : run.controlPanels) {
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (h != NULL) {
            TerminateProcess(h, 0);
            WaitForSingleObject(h, 5000);
            CloseHandle(h);
        }
    }
}

TEST(UninstallerWithoutSwitch, QuestionIsStringFiveOfTheRunningLanguage)
{
    // The executable and this test carry the same resources.
    EXPECT_STREQ(ExpectedQuestion(), LoadTextBuffer(IDS_USE_CONTROL_PANEL));
}

TEST(LauncherWithoutInformation, EndsAQuietRunWithoutAWindowAndLogsBesideItsCaller)
{
    // The plain executable carries no information, so no run can start.
    std::string dir = MakeSandboxDir("launcher-log");
    char saved[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryA(COUNTOF(saved), saved));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    QuestionRun run = RunAndAnswer(" /s /QUIET /log=\"quiet run.log\"", IDOK);
    SetCurrentDirectoryA(saved);
    EXPECT_FALSE(run.boxFound);
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ(std::string(LoadTextBuffer(IDS_CANNOT_READ_INFO)) +
                  "\r\nSummary: files 0 removed, 0 absent, 0 failed; groups 0 removed, 0 absent, "
                  "0 failed; registry keys 0 removed, 0 absent, 0 failed; registry values 0 removed, "
                  "0 absent, 0 failed; result 1 (nothing removed)\r\n",
              ReadFileBytes(dir + "quiet run.log"));
}

}  // namespace
