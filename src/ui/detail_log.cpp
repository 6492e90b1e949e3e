// The detail log: every logged line, kept for the life of the process and
// shown in the detail box of the progress dialog.
//
// The text lives in one heap block that grows with spare room, and the box
// is brought up to date only before messages are handled (the only moments
// anyone can see or read it). Re-setting the whole text on every line made
// large uninstallations take time that grows with the square of the line
// count.

#include "ui/ui.h"
#include "common/common.h"
#include "res/resource.h"

static char* s_logText = NULL;      // NUL-terminated; NULL before the first line
static size_t s_cchLogText = 0;     // length of the text without terminator
static size_t s_cbLogBlock = 0;     // size of the block
static int s_boxIsStale = 0;        // lines added since the box was last set
static size_t s_cchInBox = 0;      // bytes of the log that the box holds
static HWND s_hFilledBox = NULL;    // the box that was last set; a new dialog
                                    // starts with an empty box of its own

// Makes room for cbMore more bytes plus the terminator. Non-zero on success;
// on failure the block and the text gathered so far stay as they were.
static int ReserveLogSpace(size_t cbMore)
{
    size_t cbNeeded = s_cchLogText + cbMore + 1;
    if (cbNeeded <= s_cbLogBlock)
        return 1;
    if (cbNeeded < s_cchLogText)
        return 0;
    size_t cbNew = s_cbLogBlock < 4096 ? 4096 : s_cbLogBlock;
    while (cbNew < cbNeeded) {
        // Doubling must not wrap round; near the top ask for the exact size.
        if (cbNew > ((size_t)-1) / 2) {
            cbNew = cbNeeded;
            break;
        }
        cbNew *= 2;
    }
    void* block = s_logText == NULL
        ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbNew)
        : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, s_logText, cbNew);
    if (block == NULL && cbNew > cbNeeded) {
        // When memory is short the spare room is what fails; the line
        // itself may still fit.
        cbNew = cbNeeded;
        block = s_logText == NULL
            ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbNew)
            : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, s_logText, cbNew);
    }
    if (block == NULL)
        return 0;
    s_logText = (char*)block;
    s_cbLogBlock = cbNew;
    return 1;
}

void AppendDetailLog(const char* prefix, const char* item, const char* status)
{
    // A line that does not fit its buffer is cut at a character boundary,
    // keeping room for the line end.
    char line[2000];
    line[0] = '\0';
    const size_t cchBody = COUNTOF(line) - 2;
    AppendText(line, cchBody, prefix);
    AppendText(line, cchBody, " ");
    AppendText(line, cchBody, item);
    AppendText(line, cchBody, " ");
    AppendText(line, cchBody, status);
    AppendText(line, COUNTOF(line), "\r\n");

    WriteLogText(line);

    size_t cchLine = lstrlenA(line);
    if (!ReserveLogSpace(cchLine))
        return;
    CopyMemory(s_logText + s_cchLogText, line, cchLine + 1);
    s_cchLogText += cchLine;
    s_boxIsStale = 1;
}

const char* GetDetailLogText()
{
    return s_logText != NULL ? s_logText : "";
}

void UpdateDetailBox()
{
    if (g_hProgressDlg == NULL)
        return;
    HWND hBox = GetDlgItem(g_hProgressDlg, IDC_DETAIL_LOG);
    if (hBox == NULL)
        return;
    if (!s_boxIsStale && hBox == s_hFilledBox)
        return;
    if (hBox == s_hFilledBox && s_cchInBox <= s_cchLogText) {
        // The box already holds the start of the log: hand it only the
        // new lines, so each line is laid out once rather than once per
        // update. The view stays at the top, as a whole re-set leaves it.
        SendMessageA(hBox, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
        SendMessageA(hBox, EM_REPLACESEL, FALSE, (LPARAM)(s_logText + s_cchInBox));
        SendMessageA(hBox, EM_SETSEL, 0, 0);
        SendMessageA(hBox, EM_SCROLLCARET, 0, 0);
    } else {
        // EM_REPLACESEL stops at the box's limit, a whole re-set does not.
        SendMessageA(hBox, EM_SETLIMITTEXT, 0, 0);
        SetWindowTextA(hBox, GetDetailLogText());
    }
    s_cchInBox = s_cchLogText;
    s_hFilledBox = hBox;
    s_boxIsStale = 0;
}
