// Shared helpers of every subsystem: the module instance, the process-wide
// text buffer, bounded string copies and the double-byte-aware path helpers.
// Nothing here shows a message or touches the file system.
#pragma once

#include <windows.h>
#include <stddef.h>

// TW_PROGRAM_TITLE: caption of every message box and of the progress
// dialog, and the text inside the information block's marker.
#include "common/title.h"

// Number of elements of an array; refuses to compile on a pointer.
template <typename T, size_t N>
char (&CountOfHelper(T (&)[N]))[N];
#define COUNTOF(a) (sizeof(CountOfHelper(a)))

// The module instance handle. Set once by WinMain (tests set it to their
// own module); read by every string, bitmap and dialog load.
extern HINSTANCE g_hInstance;

// The process-wide text buffer that receives string-table texts for log
// status texts, questions and dialog texts. Written by LoadTextBuffer only.
extern char g_textBuffer[256];

// Loads string `id` of the module's string table into g_textBuffer and
// returns the buffer. A missing string leaves the buffer empty.
const char* LoadTextBuffer(UINT id);

// Copies src into dst (cchDst bytes, at least 1). Returns non-zero if all
// of it fit; otherwise dst holds the longest prefix that does not end in
// half a double-byte character. Never writes past dst + cchDst.
int CopyText(char* dst, size_t cchDst, const char* src);

// Appends src to the text in dst (cchDst bytes); same contract as CopyText
// for the appended part. A dst that is not terminated within cchDst is left
// alone and the result is 0.
int AppendText(char* dst, size_t cchDst, const char* src);

// Returns the start of the last character of the text (a lead byte for a
// double-byte character), or NULL for an empty text. Walks forward with
// IsDBCSLeadByte, so a trail byte is never taken for a character of its own.
const char* FindLastCharacter(const char* text);

// True when the last character of the path is a single-byte backslash
// (not the trail byte 0x5C of a double-byte character).
int EndsWithBackslash(const char* path);

// The file name of a path: the text after its last backslash (a trail
// byte 0x5C is no backslash); the whole path when it has none.
const char* FindFileName(const char* path);

// True when the two paths name the same file or folder: equal without
// regard to case, or in their short forms (both must exist for that).
int NameSameObject(const char* a, const char* b);

// Loads a DLL of the system folder by its full path, so that a DLL of the
// same name in the executable's folder (the worker runs from the temporary
// directory, which other programs can write to) is never taken for it.
// NULL when it is not there.
HMODULE LoadSystemLibrary(const char* name);

// Removes the path's final single-byte backslashes (a trail byte 0x5C
// stays).
void StripTrailingBackslashes(char* path);

// Makes sure a non-empty path ends in a backslash: when its last character
// is not a single-byte backslash, appends one. An empty path stays empty.
// path is a buffer of cchPath bytes. Returns non-zero on success, 0 when the
// backslash does not fit (the path is then left unchanged).
int AppendBackslash(char* path, size_t cchPath);

// The two processes of an uninstallation meet through these: the named
// event the worker sets to release the launcher (each run adds a suffix of
// its own; a worker told no name opens this one), and the temporary copy of
// the executable that the worker runs from, in the run's own folder.
#define TW_SYNC_EVENT "TarnwickUninstallSyncEvent"
#define TW_WORKER_COPY_NAME "twuninst.bin"

// Reads cb bytes from the file's current position into buffer. Non-zero
// when all of them were read; 0 when reading failed or the file ended first.
int ReadWhole(HANDLE hFile, void* buffer, DWORD cb);

// The temporary directory with a final backslash, in dir (cchDir bytes),
// named so that the ANSI functions reach it (see ConvertToAnsiPath).
// Non-zero on success; 0 when it is not available or does not fit, with
// the last error ERROR_NO_UNICODE_TRANSLATION when its name has no ANSI
// form at all.
int GetTempDirectory(char* dir, size_t cchDir);

// Writes the ANSI name of a path that the system gave in Unicode into path
// (cchPath bytes): the name itself when the ANSI code page holds each of its
// characters exactly, otherwise its short (8.3) form when that one does.
// Non-zero on success. 0 when the name does not fit, or, with the last error
// ERROR_NO_UNICODE_TRANSLATION, when neither form can be written in the
// code page (short names may be turned off on a volume). Never guesses:
// a character replaced by '?' or by a look-alike would name another file.
int ConvertToAnsiPath(const WCHAR* widePath, char* path, size_t cchPath);

// What an uninstallation came to: the exit code of a quiet run (/s /quiet)
// and the result in the log's summary line. Deployment tools take 0 for
// success and anything else for failure; the values 1 to 4 keep clear of
// the codes that they read as "restart" (3010, 1641) or "try again later"
// (1618), and 3010 means just what they read it as.
enum RunResult {
    TW_RESULT_REMOVED = 0,       // every listed item removed or already absent
    TW_RESULT_NOT_STARTED = 1,   // nothing removed: no information, failed to
                                 // initialise, no temporary directory, no worker
    TW_RESULT_PARTIAL = 2,       // the run completed; some listed items remain
    TW_RESULT_UNKNOWN = 3,       // the worker ended without saying how it went,
                                 // or could not be followed: anything may remain
    TW_RESULT_NO_LOG = 4,        // everything removed, but the log file could
                                 // not be written whole
    TW_RESULT_RESTART = 3010     // everything removed but files in use, which
                                 // go at the next restart of the system
};
