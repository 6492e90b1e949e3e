// The uninstall information file: read whole into memory once and answered
// from its index, as the profile functions would answer; the launcher's two
// keys are written through the profile functions.

#include "info/info.h"
#include "common/common.h"
#include "common/guard.h"

// True when the path names a folder (a backslash or slash that is not the
// trail byte of a double-byte character) or a drive.
static int NamesFolderOrDrive(const char* path)
{
    if (path[0] != '\0' && path[1] == ':')
        return 1;
    for (const char* p = path; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/')
            return 1;
    }
    return 0;
}

// The file that the profile functions open for infoPath: a bare file name
// lies in the Windows directory, anything else is taken as it is.
static int ComposeProfilePath(const char* infoPath, char* path, size_t cchPath)
{
    if (NamesFolderOrDrive(infoPath))
        return CopyText(path, cchPath, infoPath);
    UINT cchWindows = GetWindowsDirectoryA(path, (UINT)cchPath);
    return cchWindows > 0 && cchWindows < cchPath && AppendText(path, cchPath, "\\") &&
           AppendText(path, cchPath, infoPath);
}

// Reads the whole file into a new heap block (terminated, for safety) and
// stores its size. NULL when it cannot be opened or read whole.
static char* ReadWholeFile(const char* path, DWORD* pcbText)
{
    // No FILE_SHARE_DELETE: the 9x family refuses the flag, and the file is
    // open only while it is read.
    HandleGuard hFile(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile.Get() == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD cbFile = GetFileSize(hFile.Get(), NULL);
    if (cbFile == INVALID_FILE_SIZE)
        return NULL;
    HeapGuard text(HeapAlloc(GetProcessHeap(), 0, (SIZE_T)cbFile + 1));
    if (text.Get() == NULL)
        return NULL;
    if (!ReadWhole(hFile.Get(), text.Get(), cbFile))
        return NULL;
    ((char*)text.Get())[cbFile] = '\0';
    *pcbText = cbFile;
    return (char*)text.Detach();
}

// Indexes info->text (cbText bytes; NULL when it could not be had) as the
// profile functions read it. Non-zero when there is a text and its index.
static int IndexInfoText(InfoFile* info, DWORD cbText)
{
    unsigned char leadBytes[256];
    for (int b = 0; b < 256; ++b)
        leadBytes[b] = IsDBCSLeadByte((BYTE)b) ? 1 : 0;
    int ok = BuildIniIndex(&info->index, info->text != NULL ? info->text : "", cbText, leadBytes) &&
             info->text != NULL;

    CPINFO cpInfo;
    if (info->index.encoding == INI_UTF8_BOM)
        info->valueCodePage = CP_UTF8;
    else if (GetCPInfo(CP_ACP, &cpInfo) && cpInfo.MaxCharSize > 1)
        info->valueCodePage = GetACP();
    return ok;
}

int LoadInfoFile(const char* infoPath, InfoFile* info)
{
    ZeroMemory(info, sizeof(*info));
    char path[MAX_PATH];
    DWORD cbText = 0;
    if (ComposeProfilePath(infoPath, path, COUNTOF(path)))
        info->text = ReadWholeFile(path, &cbText);
    return IndexInfoText(info, cbText);
}

int LoadInfoText(const char* text, size_t cbText, InfoFile* info)
{
    ZeroMemory(info, sizeof(*info));
    if (cbText < 0xFFFFFFFFu)
        info->text = (char*)HeapAlloc(GetProcessHeap(), 0, cbText + 1);
    if (info->text != NULL) {
        CopyMemory(info->text, text, cbText);
        info->text[cbText] = '\0';
    }
    return IndexInfoText(info, info->text != NULL ? (DWORD)cbText : 0);
}

void FreeInfoFile(InfoFile* info)
{
    FreeIniIndex(&info->index);
    if (info->text != NULL)
        HeapFree(GetProcessHeap(), 0, info->text);
    info->text = NULL;
}

static int HasHighByte(const char* p, size_t cch)
{
    for (size_t i = 0; i < cch; ++i) {
        if ((unsigned char)p[i] >= 0x80)
            return 1;
    }
    return 0;
}

// Copies the value [p, p + cch) terminated into buffer (cchBuffer bytes)
// when it fits, or else into a new heap block that *pBlock takes; stores
// the copy's length. The copy is what the profile functions hand an ANSI
// program: they read the text as Unicode and convert the value back, so in
// a double-byte code page a lead byte without a valid second byte becomes
// the default character and a character with two codes gets its usual
// one, and a text with a UTF-8 mark arrives in the ANSI code page.
// Returns the copy, or NULL when memory runs out.
static const char* CopyValue(const InfoFile* info, const char* p, size_t cch, char* buffer,
                             size_t cchBuffer, size_t* pcchCopy, HeapGuard* pBlock)
{
    HeapGuard wide;
    int cchWide = 0;
    size_t cchCopy = cch;
    if (info->valueCodePage != 0 && cch < 0x10000000 && HasHighByte(p, cch)) {
        cchWide = MultiByteToWideChar(info->valueCodePage, 0, p, (int)cch, NULL, 0);
        wide.Reset(HeapAlloc(GetProcessHeap(), 0, ((SIZE_T)cchWide + 1) * sizeof(WCHAR)));
        if (cchWide <= 0 || wide.Get() == NULL)
            return NULL;
        MultiByteToWideChar(info->valueCodePage, 0, p, (int)cch, (WCHAR*)wide.Get(), cchWide);
        cchCopy = (size_t)WideCharToMultiByte(CP_ACP, 0, (WCHAR*)wide.Get(), cchWide, NULL, 0, NULL, NULL);
    }
    char* copy = buffer;
    if (cchCopy >= cchBuffer) {
        copy = (char*)HeapAlloc(GetProcessHeap(), 0, cchCopy + 1);
        if (copy == NULL)
            return NULL;
        pBlock->Reset(copy);
    }
    if (wide.Get() != NULL)
        WideCharToMultiByte(CP_ACP, 0, (WCHAR*)wide.Get(), cchWide, copy, (int)cchCopy, NULL, NULL);
    else
        CopyMemory(copy, p, cch);
    copy[cchCopy] = '\0';
    *pcchCopy = cchCopy;
    return copy;
}

InfoRead ReadInfoString(const InfoFile* info, const char* section, const char* key,
                        char* value, size_t cchValue)
{
    if (cchValue == 0)
        return INFO_TOO_LONG;
    value[0] = '\0';
    const char* found = NULL;
    size_t cchFound = 0;
    if (!FindIniValue(&info->index, section, key, &found, &cchFound) || cchFound == 0)
        return INFO_EMPTY;
    HeapGuard block;
    size_t cchCopy = 0;
    const char* copy = CopyValue(info, found, cchFound, value, cchValue, &cchCopy, &block);
    if (copy == NULL)
        return INFO_EMPTY;
    if (copy == value)
        return INFO_OK;
    CopyText(value, cchValue, copy);
    return INFO_TOO_LONG;
}

InfoRead ReadListEntry(const InfoFile* info, const char* section, unsigned index,
                       char* value, size_t cchValue)
{
    char key[16];
    wsprintfA(key, "%u", index);
    return ReadInfoString(info, section, key, value, cchValue);
}

void ForEachListEntry(const InfoFile* info, const char* section,
                      ListVisitor visit, void* context)
{
    char value[TW_CCH_LIST_VALUE];
    for (unsigned index = 0;; ++index) {
        char key[16];
        wsprintfA(key, "%u", index);
        const char* found = NULL;
        size_t cchFound = 0;
        if (!FindIniValue(&info->index, section, key, &found, &cchFound) || cchFound == 0)
            return;
        HeapGuard block;
        size_t cchCopy = 0;
        const char* copy = CopyValue(info, found, cchFound, value, COUNTOF(value), &cchCopy, &block);
        if (copy == NULL) {
            // The entry still counts, as one that could not be dealt with;
            // the list goes on.
            size_t cchRaw = cchFound < COUNTOF(value) ? cchFound : COUNTOF(value) - 1;
            CopyMemory(value, found, cchRaw);
            value[cchRaw] = '\0';
            if (!visit(value, INFO_UNREADABLE, context))
                return;
            continue;
        }
        // An entry too long for its buffer is handed on whole, so that the
        // visitor can tell what it is without ever using it as a path.
        if (!visit(copy, copy == value ? INFO_OK : INFO_TOO_LONG, context))
            return;
    }
}

int ReadInfoNumber(const InfoFile* info, const char* section, const char* key, int defaultValue)
{
    return (int)ReadIniNumber(&info->index, section, key, defaultValue);
}

InfoRead ReadUninstallKey(const InfoFile* info, char* value, size_t cchValue)
{
    return ReadInfoString(info, TW_SECTION_OPTIONS, TW_KEY_UNINSTALL_KEY, value, cchValue);
}

int ReadCommonGroup(const InfoFile* info)
{
    return ReadInfoNumber(info, TW_SECTION_GROUP, TW_KEY_COMMON_GROUP, 0);
}

int ReadUninstSrcProcess(const InfoFile* info)
{
    return ReadInfoNumber(info, TW_SECTION_GENERAL, TW_KEY_UNINST_SRC_PROCESS, -1);
}

InfoRead ReadUninstFile(const InfoFile* info, char* value, size_t cchValue)
{
    return ReadInfoString(info, TW_SECTION_GENERAL, TW_KEY_UNINST_FILE, value, cchValue);
}

// The 9x family keeps what the profile functions write in a cache of its
// own, and a reader that opens the file itself (as ours does) sees the file
// as of the last flush. Flushing after each group of writes keeps every
// reader, in this process or another, up to date.
static void FlushProfileWrites(const char* infoPath)
{
    WritePrivateProfileStringA(NULL, NULL, NULL, infoPath);
}

int WriteLauncherKeys(const char* infoPath, const char* uninstFile, DWORD processId)
{
    char id[16];
    wsprintfA(id, "%d", (int)processId);
    int ok = WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_UNINST_FILE, uninstFile, infoPath);
    ok = WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_UNINST_SRC_PROCESS, id, infoPath) && ok;
    FlushProfileWrites(infoPath);
    return ok;
}

