// Child program of the deletion-at-restart tests: reports the platform
// family this process sees and schedules the files named on its command
// line, so that a test can run it under another Windows version.
//
//   restart_child [--9x-limit] <file>...
//       prints "platform=<id> nt=<0|1>" and then "result=<n>" for each file
//       scheduled; --9x-limit reads profile sections as the 9x family
//       does, never more than 32,767 characters whatever the buffer.

#include <stdio.h>
#include <string.h>

#include "worker/worker.h"

static DWORD WINAPI GetProfileSectionAs9x(LPCSTR appName, LPSTR returned, DWORD cchSize, LPCSTR fileName)
{
    return GetPrivateProfileSectionA(appName, returned, cchSize < 32767 ? cchSize : 32767, fileName);
}

int main(int argc, char** argv)
{
    int first = 1;
    if (argc > 1 && strcmp(argv[1], "--9x-limit") == 0) {
        g_getProfileSection = GetProfileSectionAs9x;
        first = 2;
    }
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    DWORD platform = GetVersionExA(&version) ? version.dwPlatformId : 0xFFFFFFFF;
    printf("platform=%lu nt=%d\n", (unsigned long)platform, IsNtPlatform() ? 1 : 0);
    for (int i = first; i < argc; ++i)
        printf("result=%d\n", ScheduleDeleteAtRestart(argv[i]));
    fflush(stdout);
    return 0;
}
