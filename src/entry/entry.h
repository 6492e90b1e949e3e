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

// The launcher stage: extracts the information block into a file in the
// temporary directory, starts the temporary copy as the worker and waits
// until the worker signals that it is done.
void LauncherStage();
