// The progress dialog as the driver and the user meet it: it refuses to
// close while the phases run, closes and ends the message loop once
// finished, expands and collapses with Detail; the message pump, the
// animated show and the error box.

#include <gtest/gtest.h>
#include <windows.h>
#include <string>

#include "common/common.h"
#include "res/resource.h"
#include "test_support.h"
#include "ui/ui.h"

namespace {

// Removes every waiting message; returns true and the exit code when a
// quit request was among them.
bool DrainQueue(WPARAM* quitCode)
{
    bool quit = false;
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            if (quitCode != NULL)
                *quitCode = msg.wParam;
        } else {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return quit;
}

// As DrainQueue, but keys go through the dialog manager as in the driver's
// loops.
bool DrainQueueThroughDialog(WPARAM* quitCode)
{
    bool quit = false;
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            *quitCode = msg.wParam;
        } else if (!IsDialogMessageA(g_hProgressDlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return quit;
}

class ProgressDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_finished = 0;
        g_hProgressDlg = NULL;
        DrainQueue(NULL);
    }
    void TearDown() override
    {
        if (g_hProgressDlg != NULL) {
            g_finished = 1;
            DestroyWindow(g_hProgressDlg);
            g_hProgressDlg = NULL;
        }
        DrainQueue(NULL);
        g_finished = 0;
    }

    // Creates and shows the dialog as the driver does.
    HWND CreateShownDialog()
    {
        HWND hDlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL,
                                       ProgressDialogProc, 0);
        g_hProgressDlg = hDlg;
        if (hDlg != NULL)
            ShowWindow(hDlg, SW_SHOW);
        return hDlg;
    }

    // The finished state as the driver sets it up.
    void EnterFinishedState(HWND hDlg)
    {
        g_finished = 1;
        SetDlgItemTextA(hDlg, IDOK, LoadTextBuffer(IDS_CLOSE));
        ShowWindow(GetDlgItem(hDlg, IDOK), SW_SHOW);
        ShowWindow(GetDlgItem(hDlg, IDC_DETAIL), SW_SHOW);
        SetDlgItemTextA(hDlg, IDC_HEADING, LoadTextBuffer(IDS_FINISHED));
    }
};

typedef void (*Deliver)(HWND hDlg);

void PressKey(HWND hDlg, WPARAM vk)
{
    HWND hFocus = GetFocus();
    HWND hTarget = (hFocus != NULL && (hFocus == hDlg || IsChild(hDlg, hFocus))) ? hFocus : hDlg;
    PostMessageA(hTarget, WM_KEYDOWN, vk, 1);
    PostMessageA(hTarget, WM_KEYUP, vk, 0xC0000001);
}

struct CloseCase {
    const char* name;
    Deliver deliver;
};

const CloseCase kCloseCases[] = {
    { "Enter key", [](HWND h) { PressKey(h, VK_RETURN); } },
    { "Escape key", [](HWND h) { PressKey(h, VK_ESCAPE); } },
    { "IDOK command", [](HWND h) { PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(h, IDOK)); } },
    { "IDCANCEL command", [](HWND h) { PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); } },
    { "close request", [](HWND h) { PostMessageA(h, WM_CLOSE, 0, 0); } },
    { "Close button clicked", [](HWND h) { PostMessageA(GetDlgItem(h, IDOK), BM_CLICK, 0, 0); } },
};

// Lets the dialog handle what was delivered; a close request arrives as a
// further posted command, hence two rounds.
void LetDialogRun()
{
    PumpMessages(g_hProgressDlg);
    PumpMessages(g_hProgressDlg);
}

TEST_F(ProgressDialogTest, CloseRequestsAreIgnoredWhilePhasesRun)
{
    for (const CloseCase& c : kCloseCases) {
        SCOPED_TRACE(c.name);
        HWND hDlg = CreateShownDialog();
        ASSERT_NE((HWND)NULL, hDlg);
        // The button is only ever visible once finished; make it clickable
        // here so that the click is a real test of the flag.
        ShowWindow(GetDlgItem(hDlg, IDOK), SW_SHOW);
        c.deliver(hDlg);
        LetDialogRun();
        EXPECT_TRUE(IsWindow(hDlg));
        EXPECT_EQ(hDlg, g_hProgressDlg);
        EXPECT_FALSE(DrainQueue(NULL)) << "a quit request was posted";
        TearDown();
    }
}

