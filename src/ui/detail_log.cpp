// The detail log: every logged line, kept for the life of the process and
// shown in the detail box of the progress dialog.
//
// The text lives in one heap block that grows with spare room. The box is
// brought up to date only before messages are handled (the only moments
// anyone can see or read it), and then receives only the lines it lacks:
// re-setting the whole text on every line made large uninstallations take
// time that grows with the square of the line count.

#include "ui/ui.h"
#include "common/common.h"
#include "res/resource.h"

// The log text.
struct LogText {
    char* text;         // NUL-terminated; NULL before the first line
    size_t cch;         // length without the terminator
    size_t cbBlock;     // size of the block
};
static LogText s_log = { NULL, 0, 0 };

// The detail box as it was last filled: which box, how many bytes of the
// log it holds, and when. Any other box (that of a dialog created later)
// starts empty and is filled whole.
struct FilledBox {
    HWND hBox;
    size_t cchShown;
    DWORD tick;
};
static FilledBox s_filled = { NULL, 0, 0 };

// While a phase works the box takes its lines in batches. Under Wine every
// update costs, besides laying out each new line (some 60 us), a walk over
// all the lines the box holds (some 10 ms at 40,000 lines): few large
// batches are cheap, but the dialog does not answer while one goes in. A
// batch is this many bytes (some 450 lines, 30-60 ms), or what came within
// this time, whichever is first.
static const size_t kBatchBytes = 32 * 1024;
static const DWORD kBatchMs = 250;

// Makes room for cbMore more bytes plus the terminator. Non-zero on success;
// on failure the block and the text gathered so far stay as they were.
static int ReserveLogSpace(size_t cbMore)
{
    size_t cbNeeded = s_log.cch + cbMore + 1;
    if (cbNeeded <= s_log.cbBlock)
        return 1;
    if (cbNeeded < s_log.cch)
        return 0;
    size_t cbNew = s_log.cbBlock < 4096 ? 4096 : s_log.cbBlock;
    while (cbNew < cbNeeded) {
        // Doubling must not wrap round; near the top ask for the exact size.
        if (cbNew > ((size_t)-1) / 2) {
            cbNew = cbNeeded;
            break;
        }
        cbNew *= 2;
    }
    void* block = s_log.text == NULL
        ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbNew)
        : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, s_log.text, cbNew);
    if (block == NULL && cbNew > cbNeeded) {
        // When memory is short the spare room is what fails; the line
        // itself may still fit.
        cbNew = cbNeeded;
        block = s_log.text == NULL
            ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbNew)
            : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, s_log.text, cbNew);
    }
    if (block == NULL)
        return 0;
    s_log.text = (char*)block;
    s_log.cbBlock = cbNew;
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
    CopyMemory(s_log.text + s_log.cch, line, cchLine + 1);
    s_log.cch += cchLine;
}

const char* GetDetailLogText()
{
    return s_log.text != NULL ? s_log.text : "";
}

// Shows or hides the box without moving the focus (ShowWindow would).
static void SetBoxShown(HWND hBox, int shown)
{
    SetWindowPos(hBox, NULL, 0, 0, 0, 0, (shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW) | SWP_NOMOVE |
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void UpdateDetailBox(HWND hDlg)
{
    HWND hBox = hDlg != NULL ? GetDlgItem(hDlg, IDC_DETAIL_LOG) : NULL;
    if (hBox == NULL || (hBox == s_filled.hBox && s_filled.cchShown == s_log.cch))
        return;
    // The box takes its text hidden. Shown, even below the collapsed
    // dialog's edge where no one sees it, every update costs the box a
    // scroll and a repaint of its own (tens of milliseconds under Wine);
    // hidden, only the laying out of the new lines.
    int shown = (GetWindowLongA(hBox, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown)
        SetBoxShown(hBox, 0);
    if (hBox == s_filled.hBox) {
        // The box holds the start of the log: hand it only the new lines, so
        // each line is laid out once rather than once per update. The view
        // stays at the top, as a whole re-set leaves it.
        SendMessageA(hBox, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
        SendMessageA(hBox, EM_REPLACESEL, FALSE, (LPARAM)(s_log.text + s_filled.cchShown));
        SendMessageA(hBox, EM_SETSEL, 0, 0);
        SendMessageA(hBox, EM_SCROLLCARET, 0, 0);
    } else {
        // EM_REPLACESEL stops at the box's limit, a whole re-set does not.
        SendMessageA(hBox, EM_SETLIMITTEXT, 0, 0);
        SetWindowTextA(hBox, GetDetailLogText());
    }
    if (shown) {
        SetBoxShown(hBox, 1);
        InvalidateRect(hBox, NULL, TRUE);
    }
    s_filled.hBox = hBox;
    s_filled.cchShown = s_log.cch;
    s_filled.tick = GetTickCount();
}

int UpdateDetailBoxInBatches(HWND hDlg)
{
    HWND hBox = hDlg != NULL ? GetDlgItem(hDlg, IDC_DETAIL_LOG) : NULL;
    if (hBox == NULL || (hBox == s_filled.hBox && s_log.cch - s_filled.cchShown < kBatchBytes &&
                         GetTickCount() - s_filled.tick < kBatchMs))
        return 0;
    UpdateDetailBox(hDlg);
    return 1;
}
