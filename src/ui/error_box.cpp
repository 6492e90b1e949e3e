// The modal error box: a string-table text under the program title, and
// the same text as a line of the log file. A quiet run shows no box.

#include "ui/ui.h"
#include "common/common.h"

void ShowErrorMessage(UINT id)
{
    char text[1000];
    if (LoadStringA(g_hInstance, id, text, COUNTOF(text)) <= 0)
        text[0] = '\0';
    WriteLogLine(text);
    if (g_quiet)
        return;
    // The box's own loop handles the dialog's messages; the detail box
    // must be current for them as for every other loop.
    UpdateDetailBox(g_hProgressDlg);
    MessageBoxA(g_hProgressDlg, text, TW_PROGRAM_TITLE, MB_OK | MB_ICONERROR);
}
