// What the programs that play the user of an uninstallation share (the
// end-to-end tests' driver and the demonstration's): their command line of
// actions, the plain report lines they write, the uninstaller's windows
// found and read as a user sees them, and the phase pictures read off the
// screen.
#pragma once

#include <windows.h>
#include <stddef.h>

// Every wait below takes its bound through WaitBound, stretched on a slow
// machine.
#include "wait_bound.h"

// ---- The command line -------------------------------------------------------
//   <driver> <report file> <action> [args] [<action> [args]] ...

// One action. `run` gets the rest of the command line after the action's
// name (args[0 .. count-1]), takes its arguments with TakeArgument and
// returns non-zero on success.
struct DriverAction {
    const char* name;
    int (*run)(char** args, int count, int* taken);
};

// The next argument of an action ("" when there is none left).
const char* TakeArgument(char** args, int count, int* taken);

// Opens the report file argv[1] and runs the actions from argv[2] on, in
// order, until one fails. Besides its own, every driver knows
// "keys <root\path> ..." (each key reported as present or absent),
// "values <root\path> ..." (every value of each key, with its type and
// data) and "pending" (the pending file operations). Returns the exit code: 0 when
// every action ran, 1 when one failed, 2 on a usage error.
int RunDriver(int argc, char** argv, const DriverAction* actions, size_t cActions);

// ---- Report lines -----------------------------------------------------------
// Texts are written as the uninstaller shows them (bytes of the ANSI code
// page), each also echoed to standard output.

void Report(const char* text);
void Reportf(const char* format, ...);
// "<label>: <text>" with the line feeds of the text written as \n.
void ReportText(const char* label, const char* text);
// Reports "FAILED: <what>" and returns 0.
int ReportFailure(const char* what);

// ---- The uninstaller's windows ----------------------------------------------

// The running-programs box has Try Again (or Retry) among its buttons.
enum WindowKind { KIND_QUESTION, KIND_ERROR_BOX, KIND_PROGRESS, KIND_RUNNING_BOX };

// A visible window of the uninstaller (dialog class, the program's title)
// of the given kind; waits up to timeoutMs. NULL when none came.
HWND WaitForUninstallerWindow(WindowKind kind, DWORD timeoutMs);
// Non-zero when the window is gone within timeoutMs.
int WaitWindowGone(HWND hwnd, DWORD timeoutMs);
// The text of a window of another process, into text (cchText bytes).
void GetForeignText(HWND hwnd, char* text, size_t cchText);
// The text of a message box's message.
void GetBoxMessage(HWND hBox, char* text, size_t cchText);
// Presses a button as a click would (the message is posted).
void PressButton(HWND hDlg, int id);
int IsControlVisible(HWND hDlg, int id);
// Clicks the Detail check box of the progress dialog and waits (at most
// 5 s) until the dialog has taken its new size.
void ClickDetail(HWND hDlg);
// Waits until the progress dialog shows its finished state whole: Close and
// Detail visible and the heading reading the finished text. Non-zero when
// it did within timeoutMs.
int WaitForFinishedState(HWND hDlg, DWORD timeoutMs);
// Writes the whole text of the detail box into a file. Non-zero on success.
int SaveDetailLog(HWND hDlg, const char* path);

// Waits for the question, reports its text ("question: ...") and its
// default button ("question default: yes|no|?"). NULL when none came.
HWND ReadQuestion();

// The process of an executable name, 0 when none runs.
DWORD FindProcessByName(const char* exeName);
// Waits (at most timeoutMs) until no launcher or worker process is left and
// reports "uninstaller processes left: yes|no".
void WaitUninstallerGone(DWORD timeoutMs);

// ---- The phase pictures -----------------------------------------------------
// The three indicators, each read off the screen and named by the picture
// it shows: "empty", "arrow", "check", or "other" (half painted, unknown).
// The pictures are those of the program's own resources (the driver links
// the uninstaller's), loaded as the uninstaller loads them.

// The four states of the indicators, in their order.
enum PhaseState { STATE_FILES, STATE_GROUPS, STATE_REGISTRY, STATE_FINISHED };

// Follows the indicators from one reading to the next. A reading counts only
// when it is one of the states, no earlier than the last one taken, and the
// reading after it agrees: the screen may be caught half painted. Of the
// state it took last, the watch knows when it came on screen at the
// earliest and at the latest (tick counts): after the start of the last
// reading that showed anything else, by the end of the first that showed
// it. On a slow machine the readings, and with them that span, take long.
struct PhaseWatch {
    int lastState;
    int pendingState;
    DWORD readStart;      // the start of the reading before this one
    DWORD pendingAfter;   // the pending state came on screen after this
    DWORD pendingBy;      // and by this
    DWORD changedAfter;   // the same for the state taken last
    DWORD changedBy;
};
#define PHASE_WATCH_START { -1, -2, GetTickCount(), 0, 0, 0, 0 }

// What WatchPhases returns besides a new state (0 to 3).
enum {
    WATCH_UNCHANGED = -1,    // the reading stands and is no new state
    WATCH_UNSETTLED = -2,    // the reading does not count (yet)
    WATCH_UNREADABLE = -3,   // the screen cannot be read
};

// Takes one reading. A new state is reported as
// "pictures: files=<name> groups=<name> registry=<name>" and returned.
int WatchPhases(HWND hDlg, PhaseWatch* watch);

// ---- The registry -----------------------------------------------------------

// Non-zero when the key named with its root (HKCU\, HKCR\, HKLM\, HKU\)
// exists.
int IsKeyPresent(const char* rootPath);
