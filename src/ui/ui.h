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

// 1 when the run may show no window at all (/s /quiet): error texts then go
// to the log file only. Set by each stage at its start (the launcher from its
// command line, the worker from the information file); read by
// ShowErrorMessage and the driver.
extern int g_quiet;

// The dialog's client rectangle at WM_INITDIALOG (the collapsed size).
// Written by ProgressDialogProc only.
extern RECT g_collapsedClientRect;

// Dialog procedure of dialog IDD_PROGRESS.
INT_PTR CALLBACK ProgressDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Appends the line "<prefix> <item> <status>\r\n" to the detail log and
// writes it to the log file. The detail box shows exactly the log text
// whenever the dialog handles messages between phases and in the finished
// state, and is at most a batch behind while a phase works
// (UpdateDetailBoxInBatches). Never shows a message; a line that cannot be
// stored is dropped from the box (the log file still has it).
void AppendDetailLog(const char* prefix, const char* item, const char* status);

// The whole detail log text ("" before the first line).
const char* GetDetailLogText();

// Brings the detail box of the dialog hDlg (NULL: none) up to date with the
// log text when lines were added since the last update or the box is not
// the one last filled (a dialog created later). Called before messages are
// handled.
void UpdateDetailBox(HWND hDlg);

// The same while a phase works, but only once a batch of lines has come
// (32 KB, or a quarter of a second's worth): the box may then be that much
// behind the log. Non-zero when it updated the box.
int UpdateDetailBoxInBatches(HWND hDlg);

// Brings the detail box of hDlg up to date, then dispatches every waiting
// message of the thread without blocking. A retrieved WM_QUIT is posted
// again (exit code 0) and ends the call. hDlg may be NULL.
void PumpMessages(HWND hDlg);

// While a phase works: when some tens of milliseconds have passed since the
// last pump, dispatches the waiting messages, and again after the detail
// box took a batch of lines (so a message waits for the pump interval or
// for one batch, not for both), so that the dialog paints, answers and
// refuses to close as it does between phases. Cheap to call after every
// item.
void PumpMessagesWhenDue(HWND hDlg);

// Runs the blocking message loop of the modeless progress dialog until
// WM_QUIT (the dialog posts it when destroyed).
void RunDialogMessageLoop();

// While the phases run, the dialog refuses to let the session end (its
// procedure answers WM_QUERYENDSESSION with FALSE until g_finished is set).
// Where the system shows why a program holds up a logoff or shutdown
// (ShutdownBlockReasonCreate, Vista and later, looked up at run time),
// BlockSessionEnd gives the program title and the display name as the
// reason, and AllowSessionEnd takes it back. Non-zero when the system took
// the call; 0 on systems without it.
int BlockSessionEnd(HWND hDlg, const char* displayName);
int AllowSessionEnd(HWND hDlg);

// AnimateWindow when the system has it, looked up at run time; 0 otherwise.
int AnimateShow(HWND hwnd, DWORD durationMs, DWORD flags);

// Shows string `id` in a modal error box (caption the program title, error
// icon, OK), owned by the progress dialog when one exists. The text also
// goes to the log file as a line of its own; with g_quiet set, only there.
void ShowErrorMessage(UINT id);

// The log file of a run (/log=<path>): every detail-log line and every error
// text, written the moment it arises, then one summary line. Nothing here
// shows a message; a log that cannot be written never stops the run.

// Opens the log file at path (a full path): emptied or created when
// `restart` is non-zero, otherwise opened for appending (created if
// missing). Non-zero on success; on failure LogFileFailed() turns true.
int OpenLogFile(const char* path, int restart);

// Closes the log file (all of it is on disk then). Harmless without one.
void CloseLogFile();

// Writes text (ANSI, with its own line ends) to the log file when one is
// open; otherwise does nothing. A failed write makes LogFileFailed() true.
void WriteLogText(const char* text);

// Writes one line of text (ANSI, without its line end) to the log file, as
// WriteLogText does, followed by CR LF. For the reasons that the run gives
// for what it could not do.
void WriteLogLine(const char* text);

// Counts of one phase's listed items for the summary line.
struct PhaseCounts {
    unsigned removed;   // deleted now
    unsigned absent;    // already gone (its line still says it failed)
    unsigned failed;    // still there, or never tried (a path too long)
    unsigned atRestart; // in use: deleted at the next restart (files only)
};

// What the summary counts, in the order of its parts: the files, groups and
// registry-key phases, then the listed registry values (values and list
// elements such as a PATH directory).
enum CountedPart { COUNT_FILES, COUNT_GROUPS, COUNT_KEYS, COUNT_VALUES, COUNTED_PART_COUNT };

// Writes the summary line "Summary: files <n> removed, <n> absent, <n>
// failed; groups ...; registry keys ...; registry values ...; result <n>
// (<words>)". counts holds COUNTED_PART_COUNT entries; when files were left
// for the next restart, "; files <n> to be deleted at restart" stands before
// the result. NULL writes "Summary: result <n> (<words>)" alone, for a run
// whose counts are unknown.
void WriteLogSummary(const PhaseCounts* counts, int result);

// True when a log was asked for and any part of it could not be written.
int LogFileFailed();
