// The process entry: records the module instance, picks the stage from the
// command line, and otherwise sends the user to the Control Panel.

#include "common/common.h"
#include "entry/entry.h"
#include "res/resource.h"
#include "worker/worker.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    // The worker runs from a folder that other programs can write to:
    // before anything loads a DLL, keep the search to the system folder
    // where the system allows it, and off the current directory.
    RestrictDllSearch();
    g_hInstance = hInstance;

    // The startup code's idea of the text after the program name differs
    // between runtimes (quotes, bytes above 0x7F), so take it from the
    // process command line ourselves.
    const char* cmdLine = SkipProgramName(GetCommandLineA());
    // Whoever names /quiet wants no window: a line that is no quiet run
    // ends at once instead of asking, so that no service ever hangs on it.
    LauncherOptions refused;
    if (IsRefusedQuietCommandLine(cmdLine, &refused))
        return RefuseQuietCommandLine(&refused);
    const char* path = NULL;
    switch (ClassifyCommandLine(cmdLine, &path)) {
    case STAGE_LAUNCHER: {
        LauncherOptions options;
        ParseLauncherOptions(cmdLine + 2, &options);
        // 0 unless the run is quiet: then the result of the uninstallation.
        return LauncherStage(&options);
    }
    case STAGE_WORKER:
        WorkerStage(path);
        break;
    case STAGE_ASK_CONTROL_PANEL:
        LoadTextBuffer(IDS_USE_CONTROL_PANEL);
        if (MessageBoxA(NULL, g_textBuffer, TW_PROGRAM_TITLE,
                        MB_YESNO | MB_ICONWARNING | MB_TASKMODAL) == IDYES)
            WinExec("control.exe", SW_SHOWNORMAL);
        break;
    }
    // The worker and the Control Panel question end with 0 whatever happened.
    return 0;
}
