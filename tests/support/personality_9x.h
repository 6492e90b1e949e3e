// The 9x personality (personality_9x.dll): what a test or a test program
// needs to start a process under it. The DLL answers the calls of the
// process it is loaded into as Windows 95/98 answer them, but only when Wine
// reports the 9x family to that process (the value Version = win98 in
// HKCU\Software\Wine\AppDefaults\<exe name>); elsewhere it stays idle, so a
// test may load it just to start children through it.
#pragma once

#include <windows.h>

// The DLL's file name, beside the test programs in the build tree.
#define TW_PERSONALITY_9X_DLL "personality_9x.dll"

// The environment variable that names the report file: a line per process
// that loads the layer ("<exe>: active" or "<exe>: idle (platform <n>)"),
// and a line for each answer the layer changed or could not give (those
// begin "<exe>: no row:" or "<exe>: missing on 9x:"). Unset, no report.
#define TW_PERSONALITY_9X_REPORT "TW_9X_REPORT"

// CreateProcessA, with the layer loaded into the new process before its
// first instruction runs; the layer follows that process's own
// CreateProcessA calls the same way. Exported undecorated under this name.
typedef BOOL (WINAPI* CreateProcessUnder9xFunction)(LPCSTR applicationName, LPSTR commandLine,
                                                    LPSECURITY_ATTRIBUTES processAttributes,
                                                    LPSECURITY_ATTRIBUTES threadAttributes,
                                                    BOOL inheritHandles, DWORD creationFlags,
                                                    LPVOID environment, LPCSTR currentDirectory,
                                                    LPSTARTUPINFOA startupInfo,
                                                    LPPROCESS_INFORMATION processInformation);
#define TW_CREATE_PROCESS_UNDER_9X "CreateProcessUnder9x"

// Loads the layer from dllPath into the calling process (where it stays
// idle unless Wine reports the 9x family) and returns its CreateProcessA
// stand-in; NULL when it cannot be loaded.
inline CreateProcessUnder9xFunction LoadPersonality9x(const char* dllPath)
{
    HMODULE hLayer = LoadLibraryA(dllPath);
    return hLayer != NULL
        ? (CreateProcessUnder9xFunction)(void*)GetProcAddress(hLayer, TW_CREATE_PROCESS_UNDER_9X) : NULL;
}
