// Message pumping for the modeless progress dialog: the non-blocking pump
// the driver calls while phases run, and the blocking loop of the finished
// state. Both bring the detail box up to date before handling messages.

#include "ui/ui.h"

// Pumping while a phase works: often enough that the window never looks
// frozen (a message waits at most this long, or one update of the detail
// box, and one item), seldom enough that the pumps cost little.
static const DWORD kPumpIntervalMs = 25;

static DWORD s_lastPumpTick = 0;

// Dispatches every waiting message. A retrieved WM_QUIT is left for the
// loop that owns it: posted again, and the dispatching ends.
static void DispatchWaitingMessages(HWND hDlg)
{
    s_lastPumpTick = GetTickCount();
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(0);
            return;
        }
        if (!IsDialogMessageA(hDlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void PumpMessages(HWND hDlg)
{
    UpdateDetailBox(hDlg);
    DispatchWaitingMessages(hDlg);
}

void PumpMessagesWhenDue(HWND hDlg)
{
    // A quiet run has no window to keep answering.
    if (hDlg == NULL)
        return;
    // Unsigned, so that a wrap of the tick count does no harm.
    if (GetTickCount() - s_lastPumpTick < kPumpIntervalMs)
        return;
    DispatchWaitingMessages(hDlg);
    if (UpdateDetailBoxInBatches(hDlg))
        DispatchWaitingMessages(hDlg);
}

void RunDialogMessageLoop()
{
    MSG msg;
    for (;;) {
        UpdateDetailBox(g_hProgressDlg);
        // GetMessageA returns -1 on an invalid argument; end then as well.
        if (GetMessageA(&msg, NULL, 0, 0) <= 0)
            break;
        // The dialog may be gone by now; IsDialogMessageA then takes a
        // NULL handle and declines the message.
        if (!IsDialogMessageA(g_hProgressDlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}
