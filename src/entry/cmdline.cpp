// The command line: finding the text after the program name and choosing
// the stage from it. Nothing here shows a message or starts a stage.

#include "entry/entry.h"

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
    // Only the first two characters count, compared case-sensitively:
    // "/S" and "/U" are not switches.
    if (cmdLine[0] != '\0' && cmdLine[1] != '\0') {
        char sw[3] = { cmdLine[0], cmdLine[1], '\0' };
        if (lstrcmpA(sw, "/s") == 0)
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
