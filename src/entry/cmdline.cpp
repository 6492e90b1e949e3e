// The command line: finding the text after the program name, choosing the
// stage from it, and reading the launcher's options. Nothing here shows a
// message or starts a stage.

#include "entry/entry.h"
#include "common/common.h"

const char* SkipProgramName(const char* commandLine)
{
    const unsigned char* p = (const unsigned char*)commandLine;
    if (*p == '"') {
        // A quoted name may hold blanks and double-byte characters; a lead
        // byte always takes its trail byte along, whatever that byte is.
        ++p;
        while (*p != '\0' && *p != '"') {
            if (IsDBCSLeadByte(*p) && p[1] != '\0')
                ++p;
            ++p;
        }
        if (*p == '"')
            ++p;
    } else {
        // Bytes are compared unsigned: a double-byte character's lead byte
        // is above 0x80 and never ends the name.
        while (*p > ' ')
            ++p;
    }
    while (*p != '\0' && *p <= ' ')
        ++p;
    return (const char*)p;
}

Stage ClassifyCommandLine(const char* cmdLine, const char** pPath)
{
    // Only the first two characters count. The launcher switch is taken in
    // either case, as administrators type it ("/S", like other installers'
    // switches); the worker switch, which only the launcher writes, only as
    // "/u".
    if (cmdLine[0] != '\0' && cmdLine[1] != '\0') {
        char sw[3] = { cmdLine[0], cmdLine[1], '\0' };
        if (sw[0] == '/' && (sw[1] == 's' || sw[1] == 'S'))
            return STAGE_LAUNCHER;
        if (lstrcmpA(sw, "/u") == 0) {
            // The path is everything after the switch, as it stands: no
            // blank is skipped and no quote removed.
            if (pPath != NULL)
                *pPath = cmdLine + 2;
            return STAGE_WORKER;
        }
    }
    return STAGE_ASK_CONTROL_PANEL;
}

// Compares the first cch bytes of text with an ASCII name, folding only the
// ASCII letters: the platform's case-insensitive comparison follows the
// user's locale, where "I" and "i" need not be one letter's two cases.
static int EqualsAsciiNoCase(const char* text, const char* name, size_t cch)
{
    for (size_t i = 0; i < cch; ++i) {
        char a = text[i], b = name[i];
        if (a >= 'A' && a <= 'Z')
            a = (char)(a - 'A' + 'a');
        if (a != b)
            return 0;
    }
    return 1;
}

// Copies the next word of *pText into word (cchWord bytes), with its double
// quotes dropped, and moves *pText past it. Returns 0 when no word is left.
// *pFits is 0 when the word did not fit; word then holds its start.
static int TakeWord(const char** pText, char* word, size_t cchWord, int* pFits)
{
    const unsigned char* p = (const unsigned char*)*pText;
    while (*p != '\0' && *p <= ' ')
        ++p;
    if (*p == '\0') {
        *pText = (const char*)p;
        return 0;
    }
    size_t used = 0;
    int fits = 1;
    int quoted = 0;
    while (*p != '\0' && (quoted || *p > ' ')) {
        if (*p == '"') {
            quoted = !quoted;
            ++p;
            continue;
        }
        // A double-byte character is copied whole or not at all.
        size_t step = IsDBCSLeadByte(*p) && p[1] != '\0' ? 2 : 1;
        if (fits && used + step < cchWord) {
            CopyMemory(word + used, p, step);
            used += step;
        } else {
            fits = 0;
        }
        p += step;
    }
    word[used] = '\0';
    *pFits = fits;
    *pText = (const char*)p;
    return 1;
}

static const char kLog[] = "/log=";
static const size_t cchLog = COUNTOF(kLog) - 1;

// True when the word is "/quiet", alone or glued to other switches
// ("/s/quiet", "/quiet/s"), in any case. A log path may hold anything
// ("/log=C:/logs/quiet"), and a word that does not start with a slash is
// no switch.
static int IsQuietWord(const char* word)
{
    if (word[0] != '/' || EqualsAsciiNoCase(word, kLog, cchLog))
        return 0;
    for (const char* piece = word + 1;;) {
        const char* end = piece;
        while (*end != '\0' && *end != '/')
            ++end;
        if (end - piece == 5 && EqualsAsciiNoCase(piece, "quiet", 5))
            return 1;
        if (*end == '\0')
            return 0;
        piece = end + 1;
    }
}

// Reads the options from the words of text, the first one skipped when
// skipFirst is set; *pMentionsQuiet tells whether any word, the skipped one
// included, is a quiet word.
static void ReadOptionWords(const char* text, int skipFirst, LauncherOptions* options, int* pMentionsQuiet)
{
    ZeroMemory(options, sizeof(*options));
    *pMentionsQuiet = 0;
    // Room for the switch and a whole path after it.
    char word[MAX_PATH + COUNTOF(kLog)];
    int fits = 0;
    if (skipFirst && TakeWord(&text, word, COUNTOF(word), &fits))
        *pMentionsQuiet = fits && IsQuietWord(word);
    while (TakeWord(&text, word, COUNTOF(word), &fits)) {
        size_t cchWord = lstrlenA(word);
        if (fits && IsQuietWord(word))
            *pMentionsQuiet = 1;
        if (fits && cchWord == 6 && EqualsAsciiNoCase(word, "/quiet", 6)) {
            options->quiet = 1;
        } else if (fits && cchWord == 10 && EqualsAsciiNoCase(word, "/closeapps", 10)) {
            options->closeApps = 1;
        } else if (cchWord >= cchLog && EqualsAsciiNoCase(word, kLog, cchLog)) {
            options->logRequested = 1;
            options->logPathFits =
                fits && CopyText(options->logPath, COUNTOF(options->logPath), word + cchLog);
            if (!options->logPathFits)
                options->logPath[0] = '\0';
        }
    }
}

void ParseLauncherOptions(const char* text, LauncherOptions* options)
{
    int mentionsQuiet = 0;
    ReadOptionWords(text, (unsigned char)text[0] > ' ', options, &mentionsQuiet);
}

int IsRefusedQuietCommandLine(const char* cmdLine, LauncherOptions* options)
{
    // The log may stand anywhere on such a line, first word included.
    int mentionsQuiet = 0;
    ReadOptionWords(cmdLine, 0, options, &mentionsQuiet);
    if (!mentionsQuiet)
        return 0;
    LauncherOptions launcher;
    if (ClassifyCommandLine(cmdLine, NULL) != STAGE_LAUNCHER)
        return 1;
    ParseLauncherOptions(cmdLine + 2, &launcher);
    return !launcher.quiet;
}
