// Start-up and staging: the process entry, the choice of stage from the
// command line, and the launcher stage.
#pragma once

#include <windows.h>

// What the command line asks for.
enum Stage {
    STAGE_LAUNCHER,            // "/s..."
    STAGE_WORKER,              // "/u<path>"
    STAGE_ASK_CONTROL_PANEL    // anything else
};

// Classifies the command line (the text after the program name). For
// STAGE_WORKER, *pPath receives the text from the third character on,
// unchanged.
Stage ClassifyCommandLine(const char* cmdLine, const char** pPath);

// Returns the part of a process command line (GetCommandLineA) that follows
// the program name: the name is skipped up to and including its closing
// quote when the line starts with one, otherwise up to the first character
// not above the blank; then every character not above the blank. Trailing
// blanks and quotes stay. Never returns NULL for a non-NULL line.
const char* SkipProgramName(const char* commandLine);

// Restricts where this process loads DLLs from: the system folder only
// where the system offers that (SetDefaultDllDirectories), otherwise at
// least not the current directory (SetDllDirectoryA("")). Called first
// thing in WinMain, before anything can load a DLL. Non-zero when one of
// the two took effect; 0 on systems that have neither (nothing is done).
// Never shows a message.
int RestrictDllSearch();

// The options that may follow "/s", separated by blanks; case does not
// matter. Anything else after "/s" is ignored.
struct LauncherOptions {
    int quiet;               // "/quiet": no window of any kind; the result
                             // becomes the exit code
    int logRequested;        // "/log=<path>" was given (the last one counts)
    int logPathFits;         // ... and its path fit logPath
    char logPath[MAX_PATH];  // the path as given, double quotes removed
    int closeApps;           // "/closeapps": a quiet run asks the programs
                             // that use the installation's files to close
};

// Reads the options from the text that follows the switch "/s" (the command
// line from its third character on). Text glued to the switch ("/sX")
// belongs to the switch and is no option. A double quote starts or ends a
// stretch in which blanks do not separate; the quotes themselves are
// dropped. Never fails: what is not an option is ignored.
void ParseLauncherOptions(const char* text, LauncherOptions* options);

// Creates a new folder of this run's own in tempDir (which ends in a
// backslash) and writes its path, with a final backslash, into workspace
// (cchWorkspace bytes). Names come from seed; a name that is taken already
// is skipped, never reused. On the NT family only the current user, SYSTEM
// and the Administrators get access to the folder and to what is created in
// it. Non-zero on success; 0 (nothing created) when no name was free or the
// folder or its security could not be made.
int CreateWorkspace(const char* tempDir, DWORD seed, char* workspace, size_t cchWorkspace);

// True when the command line names /quiet (a word "/quiet" in any case,
// alone or glued to other switches, anywhere) but is no quiet launcher run
// ("/s" first, "/quiet" as an option after it): "/quiet /s", "/s/quiet",
// "/quiet" alone. Such a run must show no window, remove nothing and end
// with exit code 1. options receives the "/log=" option from every word of
// the line, for the log of that end.
int IsRefusedQuietCommandLine(const char* cmdLine, LauncherOptions* options);

// Ends a refused quiet command line: no window; with "/log=" the log file
// holds the reason and a summary. Returns the exit code, 1.
int RefuseQuietCommandLine(const LauncherOptions* options);

// The call that creates the folder during CreateWorkspace. Defined in
// workspace.cpp as CreateDirectoryA and never changed by the product; tests
// replace it to read the security descriptor that the folder is given, which
// Wine does not keep (it keeps only what Unix permissions can say).
typedef BOOL (WINAPI* CreateDirectoryFunction)(LPCSTR path, LPSECURITY_ATTRIBUTES attributes);
extern CreateDirectoryFunction g_createDirectory;

// The launcher stage: extracts the information block into a file in the
// temporary directory, starts the temporary copy as the worker and waits
// until the worker signals that it is done. Returns the process exit code:
// 0 unless options->quiet, then the RunResult of the uninstallation.
int LauncherStage(const LauncherOptions* options);
