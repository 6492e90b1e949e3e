// The process entry of the executable. The uninstaller carries no C runtime
// (a system without msvcrt.dll must still start it), so this does the part
// of a runtime's start-up that matters here and nothing else: the module
// instance, the show command and the exit code. Only the executable links
// this file; the test programs keep their runtime's start-up.

#include "entry/entry.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR cmdLine, int showCmd);

// The linker's default entry name for a GUI program. Nothing runs before
// it: there are no global constructors to call and no runtime to set up.
extern "C" void WinMainCRTStartup(void)
{
    STARTUPINFOA startup;
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    int showCmd = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    char* cmdLine = const_cast<char*>(SkipProgramName(GetCommandLineA()));
    // The exit code goes through ExitProcess: returning from the entry
    // would end only this thread.
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, cmdLine, showCmd));
}
