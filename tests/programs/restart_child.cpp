// Child program of the deletion-at-restart tests: reports the platform
// family this process sees and schedules the files named on its command
// line, so that a test can run it under another Windows version (and under
// the 9x personality).
//
//   restart_child [--directories] <file>...
//       prints "platform=<id> nt=<0|1>" and then "result=<n>" for each file
//       scheduled; --directories schedules the removal of directories
//       instead.

#include <stdio.h>
#include <string.h>

#include "worker/worker.h"

int main(int argc, char** argv)
{
    int directories = argc > 1 && strcmp(argv[1], "--directories") == 0;
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    DWORD platform = GetVersionExA(&version) ? version.dwPlatformId : 0xFFFFFFFF;
    printf("platform=%lu nt=%d\n", (unsigned long)platform, IsNtPlatform() ? 1 : 0);
    for (int i = directories ? 2 : 1; i < argc; ++i)
        printf("result=%d\n", directories ? ScheduleDirectoryRemovalAtRestart(argv[i])
                                           : ScheduleDeleteAtRestart(argv[i]));
    fflush(stdout);
    return 0;
}
