// Benchmark of the detail log with the progress dialog shown: appending
// 1,000 / 10,000 / 50,000 lines of about 73 bytes, pumping either once at
// the end (as at a phase change) or every 100 lines. Prints the time in
// total and per line, and whether the box ends up holding the whole log.
//
//   bench_detail_log                  every configuration, each in a fresh
//                                     process (the log cannot be reset)
//   bench_detail_log <lines> <every>  one configuration; every = 0 pumps
//                                     only once, at the end

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/common.h"
#include "res/resource.h"
#include "ui/ui.h"

static double NowMs()
{
    LARGE_INTEGER freq, now;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)freq.QuadPart;
}

static int RunOne(int lines, int pumpEvery)
{
    HWND hDlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, ProgressDialogProc, 0);
    if (hDlg == NULL) {
        printf("cannot create the dialog (no display?)\n");
        return 1;
    }
    g_hProgressDlg = hDlg;
    SetDlgItemTextA(hDlg, IDC_APP_NAME, "Tarnwick Sample");
    ShowWindow(hDlg, SW_SHOW);
    PumpMessages(hDlg);

    // " C:\Program Files\Tarnwick Sample\subdir2\data\file00000.dat - deleted.\r\n"
    // (73 bytes).
    char item[128];
    double start = NowMs();
    for (int i = 0; i < lines; ++i) {
        wsprintfA(item, "C:\\Program Files\\Tarnwick Sample\\subdir2\\data\\file%05d.dat", i);
        AppendDetailLog("", item, "- deleted.");
        if (pumpEvery > 0 && (i + 1) % pumpEvery == 0)
            PumpMessages(hDlg);
    }
    double appended = NowMs();
    PumpMessages(hDlg);
    double end = NowMs();

    HWND hBox = GetDlgItem(hDlg, IDC_DETAIL_LOG);
    int cchBox = GetWindowTextLengthA(hBox);
    size_t cchLog = strlen(GetDetailLogText());
    char* box = (char*)HeapAlloc(GetProcessHeap(), 0, cchBox + 1);
    int same = 0;
    if (box != NULL) {
        GetWindowTextA(hBox, box, cchBox + 1);
        same = strcmp(box, GetDetailLogText()) == 0;
        HeapFree(GetProcessHeap(), 0, box);
    }
    printf("%6d lines (%2u bytes each), pump %-10s  total %9.1f ms  %7.2f us/line  "
           "(last pump %7.1f ms)  box %8d chars, log %8u: %s\n",
           lines, (unsigned)(cchLog / (lines > 0 ? lines : 1)),
           pumpEvery > 0 ? "every 100" : "at end", end - start, (end - start) * 1000.0 / lines,
           end - appended, cchBox, (unsigned)cchLog, same ? "same text" : "DIFFERENT");
    g_finished = 1;
    DestroyWindow(hDlg);
    return same ? 0 : 1;
}

static int RunAll()
{
    static const int kLines[] = { 1000, 10000, 50000 };
    static const int kEvery[] = { 0, 100 };
    char self[MAX_PATH];
    DWORD cch = GetModuleFileNameA(NULL, self, COUNTOF(self));
    if (cch == 0 || cch >= COUNTOF(self))
        return 1;
    int failures = 0;
    for (int lines : kLines) {
        for (int every : kEvery) {
            char cmd[MAX_PATH + 64];
            wsprintfA(cmd, "\"%s\" %d %d", self, lines, every);
            STARTUPINFOA si;
            ZeroMemory(&si, sizeof(si));
            si.cb = sizeof(si);
            PROCESS_INFORMATION pi;
            fflush(stdout);
            if (!CreateProcessA(self, cmd, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
                printf("cannot start %s\n", cmd);
                return 1;
            }
            WaitForSingleObject(pi.hProcess, INFINITE);
            DWORD code = 1;
            GetExitCodeProcess(pi.hProcess, &code);
            failures += code != 0;
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    return failures != 0;
}

int main(int argc, char** argv)
{
    g_hInstance = GetModuleHandleA(NULL);
    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc == 3)
        return RunOne(atoi(argv[1]), atoi(argv[2]));
    return RunAll();
}
