// Reading and writing the uninstall information file through the profile
// functions.

#include "info/info.h"
#include "common/common.h"
#include "common/guard.h"


// Reads a value whole into a heap block that grows until the value fits,
// so that a value that fills a caller's buffer exactly can be told from a
// longer one (the profile functions report both as "size minus one").
// Returns the block (caller frees with HeapFree) or NULL when memory runs
// out; a value beyond the largest block comes back cut.
static char* ReadWholeValue(const char* infoPath, const char* section, const char* key)
{
    const DWORD kLargest = 1024 * 1024;
    DWORD cbBlock = 1024;
    char* block = NULL;
    for (;;) {
        void* grown = block == NULL ? HeapAlloc(GetProcessHeap(), 0, cbBlock)
                                    : HeapReAlloc(GetProcessHeap(), 0, block, cbBlock);
        if (grown == NULL) {
            if (block != NULL)
                HeapFree(GetProcessHeap(), 0, block);
            return NULL;
        }
        block = (char*)grown;
        DWORD cch = GetPrivateProfileStringA(section, key, "", block, cbBlock, infoPath);
        if (cch + 1 < cbBlock || cbBlock >= kLargest)
            return block;
        cbBlock *= 2;
    }
}

// Classifies a whole value against the caller's buffer and copies it there
// (cut at a character boundary when it does not fit).
static InfoRead StoreValue(const char* whole, char* value, size_t cchValue)
{
    if (cchValue == 0)
        return INFO_TOO_LONG;
    if (whole == NULL || whole[0] == '\0') {
        value[0] = '\0';
        return INFO_EMPTY;
    }
    return CopyText(value, cchValue, whole) ? INFO_OK : INFO_TOO_LONG;
}

InfoRead ReadInfoString(const char* infoPath, const char* section, const char* key,
                        char* value, size_t cchValue)
{
    HeapGuard whole(ReadWholeValue(infoPath, section, key));
    return StoreValue((const char*)whole.Get(), value, cchValue);
}

InfoRead ReadListEntry(const char* infoPath, const char* section, unsigned index,
                       char* value, size_t cchValue)
{
    char key[16];
    wsprintfA(key, "%u", index);
    return ReadInfoString(infoPath, section, key, value, cchValue);
}

void ForEachListEntry(const char* infoPath, const char* section,
                      ListVisitor visit, void* context)
{
    char value[TW_CCH_LIST_VALUE];
    for (unsigned index = 0;; ++index) {
        char key[16];
        wsprintfA(key, "%u", index);
        HeapGuard whole(ReadWholeValue(infoPath, section, key));
        InfoRead result = StoreValue((const char*)whole.Get(), value, COUNTOF(value));
        if (result == INFO_EMPTY)
            return;
        // An entry too long for its buffer is handed on whole, so that the
        // visitor can tell what it is without ever using it as a path.
        const char* text = result == INFO_OK ? value : (const char*)whole.Get();
        if (!visit(text, result, context))
            return;
    }
}

InfoRead ReadUninstallKey(const char* infoPath, char* value, size_t cchValue)
{
    return ReadInfoString(infoPath, TW_SECTION_OPTIONS, TW_KEY_UNINSTALL_KEY, value, cchValue);
}

int ReadCommonGroup(const char* infoPath)
{
    return (int)GetPrivateProfileIntA(TW_SECTION_GROUP, TW_KEY_COMMON_GROUP, 0, infoPath);
}

int ReadUninstSrcProcess(const char* infoPath)
{
    return (int)GetPrivateProfileIntA(TW_SECTION_GENERAL, TW_KEY_UNINST_SRC_PROCESS, -1, infoPath);
}

InfoRead ReadUninstFile(const char* infoPath, char* value, size_t cchValue)
{
    return ReadInfoString(infoPath, TW_SECTION_GENERAL, TW_KEY_UNINST_FILE, value, cchValue);
}

int WriteLauncherKeys(const char* infoPath, const char* uninstFile, DWORD processId)
{
    char id[16];
    wsprintfA(id, "%d", (int)processId);
    int ok = WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_UNINST_FILE, uninstFile, infoPath);
    ok = WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_UNINST_SRC_PROCESS, id, infoPath) && ok;
    return ok;
}

int WriteLauncherOptions(const char* infoPath, int quiet, const char* logPath)
{
    WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_QUIET, quiet ? "1" : NULL, infoPath);
    WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_LOG_FILE, logPath[0] ? logPath : NULL,
                               infoPath);
    WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_RESULT, NULL, infoPath);
    // Removing a key that is not there may count as a failure; what
    // matters is what the worker will read.
    char value[MAX_PATH];
    InfoRead logRead = ReadLogFile(infoPath, value, COUNTOF(value));
    return ReadQuiet(infoPath) == (quiet != 0) && ReadRunResult(infoPath) == -1 &&
           (logPath[0] ? logRead == INFO_OK && lstrcmpA(value, logPath) == 0 : logRead == INFO_EMPTY);
}

int ReadQuiet(const char* infoPath)
{
    return GetPrivateProfileIntA(TW_SECTION_GENERAL, TW_KEY_QUIET, 0, infoPath) != 0;
}

InfoRead ReadLogFile(const char* infoPath, char* value, size_t cchValue)
{
    return ReadInfoString(infoPath, TW_SECTION_GENERAL, TW_KEY_LOG_FILE, value, cchValue);
}

int WriteRunResult(const char* infoPath, int result)
{
    char text[16];
    wsprintfA(text, "%d", result);
    return WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_RESULT, text, infoPath) != 0;
}

int ReadRunResult(const char* infoPath)
{
    return (int)GetPrivateProfileIntA(TW_SECTION_GENERAL, TW_KEY_RESULT, -1, infoPath);
}
