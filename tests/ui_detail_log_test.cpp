// The detail log: the exact line layout, cutting of over-long lines, and
// the detail box showing exactly the log text whenever the dialog handles
// messages. The log lives as long as the process, so the cases build on
// each other in order and compare against the log's own text.

#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>

#include "common/common.h"
#include "res/resource.h"
#include "test_support.h"
#include "ui/ui.h"

namespace {

std::string LogText() { return GetDetailLogText(); }

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string BoxText(HWND hDlg)
{
    HWND hBox = GetDlgItem(hDlg, IDC_DETAIL_LOG);
    int cch = GetWindowTextLengthA(hBox);
    std::vector<char> buf(cch + 1);
    int got = GetWindowTextA(hBox, buf.data(), cch + 1);
    return std::string(buf.data(), got > 0 ? got : 0);
}

// A probe inside the dialog: on WM_APP+7 it compares the box with the log,
// so the check runs exactly when the dialog handles a message.
const UINT kProbe = WM_APP + 7;
WNDPROC g_dialogProc = NULL;
int g_probeRuns = 0;
int g_probeMismatches = 0;
// Set after each probe, for a thread that waits for one.
HANDLE g_hProbed = CreateEventA(NULL, FALSE, FALSE, NULL);

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kProbe) {
        ++g_probeRuns;
        if (BoxText(hwnd) != LogText())
            ++g_probeMismatches;
        SetEvent(g_hProbed);
        return 0;
    }
    return CallWindowProcA(g_dialogProc, hwnd, msg, wParam, lParam);
}

HWND CreateProbedDialog()
{
    g_finished = 0;
    HWND hDlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, ProgressDialogProc, 0);
    g_hProgressDlg = hDlg;
    if (hDlg != NULL) {
        g_dialogProc = (WNDPROC)SetWindowLongPtrA(hDlg, GWLP_WNDPROC, (LONG_PTR)ProbeProc);
        ShowWindow(hDlg, SW_SHOW);
    }
    g_probeRuns = 0;
    g_probeMismatches = 0;
    return hDlg;
}

void DestroyDialog()
{
    if (g_hProgressDlg != NULL) {
        g_finished = 1;
        DestroyWindow(g_hProgressDlg);
        g_hProgressDlg = NULL;
        g_finished = 0;
    }
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        ;
}

// Pumps as the driver does between phases and reports what the probe saw.
void ProbeThroughPump(const char* when)
{
    SCOPED_TRACE(when);
    int runs = g_probeRuns, mismatches = g_probeMismatches;
    PostMessageA(g_hProgressDlg, kProbe, 0, 0);
    PumpMessages(g_hProgressDlg);
    EXPECT_EQ(runs + 1, g_probeRuns);
    EXPECT_EQ(mismatches, g_probeMismatches);
    EXPECT_EQ(LogText(), BoxText(g_hProgressDlg));
}

void AppendNumberedLines(int count, const char* tag)
{
    char item[128];
    for (int i = 0; i < count; ++i) {
        wsprintfA(item, "C:\\Program Files\\Tarnwick Sample\\%s\\data\\file%05d.dat", tag, i);
        AppendDetailLog("", item, "- deleted.");
    }
}

// Runs first: nothing has been logged before it in this process.
TEST(DetailLog, FirstLineIsTheWholeText)
{
    ASSERT_EQ((HWND)NULL, g_hProgressDlg);
    EXPECT_EQ("", LogText());
    AppendDetailLog("", "C:\\App\\app.exe", "- deleted.");
    EXPECT_EQ(" C:\\App\\app.exe - deleted.\r\n", LogText());
}

struct LayoutCase {
    const char* name;
    const char* prefix;
    const char* item;
    const char* status;
    const char* line;
};

