// The process-wide state that every subsystem shares: the module instance
// and the text buffer for string-table texts.

#include "common/common.h"

HINSTANCE g_hInstance = NULL;
char g_textBuffer[256];

const char* LoadTextBuffer(UINT id)
{
    if (LoadStringA(g_hInstance, id, g_textBuffer, COUNTOF(g_textBuffer)) <= 0)
        g_textBuffer[0] = '\0';
    return g_textBuffer;
}