TEST_F(ProgressDialogTest, CloseRequestsEndTheDialogOnceFinished)
{
    for (const CloseCase& c : kCloseCases) {
        SCOPED_TRACE(c.name);
        HWND hDlg = CreateShownDialog();
        ASSERT_NE((HWND)NULL, hDlg);
        EnterFinishedState(hDlg);
        SetFocus(GetDlgItem(hDlg, IDOK));
        c.deliver(hDlg);
        // Not PumpMessages: it would take the quit request and post it anew.
        WPARAM code = 99;
        bool quit = false;
        for (int round = 0; round < 3 && !quit; ++round)
            quit = DrainQueueThroughDialog(&code);
        EXPECT_FALSE(IsWindow(hDlg));
        EXPECT_EQ((HWND)NULL, g_hProgressDlg);
        EXPECT_TRUE(quit);
        EXPECT_EQ(0u, code);
        g_hProgressDlg = NULL;
    }
}

TEST_F(ProgressDialogTest, TheSessionMayEndOnlyOnceFinished)
{
    // What the system asks every top-level window at a logoff or shutdown.
    HWND hDlg = CreateShownDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    EXPECT_EQ(0, SendMessageA(hDlg, WM_QUERYENDSESSION, 0, 0));
    EXPECT_TRUE(IsWindow(hDlg));
    EnterFinishedState(hDlg);
    EXPECT_NE(0, SendMessageA(hDlg, WM_QUERYENDSESSION, 0, 0));
}

TEST_F(ProgressDialogTest, FinishedLoopEndsWhenTheUserCloses)
{
    HWND hDlg = CreateShownDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    EnterFinishedState(hDlg);
    PressKey(hDlg, VK_ESCAPE);
    RunDialogMessageLoop();
    EXPECT_FALSE(IsWindow(hDlg));
    EXPECT_EQ((HWND)NULL, g_hProgressDlg);
    EXPECT_FALSE(DrainQueue(NULL)) << "the loop left its quit request behind";
}

TEST_F(ProgressDialogTest, InitDialogRecordsTheTemplateSize)
{
    HWND hDlg = CreateShownDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    RECT templ = { 0, 0, 210, 117 };
    MapDialogRect(hDlg, &templ);
    EXPECT_EQ(0, g_collapsedClientRect.left);
    EXPECT_EQ(0, g_collapsedClientRect.top);
    EXPECT_EQ(templ.right, g_collapsedClientRect.right);
    EXPECT_EQ(templ.bottom, g_collapsedClientRect.bottom);
}

struct Sizes {
    RECT client;
    RECT window;
};

Sizes MeasureDialog(HWND hDlg)
{
    Sizes s;
    GetClientRect(hDlg, &s.client);
    GetWindowRect(hDlg, &s.window);
    return s;
}

void ClickDetail(HWND hDlg)
{
    SendMessageA(GetDlgItem(hDlg, IDC_DETAIL), BM_CLICK, 0, 0);
    PumpMessages(g_hProgressDlg);
}