const LayoutCase kLayoutCases[] = {
    { "listed file", "", "C:\\App\\readme.txt", "- deleted.", " C:\\App\\readme.txt - deleted.\r\n" },
    { "side file", " ", "C:\\App\\help.gid", "- failed to delete.", "  C:\\App\\help.gid - failed to delete.\r\n" },
    { "program group", "", "Tarnwick Sample", "- deleted.", " Tarnwick Sample - deleted.\r\n" },
    { "registry key", "HKEY_USERS \\", ".DEFAULT\\Software\\Tarnwick", "- deleted.",
      "HKEY_USERS \\ .DEFAULT\\Software\\Tarnwick - deleted.\r\n" },
    { "current user key", "HKEY_CURRENT_USER \\", "Software\\Tarnwick", "- failed to delete.",
      "HKEY_CURRENT_USER \\ Software\\Tarnwick - failed to delete.\r\n" },
    { "all parts empty", "", "", "", "  \r\n" },
    { "item with blanks kept", "", "  a  ", "x", "   a   x\r\n" },
};

TEST(DetailLog, LinesAreLaidOutExactly)
{
    for (const LayoutCase& c : kLayoutCases) {
        SCOPED_TRACE(c.name);
        std::string before = LogText();
        AppendDetailLog(c.prefix, c.item, c.status);
        EXPECT_EQ(before + c.line, LogText());
    }
}

TEST(DetailLog, StatusTextsOfTheRunningLanguage)
{
    // Japanese status texts are suffixes that follow the path directly
    // after the blank, as the English ones do.
    std::string deleted = LoadTextBuffer(IDS_DELETED);
    ASSERT_FALSE(deleted.empty());
    std::string before = LogText();
    AppendDetailLog("", "C:\\App\\a.dll", deleted.c_str());
    EXPECT_EQ(before + " C:\\App\\a.dll " + deleted + "\r\n", LogText());
}

TEST(DetailLog, OverlongLineIsCutAndStillEndsTheLine)
{
    const std::string item(3000, 'a');
    std::string before = LogText();
    AppendDetailLog("HKEY_USERS \\", item.c_str(), "- deleted.");
    std::string after = LogText();
    ASSERT_EQ(0u, after.compare(0, before.size(), before));
    std::string line = after.substr(before.size());
    // 1999 bytes of line before the terminator of its 2000-byte buffer.
    EXPECT_EQ(1999u, line.size());
    EXPECT_EQ(0u, line.find("HKEY_USERS \\ aaa"));
    EXPECT_TRUE(EndsWith(line, "a\r\n"));

    // The next line starts cleanly after it.
    AppendDetailLog("", "next", "- deleted.");
    EXPECT_TRUE(EndsWith(LogText(), "a\r\n next - deleted.\r\n"));
}

TEST(DetailLog, OverlongLineIsNeverCutInsideADoubleByteCharacter)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "needs code page 932";
    // 表 (95 5C) a thousand times; "a " before it makes the cut fall on a
    // trail byte.
    std::string item;
    for (int i = 0; i < 1000; ++i)
        item += "\x95\x5C";
    std::string before = LogText();
    AppendDetailLog("a", item.c_str(), "x");
    std::string line = LogText().substr(before.size());
    ASSERT_TRUE(EndsWith(line, "\r\n"));
    std::string body = line.substr(0, line.size() - 2);
    EXPECT_EQ(0u, body.find("a \x95\x5C"));
    // Walk the body by characters: it must end on a character boundary.
    size_t i = 2;
    while (i < body.size())
        i += IsDBCSLeadByte((BYTE)body[i]) ? 2 : 1;
    EXPECT_EQ(body.size(), i);
    EXPECT_LE(line.size(), 1999u);
    EXPECT_GE(line.size(), 1998u);
}