int WriteLauncherOptions(const char* infoPath, int quiet, const char* logPath)
{
    WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_QUIET, quiet ? "1" : NULL, infoPath);
    WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_LOG_FILE, logPath[0] ? logPath : NULL,
                               infoPath);
    WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_RESULT, NULL, infoPath);
    FlushProfileWrites(infoPath);
    // Removing a key that is not there may count as a failure; what
    // matters is what the worker will read.
    InfoFile info;
    LoadInfoFile(infoPath, &info);
    char value[MAX_PATH];
    InfoRead logRead = ReadLogFile(&info, value, COUNTOF(value));
    int ok = ReadQuiet(&info) == (quiet != 0) && ReadRunResult(&info) == -1 &&
             (logPath[0] ? logRead == INFO_OK && lstrcmpA(value, logPath) == 0 : logRead == INFO_EMPTY);
    FreeInfoFile(&info);
    return ok;
}

int WriteSyncEventName(const char* infoPath, const char* eventName)
{
    WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_SYNC_EVENT, eventName, infoPath);
    FlushProfileWrites(infoPath);
    InfoFile info;
    LoadInfoFile(infoPath, &info);
    char value[MAX_PATH];
    int ok = ReadSyncEventName(&info, value, COUNTOF(value)) == INFO_OK && lstrcmpA(value, eventName) == 0;
    FreeInfoFile(&info);
    return ok;
}