TEST_F(ProgressDialogTest, DetailExpandsAndCollapsesAtTheBottomEdge)
{
    HWND hDlg = CreateShownDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    EnterFinishedState(hDlg);
    PumpMessages(hDlg);
    Sizes collapsed = MeasureDialog(hDlg);
    RECT expandedDu = { 0, 0, 1, 214 };
    MapDialogRect(hDlg, &expandedDu);

    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ClickDetail(hDlg);
        ASSERT_EQ(BST_CHECKED, IsDlgButtonChecked(hDlg, IDC_DETAIL));
        Sizes expanded = MeasureDialog(hDlg);
        EXPECT_EQ(expandedDu.bottom, expanded.client.bottom - expanded.client.top);
        EXPECT_EQ(collapsed.client.right - collapsed.client.left, expanded.client.right - expanded.client.left);
        EXPECT_EQ(collapsed.window.left, expanded.window.left);
        EXPECT_EQ(collapsed.window.top, expanded.window.top);
        EXPECT_EQ(collapsed.window.right, expanded.window.right);
        EXPECT_GT(expanded.window.bottom, collapsed.window.bottom);

        // The detail box lies inside the expanded client area.
        RECT box;
        GetWindowRect(GetDlgItem(hDlg, IDC_DETAIL_LOG), &box);
        POINT boxBottom = { box.right, box.bottom };
        ScreenToClient(hDlg, &boxBottom);
        EXPECT_LE(boxBottom.y, expanded.client.bottom);

        ClickDetail(hDlg);
        ASSERT_EQ(BST_UNCHECKED, IsDlgButtonChecked(hDlg, IDC_DETAIL));
        Sizes again = MeasureDialog(hDlg);
        EXPECT_TRUE(EqualRect(&collapsed.client, &again.client));
        EXPECT_TRUE(EqualRect(&collapsed.window, &again.window));
    }
    // Nothing of this closes the dialog.
    EXPECT_TRUE(IsWindow(hDlg));
}

TEST_F(ProgressDialogTest, DetailCommandFollowsTheCheckState)
{
    // The command only reads the check box: setting the state and sending
    // the command as a keyboard user's toggle would gives the same sizes.
    HWND hDlg = CreateShownDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    EnterFinishedState(hDlg);
    RECT collapsedWindow;
    GetWindowRect(hDlg, &collapsedWindow);
    RECT expandedDu = { 0, 0, 1, 214 };
    MapDialogRect(hDlg, &expandedDu);
    const UINT states[] = { BST_CHECKED, BST_CHECKED, BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED, BST_UNCHECKED };
    for (UINT state : states) {
        SCOPED_TRACE(state == BST_CHECKED ? "checked" : "unchecked");
        CheckDlgButton(hDlg, IDC_DETAIL, state);
        SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDC_DETAIL, BN_CLICKED), (LPARAM)GetDlgItem(hDlg, IDC_DETAIL));
        RECT client;
        GetClientRect(hDlg, &client);
        LONG expectedHeight = state == BST_CHECKED ? expandedDu.bottom : g_collapsedClientRect.bottom;
        EXPECT_EQ(expectedHeight, client.bottom);
        EXPECT_EQ(g_collapsedClientRect.right, client.right);
        RECT window;
        GetWindowRect(hDlg, &window);
        EXPECT_EQ(collapsedWindow.left, window.left);
        EXPECT_EQ(collapsedWindow.top, window.top);
    }
}

// --- The non-blocking pump. ---

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg >= WM_APP && msg < WM_APP + 16) {
        int* counts = (int*)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
        if (counts != NULL)
            ++counts[msg - WM_APP];
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A message-only window that counts the WM_APP messages it receives.
HWND CreateCountingWindow(int* counts)
{
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = g_hInstance;
    wc.lpszClassName = "TwCountingWindow";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA("TwCountingWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, g_hInstance, NULL);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, (LONG_PTR)counts);
    return hwnd;
}

int g_guardTimerFired = 0;

void CALLBACK GuardTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    // A pump that waits would only get here after the timer's delay; end
    // whatever loop it is in so the test can report instead of hanging.
    g_guardTimerFired = 1;
    PostQuitMessage(99);
}

class PumpTest : public ProgressDialogTest {
protected:
    void SetUp() override
    {
        ProgressDialogTest::SetUp();
        g_guardTimerFired = 0;
        timer_ = SetTimer(NULL, 0, 3000, GuardTimerProc);
    }
    void TearDown() override
    {
        KillTimer(NULL, timer_);
        ProgressDialogTest::TearDown();
    }
    UINT_PTR timer_ = 0;
};

TEST_F(PumpTest, DispatchesWaitingMessagesAndReturns)
{
    int counts[16] = { 0 };
    HWND hwnd = CreateCountingWindow(counts);
    ASSERT_NE((HWND)NULL, hwnd);
    PostMessageA(hwnd, WM_APP + 1, 0, 0);
    PostMessageA(hwnd, WM_APP + 1, 0, 0);
    PostMessageA(hwnd, WM_APP + 2, 0, 0);
    PumpMessages(NULL);
    EXPECT_EQ(2, counts[1]);
    EXPECT_EQ(1, counts[2]);
    EXPECT_EQ(0, g_guardTimerFired);
    DestroyWindow(hwnd);
}

TEST_F(PumpTest, EmptyQueueReturnsAtOnce)
{
    PumpMessages(NULL);
    PumpMessages(NULL);
    EXPECT_EQ(0, g_guardTimerFired);
    WPARAM code = 0;
    EXPECT_FALSE(DrainQueue(&code));
}

struct QuitCase {
    const char* name;
    void (*post)();
};

const QuitCase kQuitCases[] = {
    { "PostQuitMessage(0)", [] { PostQuitMessage(0); } },
    { "PostQuitMessage(7)", [] { PostQuitMessage(7); } },
    { "posted WM_QUIT with code 5", [] { PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 5, 0); } },
};

