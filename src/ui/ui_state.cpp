// The process-wide interface state shared by the driver and the dialog.

#include "ui/ui.h"

HWND g_hProgressDlg = NULL;
int g_finished = 0;
int g_quiet = 0;
RECT g_collapsedClientRect = { 0, 0, 0, 0 };