TEST(DetailLog, BoxShowsTheLogWheneverTheDialogHandlesMessages)
{
    // Lines logged before the dialog existed are in the box on the first
    // pump.
    std::string beforeDialog = LogText();
    ASSERT_FALSE(beforeDialog.empty());
    HWND hDlg = CreateProbedDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    ProbeThroughPump("lines from before the dialog");
    EXPECT_EQ(beforeDialog, BoxText(hDlg));

    AppendDetailLog("", "C:\\App\\one.txt", "- deleted.");
    ProbeThroughPump("after one line");
    EXPECT_TRUE(EndsWith(BoxText(hDlg), " C:\\App\\one.txt - deleted.\r\n"));

    // Far beyond the edit control's default limit of 30,000 characters.
    AppendNumberedLines(30000, "many");
    ASSERT_GT(LogText().size(), 2000000u);
    ProbeThroughPump("after 30,000 lines");
    EXPECT_TRUE(EndsWith(BoxText(hDlg), "many\\data\\file29999.dat - deleted.\r\n"));

    // Several probes in one pump, none with lines between them.
    PostMessageA(hDlg, kProbe, 0, 0);
    PostMessageA(hDlg, kProbe, 0, 0);
    int runs = g_probeRuns;
    PumpMessages(hDlg);
    EXPECT_EQ(runs + 2, g_probeRuns);
    EXPECT_EQ(0, g_probeMismatches);

    // The finished state's blocking loop: lines added before it are shown
    // before the first message is handled; then the user closes.
    AppendNumberedLines(10, "last");
    g_finished = 1;
    PostMessageA(hDlg, kProbe, 0, 0);
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    runs = g_probeRuns;
    RunDialogMessageLoop();
    EXPECT_EQ(runs + 1, g_probeRuns);
    EXPECT_EQ(0, g_probeMismatches);
    EXPECT_EQ((HWND)NULL, g_hProgressDlg);
    g_finished = 0;
}

TEST(DetailLog, LinesWithoutADialogStillGoIntoTheLog)
{
    ASSERT_EQ((HWND)NULL, g_hProgressDlg);
    std::string before = LogText();
    AppendDetailLog("", "C:\\App\\late.txt", "- deleted.");
    PumpMessages(NULL);
    UpdateDetailBox(NULL);
    EXPECT_EQ(before + " C:\\App\\late.txt - deleted.\r\n", LogText());

    // A dialog created afterwards shows them with the rest.
    HWND hDlg = CreateProbedDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    ProbeThroughPump("new dialog after lines without one");
    DestroyDialog();
}

TEST(DetailLog, NewDialogShowsTheLogEvenWithoutNewLines)
{
    // The box of a fresh dialog starts empty although no line was added
    // since the last dialog's box was filled.
    HWND hDlg = CreateProbedDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    ProbeThroughPump("fresh dialog, no new lines");
    EXPECT_FALSE(BoxText(hDlg).empty());
    DestroyDialog();
}

// Plays the user of an error box on the given thread: while the box is up,
// lets the probe look at the detail box, then presses OK.
DWORD WINAPI CloseErrorBoxAfterProbe(void* param)
{
    DWORD threadId = (DWORD)(UINT_PTR)param;
    HWND found = WaitForThreadDialog(threadId, g_hProgressDlg, 10000);
    if (found != NULL) {
        ResetEvent(g_hProbed);
        PostMessageA(g_hProgressDlg, kProbe, 0, 0);
        WaitForSingleObject(g_hProbed, 10000);
        PostMessageA(found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return 0;
}

TEST(DetailLog, ErrorBoxFindsTheBoxUpToDate)
{
    // An error box's modal loop handles the dialog's messages too.
    HWND hDlg = CreateProbedDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    PumpMessages(hDlg);
    AppendDetailLog("", "C:\\App\\before-error.txt", "- deleted.");
    HANDLE hThread = CreateThread(NULL, 0, CloseErrorBoxAfterProbe, (void*)(UINT_PTR)GetCurrentThreadId(), 0, NULL);
    int runs = g_probeRuns;
    ShowErrorMessage(IDS_CANNOT_INITIALIZE);
    WaitForSingleObject(hThread, 15000);
    CloseHandle(hThread);
    PumpMessages(hDlg);
    EXPECT_GE(g_probeRuns, runs + 1);
    EXPECT_EQ(0, g_probeMismatches);
    DestroyDialog();
}

}  // namespace
