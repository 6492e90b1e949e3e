// A program of the installation that is still running: the tests copy it
// into the application's folder and start it there, so that its own
// executable is in use.
//
//   running_app [<window title>]
//       shows a window with that title (none without a title or a display)
//       and runs until the window is closed (exit code 0) or it is ended.

#include <windows.h>

static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int main(int argc, char** argv)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.lpszClassName = "TarnwickRunningApp";
    RegisterClassA(&windowClass);
    HWND hwnd = argc < 2 ? NULL : CreateWindowA("TarnwickRunningApp", argv[1], WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                10, 10, 300, 120, NULL, NULL, NULL, NULL);
    if (hwnd == NULL)
        Sleep(INFINITE);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
