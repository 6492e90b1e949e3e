// Puts the progress dialog (or the Control Panel question) on the screen in
// a chosen state and keeps it there until a given file appears, so that a
// script can take a picture of it.
//
//   show_dialog running|finished|expanded|question <done-file>

#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "common/common.h"
#include "res/resource.h"
#include "ui/ui.h"

static const char* s_doneFile = "";

static bool DoneFileExists()
{
    return GetFileAttributesA(s_doneFile) != INVALID_FILE_ATTRIBUTES;
}

static HWND CreateProgressDialog()
{
    HBITMAP hDone = CreateMappedBitmap(g_hInstance, IDB_DONE, 0, NULL, 0);
    HBITMAP hCurrent = CreateMappedBitmap(g_hInstance, IDB_CURRENT, 0, NULL, 0);
    HBITMAP hPending = CreateMappedBitmap(g_hInstance, IDB_PENDING, 0, NULL, 0);
    HWND hDlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, ProgressDialogProc, 0);
    g_hProgressDlg = hDlg;
    if (hDlg == NULL)
        return NULL;
    SetDlgItemTextA(hDlg, IDC_APP_NAME, "Tarnwick Sample Application");
    // The files phase is done and the program groups are being removed.
    SendDlgItemMessageA(hDlg, IDC_PHASE_FILES, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hDone);
    SendDlgItemMessageA(hDlg, IDC_PHASE_GROUPS, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hCurrent);
    SendDlgItemMessageA(hDlg, IDC_PHASE_REGISTRY, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hPending);
    return hDlg;
}

static void EnterFinishedState(HWND hDlg)
{
    HBITMAP hDone = CreateMappedBitmap(g_hInstance, IDB_DONE, 0, NULL, 0);
    SendDlgItemMessageA(hDlg, IDC_PHASE_GROUPS, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hDone);
    SendDlgItemMessageA(hDlg, IDC_PHASE_REGISTRY, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hDone);
    g_finished = 1;
    SetDlgItemTextA(hDlg, IDOK, LoadTextBuffer(IDS_CLOSE));
    ShowWindow(GetDlgItem(hDlg, IDOK), SW_SHOW);
    ShowWindow(GetDlgItem(hDlg, IDC_DETAIL), SW_SHOW);
    SetDlgItemTextA(hDlg, IDC_HEADING, LoadTextBuffer(IDS_FINISHED));
}

static void LogSampleLines()
{
    static const char* const kFiles[] = {
        "C:\\Program Files\\Tarnwick Sample\\sample.exe",
        "C:\\Program Files\\Tarnwick Sample\\sample.hlp",
        "C:\\Program Files\\Tarnwick Sample\\readme.txt",
    };
    for (const char* file : kFiles)
        AppendDetailLog("", file, LoadTextBuffer(IDS_DELETED));
    AppendDetailLog(" ", "C:\\Program Files\\Tarnwick Sample\\sample.gid", LoadTextBuffer(IDS_DELETED));
    AppendDetailLog("", "C:\\Program Files\\Tarnwick Sample\\locked.dll", LoadTextBuffer(IDS_FAILED_TO_DELETE));
    AppendDetailLog("", "Tarnwick Sample", LoadTextBuffer(IDS_DELETED));
    AppendDetailLog("HKEY_CURRENT_USER \\", "Software\\Tarnwick\\Sample", LoadTextBuffer(IDS_DELETED));
    AppendDetailLog("HKEY_LOCAL_MACHINE \\", "SOFTWARE\\Tarnwick\\Sample", LoadTextBuffer(IDS_DELETED));
}

static BOOL CALLBACK AnswerNo(HWND hwnd, LPARAM)
{
    PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    return TRUE;
}

// Answers the question with No once the picture has been taken.
static DWORD WINAPI DismissQuestion(void* param)
{
    DWORD threadId = (DWORD)(UINT_PTR)param;
    while (!DoneFileExists())
        Sleep(100);
    EnumThreadWindows(threadId, AnswerNo, 0);
    return 0;
}

int main(int argc, char** argv)
{
    g_hInstance = GetModuleHandleA(NULL);
    if (argc != 3) {
        fprintf(stderr, "usage: show_dialog running|finished|expanded|question <done-file>\n");
        return 2;
    }
    const char* state = argv[1];
    s_doneFile = argv[2];
    InitCommonControls();

    if (strcmp(state, "question") == 0) {
        HANDLE hThread = CreateThread(NULL, 0, DismissQuestion, (void*)(UINT_PTR)GetCurrentThreadId(), 0, NULL);
        LoadTextBuffer(IDS_USE_CONTROL_PANEL);
        MessageBoxA(NULL, g_textBuffer, TW_PROGRAM_TITLE, MB_YESNO | MB_ICONWARNING | MB_TASKMODAL);
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
        return 0;
    }

    HWND hDlg = CreateProgressDialog();
    if (hDlg == NULL) {
        fprintf(stderr, "show_dialog: cannot create the dialog\n");
        return 1;
    }
    if (strcmp(state, "running") != 0) {
        EnterFinishedState(hDlg);
        if (strcmp(state, "expanded") == 0) {
            LogSampleLines();
            CheckDlgButton(hDlg, IDC_DETAIL, BST_CHECKED);
            SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDC_DETAIL, BN_CLICKED), (LPARAM)GetDlgItem(hDlg, IDC_DETAIL));
        }
    }
    AnimateShow(hDlg, 200, AW_ACTIVATE | AW_CENTER);
    ShowWindow(hDlg, SW_SHOW);
    while (!DoneFileExists() && g_hProgressDlg != NULL) {
        PumpMessages(hDlg);
        Sleep(50);
    }
    if (g_hProgressDlg != NULL) {
        g_finished = 1;
        DestroyWindow(g_hProgressDlg);
    }
    return 0;
}