InfoRead ReadSyncEventName(const InfoFile* info, char* value, size_t cchValue)
{
    return ReadInfoString(info, TW_SECTION_GENERAL, TW_KEY_SYNC_EVENT, value, cchValue);
}

int ReadQuiet(const InfoFile* info)
{
    return ReadInfoNumber(info, TW_SECTION_GENERAL, TW_KEY_QUIET, 0) != 0;
}

int WriteCloseAppsOption(const char* infoPath, int closeApps)
{
    WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_CLOSE_APPS, closeApps ? "1" : NULL, infoPath);
    FlushProfileWrites(infoPath);
    InfoFile info;
    LoadInfoFile(infoPath, &info);
    int ok = ReadCloseApps(&info) == (closeApps != 0);
    FreeInfoFile(&info);
    return ok;
}

int ReadCloseApps(const InfoFile* info)
{
    return ReadInfoNumber(info, TW_SECTION_GENERAL, TW_KEY_CLOSE_APPS, 0) != 0;
}

InfoRead ReadLogFile(const InfoFile* info, char* value, size_t cchValue)
{
    return ReadInfoString(info, TW_SECTION_GENERAL, TW_KEY_LOG_FILE, value, cchValue);
}

int WriteRunResult(const char* infoPath, int result)
{
    char text[16];
    wsprintfA(text, "%d", result);
    int ok = WritePrivateProfileStringA(TW_SECTION_GENERAL, TW_KEY_RESULT, text, infoPath) != 0;
    FlushProfileWrites(infoPath);
    return ok;
}

int ReadRunResult(const InfoFile* info)
{
    return ReadInfoNumber(info, TW_SECTION_GENERAL, TW_KEY_RESULT, -1);
}