TEST_F(PumpTest, QuitRequestIsPostedAgainWithCodeZero)
{
    for (const QuitCase& c : kQuitCases) {
        SCOPED_TRACE(c.name);
        c.post();
        PumpMessages(NULL);
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(0u, msg.wParam);
        EXPECT_FALSE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) << "more than one quit request";
    }
}

TEST_F(PumpTest, StopsAtTheQuitRequestWithoutTakingLaterMessages)
{
    int counts[16] = { 0 };
    HWND hwnd = CreateCountingWindow(counts);
    ASSERT_NE((HWND)NULL, hwnd);
    // A quit message posted in line comes out in order, before what follows.
    PostMessageA(hwnd, WM_APP + 1, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 3, 0);
    PostMessageA(hwnd, WM_APP + 2, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 3, 0, 0);
    PumpMessages(NULL);
    EXPECT_EQ(1, counts[1]);
    EXPECT_EQ(0, counts[2]);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, hwnd, WM_APP + 2, WM_APP + 2, PM_NOREMOVE));
    EXPECT_TRUE(PeekMessageA(&msg, (HWND)-1, WM_APP + 3, WM_APP + 3, PM_NOREMOVE));

    // The next loop handles the rest and ends at the reposted request.
    RunDialogMessageLoop();
    EXPECT_EQ(1, counts[2]);
    EXPECT_EQ(0, g_guardTimerFired);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    DestroyWindow(hwnd);
}

TEST_F(PumpTest, KeyboardGoesThroughTheDialogManager)
{
    // With the dialog handle, a key is the dialog manager's: Escape becomes
    // IDCANCEL and closes the finished dialog.
    HWND hDlg = CreateShownDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    EnterFinishedState(hDlg);
    PressKey(hDlg, VK_ESCAPE);
    PumpMessages(hDlg);
    EXPECT_FALSE(IsWindow(hDlg));
    EXPECT_EQ((HWND)NULL, g_hProgressDlg);
}

// --- The animated first show. ---

struct AnimateCase {
    const char* name;
    bool useWindow;
    bool startVisible;
    DWORD flags;
    int expectNonZero;    // -1: whatever AnimateWindow says
};

const AnimateCase kAnimateCases[] = {
    { "hidden dialog, shown centred", true, false, AW_ACTIVATE | AW_CENTER, 1 },
    { "visible dialog, shown again", true, true, AW_ACTIVATE | AW_CENTER, -1 },
    { "hidden dialog, hidden again", true, false, AW_HIDE | AW_CENTER, -1 },
    { "visible dialog, hidden", true, true, AW_HIDE | AW_CENTER, -1 },
    { "no window", false, false, AW_ACTIVATE | AW_CENTER, 0 },
};

