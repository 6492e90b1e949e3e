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

// The launcher stage: extracts the information block into a file in the
// temporary directory, starts the temporary copy as the worker and waits
// until the worker signals that it is done.
void LauncherStage();
