// Reading and writing the uninstall information file through the profile
// functions.

#include "info/info.h"
#include "common/common.h"


InfoRead ReadInfoString(const char* infoPath, const char* section, const char* key,
                        char* value, size_t cchValue)
{
    // Read into a buffer well beyond any valid value, so that a value that
    // exactly fills the caller's buffer can be told from a longer one (the
    // profile functions report both as "buffer size minus one").
    char wide[2048];
    DWORD cch = GetPrivateProfileStringA(section, key, "", wide, COUNTOF(wide), infoPath);
    if (cchValue == 0)
        return INFO_TOO_LONG;
    if (cch == 0 || wide[0] == '\0') {
        value[0] = '\0';
        return INFO_EMPTY;
    }
    if (cch >= COUNTOF(wide) - 1 || cch >= cchValue) {
        CopyText(value, cchValue, wide);
        return INFO_TOO_LONG;
    }
    CopyText(value, cchValue, wide);
    return INFO_OK;
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
        InfoRead result = ReadListEntry(infoPath, section, index, value, COUNTOF(value));
        if (result == INFO_EMPTY)
            return;
        if (!visit(value, result, context))
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