TEST_F(ProgressDialogTest, AnimateShowReturnsWhatAnimateWindowReturns)
{
    for (const AnimateCase& c : kAnimateCases) {
        SCOPED_TRACE(c.name);
        HWND pair[2] = { NULL, NULL };
        if (c.useWindow) {
            for (HWND& h : pair) {
                h = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, ProgressDialogProc, 0);
                ASSERT_NE((HWND)NULL, h);
                if (c.startVisible)
                    ShowWindow(h, SW_SHOW);
            }
        }
        int ours = AnimateShow(pair[0], 200, c.flags);
        int system = AnimateWindow(pair[1], 200, c.flags);
        EXPECT_EQ(system != 0, ours != 0);
        if (c.expectNonZero >= 0)
            EXPECT_EQ(c.expectNonZero != 0, ours != 0);
        if (c.useWindow)
            EXPECT_EQ(IsWindowVisible(pair[1]) != 0, IsWindowVisible(pair[0]) != 0);
        g_finished = 1;
        for (HWND h : pair)
            if (h != NULL)
                DestroyWindow(h);
        g_finished = 0;
        DrainQueue(NULL);
    }
}

// --- The error box. ---

struct BoxSeen {
    DWORD threadId;     // the thread that shows the box
    HWND hDialog;       // the progress dialog, if any: also a #32770
    bool found = false;
    std::string caption, text;
    HWND owner = NULL;
    bool hasOk = false, hasCancel = false, hasYes = false;
};

// Plays the user: waits for the box on the test's thread, reads it and
// presses OK.
DWORD WINAPI AnswerErrorBox(void* param)
{
    BoxSeen* seen = (BoxSeen*)param;
    HWND hBox = WaitForThreadDialog(seen->threadId, seen->hDialog, 10000);
    if (hBox == NULL)
        return 0;
    seen->found = true;
    char buf[1024] = "";
    GetWindowTextA(hBox, buf, COUNTOF(buf));
    seen->caption = buf;
    GetDlgItemTextA(hBox, 0xFFFF, buf, COUNTOF(buf));
    seen->text = buf;
    seen->owner = GetWindow(hBox, GW_OWNER);
    seen->hasOk = GetDlgItem(hBox, IDOK) != NULL;
    seen->hasCancel = GetDlgItem(hBox, IDCANCEL) != NULL && IsWindowVisible(GetDlgItem(hBox, IDCANCEL));
    seen->hasYes = GetDlgItem(hBox, IDYES) != NULL;
    PostMessageA(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(hBox, IDOK));
    return 0;
}

BoxSeen ShowAndAnswer(UINT id)
{
    BoxSeen seen;
    seen.threadId = GetCurrentThreadId();
    seen.hDialog = g_hProgressDlg;
    HANDLE hThread = CreateThread(NULL, 0, AnswerErrorBox, &seen, 0, NULL);
    ShowErrorMessage(id);
    WaitForSingleObject(hThread, 15000);
    CloseHandle(hThread);
    return seen;
}

TEST_F(ProgressDialogTest, ErrorBoxShowsTheStringUnderTheTitle)
{
    const UINT ids[] = { IDS_CANNOT_READ_INFO, IDS_ERROR_READING_INFO, IDS_CANNOT_RUN_WORKER, IDS_CANNOT_INITIALIZE };
    for (UINT id : ids) {
        SCOPED_TRACE("string " + std::to_string(id));
        BoxSeen seen = ShowAndAnswer(id);
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(TW_PROGRAM_TITLE, seen.caption);
        EXPECT_EQ(std::string(LoadTextBuffer(id)), seen.text);
        EXPECT_FALSE(seen.text.empty());
        EXPECT_EQ((HWND)NULL, seen.owner);
        EXPECT_TRUE(seen.hasOk);
        EXPECT_FALSE(seen.hasYes);
    }
}

TEST_F(ProgressDialogTest, ErrorBoxBelongsToTheDialogWhenOneExists)
{
    HWND hDlg = CreateShownDialog();
    ASSERT_NE((HWND)NULL, hDlg);
    BoxSeen seen = ShowAndAnswer(IDS_CANNOT_INITIALIZE);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(hDlg, seen.owner);
    EXPECT_TRUE(IsWindow(hDlg)) << "the box's OK must not reach the dialog";
}

}  // namespace
