// Message pumping for the modeless progress dialog: the non-blocking pump
// the driver calls while phases run, and the blocking loop of the finished
// state. Both bring the detail box up to date before handling messages.

#include "ui/ui.h"

void PumpMessages(HWND hDlg)
{
    UpdateDetailBox();
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the loop that owns it.
            PostQuitMessage(0);
            return;
        }
        if (!IsDialogMessageA(hDlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void RunDialogMessageLoop()
{
    MSG msg;
    for (;;) {
        UpdateDetailBox();
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
