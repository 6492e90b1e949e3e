// The reason the system shows for a program that holds up a logoff or
// shutdown (Vista and later; looked up, since older systems lack it). The
// refusal itself is the dialog procedure's.

#include "ui/ui.h"
#include "common/common.h"

typedef BOOL (WINAPI* ShutdownBlockReasonCreateFunction)(HWND hwnd, LPCWSTR reason);
typedef BOOL (WINAPI* ShutdownBlockReasonDestroyFunction)(HWND hwnd);

static FARPROC FindUser32Function(const char* name)
{
    HMODULE hUser = GetModuleHandleA("user32.dll");
    return hUser != NULL ? GetProcAddress(hUser, name) : NULL;
}

int BlockSessionEnd(HWND hDlg, const char* displayName)
{
    ShutdownBlockReasonCreateFunction create =
        (ShutdownBlockReasonCreateFunction)FindUser32Function("ShutdownBlockReasonCreate");
    if (create == NULL)
        return 0;
    // "Tarnwick Uninstaller: <display name>"; the call takes Unicode only.
    char reason[300];
    CopyText(reason, COUNTOF(reason), TW_PROGRAM_TITLE ": ");
    AppendText(reason, COUNTOF(reason), displayName);
    WCHAR wide[300];
    if (MultiByteToWideChar(CP_ACP, 0, reason, -1, wide, COUNTOF(wide)) == 0)
        return 0;
    return create(hDlg, wide) != 0;
}

int AllowSessionEnd(HWND hDlg)
{
    ShutdownBlockReasonDestroyFunction destroy =
        (ShutdownBlockReasonDestroyFunction)FindUser32Function("ShutdownBlockReasonDestroy");
    return destroy != NULL && destroy(hDlg) != 0;
}
