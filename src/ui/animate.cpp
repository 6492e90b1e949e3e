// The animated first show of a window, where the system offers it
// (AnimateWindow came with Windows 98 and 2000, so it is looked up).

#include "ui/ui.h"
#include "common/guard.h"

typedef BOOL (WINAPI* AnimateWindowFn)(HWND, DWORD, DWORD);

int AnimateShow(HWND hwnd, DWORD durationMs, DWORD flags)
{
    LibraryGuard user32(LoadLibraryA("User32.dll"));
    if (user32.Get() == NULL)
        return 0;
    AnimateWindowFn animate = (AnimateWindowFn)GetProcAddress(user32.Get(), "AnimateWindow");
    if (animate == NULL)
        return 0;
    return animate(hwnd, durationMs, flags);
}
