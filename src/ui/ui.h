// User interface: the progress dialog's procedure, the detail log, the
// message pump, the animated first show and the error box, with the
// process-wide interface state they share with the driver.
#pragma once

#include <windows.h>

// The progress dialog. Set by the driver when it creates the dialog; set
// back to NULL by ProgressDialogProc right after destroying it.
extern HWND g_hProgressDlg;

// 1 once every phase is done. Set by the driver, read by ProgressDialogProc
// (commands IDOK and IDCANCEL close the dialog only then).
extern int g_finished;

// The dialog's client rectangle at WM_INITDIALOG (the collapsed size).
// Written by ProgressDialogProc only.
extern RECT g_collapsedClientRect;

// Dialog procedure of dialog IDD_PROGRESS.
INT_PTR CALLBACK ProgressDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Appends the line "<prefix> <item> <status>\r\n" to the detail log. The
// detail box shows exactly the log text whenever the dialog handles
// messages. Never shows a message; a line that cannot be stored is dropped.
void AppendDetailLog(const char* prefix, const char* item, const char* status);

// The whole detail log text ("" before the first line).
const char* GetDetailLogText();

// Brings the detail box of g_hProgressDlg up to date with the log text when
// lines were added since the last update or the box is not the one last
// filled (a dialog created later). Called before messages are handled.
void UpdateDetailBox();

// Dispatches every waiting message of the thread without blocking. A
// retrieved WM_QUIT is posted again (exit code 0) and ends the call.
void PumpMessages(HWND hDlg);

// Runs the blocking message loop of the modeless progress dialog until
// WM_QUIT (the dialog posts it when destroyed).
void RunDialogMessageLoop();

// AnimateWindow when the system has it, looked up at run time; 0 otherwise.
int AnimateShow(HWND hwnd, DWORD durationMs, DWORD flags);

// Shows string `id` in a modal error box (caption the program title, error
// icon, OK), owned by the progress dialog when one exists.
void ShowErrorMessage(UINT id);
