// Bounds on waits for other processes and windows, stretched on a slow
// machine: TW_WAIT_SCALE, a whole factor from 1 to 100 (default 1),
// multiplies them. The emulated machine's test lane sets it, where a Wine
// process takes seconds to start. Shared by the test programs and the
// programs that drive the uninstaller.
#pragma once

#include <windows.h>
#include <stdlib.h>

inline DWORD WaitBound(DWORD ms)
{
    static DWORD s_scale = 0;
    if (s_scale == 0) {
        char text[16];
        DWORD cch = GetEnvironmentVariableA("TW_WAIT_SCALE", text, sizeof(text));
        int scale = cch > 0 && cch < sizeof(text) ? atoi(text) : 1;
        s_scale = scale >= 1 && scale <= 100 ? (DWORD)scale : 1;
    }
    // INFINITE stays infinite, and a long bound stops short of it.
    if (ms == INFINITE)
        return INFINITE;
    return ms < (INFINITE - 1) / s_scale ? ms * s_scale : INFINITE - 1;
}
