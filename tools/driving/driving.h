// What the programs that play the user of an uninstallation share (the
// end-to-end tests' driver and the demonstration's): finding the
// uninstaller's windows and reading them as a user sees them, the phase
// pictures read off the screen, and the plain report lines they write.
#pragma once

#include <windows.h>
#include <stddef.h>

// ---- Report lines -----------------------------------------------------------
// Texts are written as the uninstaller shows them (bytes of the ANSI code
// page), each also echoed to standard output.

// Opens the report file, appending to what it holds. Non-zero on success.
int OpenReport(const char* path);
void CloseReport();
void Report(const char* text);
void Reportf(const char* format, ...);
// "<label>: <text>" with the line feeds of the text written as \n.
void ReportText(const char* label, const char* text);
// Reports "FAILED: <what>" and returns 0.
int ReportFailure(const char* what);

// ---- The uninstaller's windows ----------------------------------------------

enum WindowKind { KIND_QUESTION, KIND_ERROR_BOX, KIND_PROGRESS, KIND_ANY };

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
// Clicks the Detail check box of the progress dialog and lets it settle.
void ClickDetail(HWND hDlg);
// Writes the whole text of the detail box into a file. Non-zero on success.
int SaveDetailLog(HWND hDlg, const char* path);

// Waits for the question, reports its text ("question: ...") and its
// default button ("question default: yes|no|?"). NULL when none came.
HWND ReadQuestion();

// The process of an executable name, 0 when none runs.
DWORD FindProcessByName(const char* exeName);

// ---- The phase pictures -----------------------------------------------------
// The three indicators, each read off the screen and named by the picture
// it shows: "empty", "arrow", "check", or "other" (half painted, unknown).
// The pictures are those of the program's own resources (the driver links
// the uninstaller's), loaded as the uninstaller loads them.

// The four states of the indicators, in their order.
enum PhaseState { STATE_FILES, STATE_GROUPS, STATE_REGISTRY, STATE_FINISHED };

// Follows the indicators from one reading to the next. A reading counts only
// when it is one of the states, no earlier than the last one taken, and the
// reading after it agrees: the screen may be caught half painted.
struct PhaseWatch {
    int lastState;
    int pendingState;
};
#define PHASE_WATCH_START { -1, -2 }

// What WatchPhases returns besides a new state (0 to 3).
enum {
    WATCH_UNCHANGED = -1,    // the reading stands and is no new state
    WATCH_UNSETTLED = -2,    // the reading does not count (yet)
    WATCH_UNREADABLE = -3,   // the screen cannot be read
};

// Takes one reading. A new state is reported as
// "pictures: files=<name> groups=<name> registry=<name>" and returned.
int WatchPhases(HWND hDlg, PhaseWatch* watch);

// ---- The registry ------------------------------------------------------------

// Reports "key <root\path>: present|absent" for a key named with its root
// (HKCU\, HKCR\, HKLM\, HKU\). 0 when the text names no such root.
int ReportKey(const char* rootPath);
// Non-zero when the key named with its root exists.
int IsKeyPresent(const char* rootPath);
// Reports the pending file operations ("pending: <from> -> <to>|(delete)",
// or "pending: none"). Non-zero on success.
int ReportPendingOperations();
