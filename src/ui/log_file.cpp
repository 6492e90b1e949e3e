// The log file of a run, for those who were not watching: a copy of every
// detail-log line and error text, written as each arises so that the file
// holds everything up to the moment the run ended, however it ended, and a
// summary line at the end.

#include "ui/ui.h"
#include "common/common.h"

static HANDLE s_hLog = INVALID_HANDLE_VALUE;
static int s_logFailed = 0;

int OpenLogFile(const char* path, int restart)
{
    CloseLogFile();
    // Others may read the file while the run writes it.
    s_hLog = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL,
                         restart ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (s_hLog == INVALID_HANDLE_VALUE) {
        s_logFailed = 1;
        return 0;
    }
    if (!restart && SetFilePointer(s_hLog, 0, NULL, FILE_END) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
        CloseLogFile();
        s_logFailed = 1;
        return 0;
    }
    return 1;
}

void CloseLogFile()
{
    if (s_hLog != INVALID_HANDLE_VALUE)
        CloseHandle(s_hLog);
    s_hLog = INVALID_HANDLE_VALUE;
}

void WriteLogText(const char* text)
{
    if (s_hLog == INVALID_HANDLE_VALUE)
        return;
    DWORD cbText = (DWORD)lstrlenA(text);
    DWORD cbDone = 0;
    while (cbDone < cbText) {
        DWORD cbWritten = 0;
        if (!WriteFile(s_hLog, text + cbDone, cbText - cbDone, &cbWritten, NULL) || cbWritten == 0) {
            s_logFailed = 1;
            return;
        }
        cbDone += cbWritten;
    }
}

void WriteLogLine(const char* text)
{
    WriteLogText(text);
    WriteLogText("\r\n");
}

static const char* DescribeResult(int result)
{
    switch (result) {
    case TW_RESULT_REMOVED: return "everything removed";
    case TW_RESULT_NOT_STARTED: return "nothing removed";
    case TW_RESULT_PARTIAL: return "some items remain";
    case TW_RESULT_UNKNOWN: return "outcome unknown";
    case TW_RESULT_NO_LOG: return "log incomplete";
    case TW_RESULT_RESTART: return "restart needed to finish";
    }
    return "unknown";
}

// Appends "; <what> <n> removed, <n> absent, <n> failed" to line.
static void AppendCountsPart(char* line, size_t cchLine, const char* what, const PhaseCounts& counts)
{
    char part[100];
    wsprintfA(part, "; %s %u removed, %u absent, %u failed", what, counts.removed, counts.absent,
              counts.failed);
    AppendText(line, cchLine, part);
}

void WriteLogSummary(const PhaseCounts* counts, int result)
{
    // Fixed English, whatever the language of the lines above it, so that
    // scripts can read it; a part is only ever added before "; result", so
    // that what scripts read stays where it was.
    char line[600];
    if (counts == NULL) {
        wsprintfA(line, "Summary: result %d (%s)\r\n", result, DescribeResult(result));
    } else {
        wsprintfA(line,
                  "Summary: files %u removed, %u absent, %u failed; "
                  "groups %u removed, %u absent, %u failed; "
                  "registry keys %u removed, %u absent, %u failed",
                  counts[COUNT_FILES].removed, counts[COUNT_FILES].absent, counts[COUNT_FILES].failed,
                  counts[COUNT_GROUPS].removed, counts[COUNT_GROUPS].absent, counts[COUNT_GROUPS].failed,
                  counts[COUNT_KEYS].removed, counts[COUNT_KEYS].absent, counts[COUNT_KEYS].failed);
        AppendCountsPart(line, COUNTOF(line), "registry values", counts[COUNT_VALUES]);
        char end[100];
        // Only when there are any, so that the line of a run without them
        // reads as it always has.
        if (counts[COUNT_FILES].atRestart > 0) {
            wsprintfA(end, "; files %u to be deleted at restart", counts[COUNT_FILES].atRestart);
            AppendText(line, COUNTOF(line), end);
        }
        wsprintfA(end, "; result %d (%s)\r\n", result, DescribeResult(result));
        AppendText(line, COUNTOF(line), end);
    }
    WriteLogText(line);
}

int LogFileFailed()
{
    return s_logFailed;
}
