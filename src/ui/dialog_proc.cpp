// The progress dialog's procedure: refuses to close, and to let the session
// end, until the run is finished, and expands or collapses with the Detail
// check box. Texts and pictures are set by the driver.

#include "ui/ui.h"
#include "res/resource.h"

// Client height of the expanded dialog, in dialog units.
static const int kExpandedClientHeightDu = 214;

static INT_PTR OnInitDialog(HWND hDlg)
{
    // The template's size is the collapsed size; remember it once.
    GetClientRect(hDlg, &g_collapsedClientRect);
    return TRUE;
}

static void OnCloseCommand(HWND hDlg)
{
    // Enter, Escape, the Close button and a close request all arrive here;
    // while the phases run none of them may end the dialog.
    if (!g_finished)
        return;
    DestroyWindow(hDlg);
    g_hProgressDlg = NULL;
}

static INT_PTR OnQueryEndSession()
{
    // A logoff or shutdown would end the run between two items and leave
    // the log without its summary: refuse while the phases run. Once
    // finished, the default answer lets the session end.
    // The answer is the dialog's message result, which nothing here ever
    // sets: it keeps the zero (FALSE) that a new window's extra bytes start
    // with, and needs no call that the 32- and 64-bit builds import apart.
    return g_finished ? FALSE : TRUE;
}

static void OnDetailCommand(HWND hDlg)
{
    RECT client = g_collapsedClientRect;
    if (IsDlgButtonChecked(hDlg, IDC_DETAIL) == BST_CHECKED) {
        RECT expanded = { 0, 0, 1, kExpandedClientHeightDu };
        MapDialogRect(hDlg, &expanded);
        client.bottom = client.top + (expanded.bottom - expanded.top);
    }
    // The window grows and shrinks at its bottom edge; it never moves.
    AdjustWindowRect(&client, (DWORD)GetWindowLongA(hDlg, GWL_STYLE), FALSE);
    SetWindowPos(hDlg, NULL, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

INT_PTR CALLBACK ProgressDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog(hDlg);
    case WM_QUERYENDSESSION:
        return OnQueryEndSession();
    case WM_DESTROY:
        // Ends the driver's blocking message loop.
        PostQuitMessage(0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            OnCloseCommand(hDlg);
            return TRUE;
        case IDC_DETAIL:
            OnDetailCommand(hDlg);
            return FALSE;
        }
        return FALSE;
    }
    return FALSE;
}
