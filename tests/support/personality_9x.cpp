// The 9x personality: a DLL that, loaded into a process before its first
// instruction runs, redirects that process's imports so that the program's
// own code, unchanged, meets the answers Windows 95/98 give where the API
// reference documents a difference. Wine set to win98 changes the version a
// program is told, not what the functions accept; this layer supplies the
// rest, for the tests only. It acts only where Wine reports the 9x family.
//
// Where Windows 95 and 98 differ, the layer answers as Windows 95, the
// oldest system the uninstaller supports.
//
// Differences the layer cannot show under Wine, so no row answers them:
// - DeleteFileA: "Windows 95: The DeleteFile function deletes a file even if
//   it is open for normal I/O or as a memory-mapped file" (DeleteFile,
//   remarks). Wine cannot take a file from another process's open handle.

#include <windows.h>
#include <tlhelp32.h>
#include <shlobj.h>

#include "personality_9x.h"

extern "C" __declspec(dllexport) BOOL WINAPI CreateProcessUnder9x(
    LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
    LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation);

namespace {

HMODULE g_hLayer = NULL;
char g_exeName[MAX_PATH] = "";   // the process's executable, without its folder

// ---- The report --------------------------------------------------------

void Report(const char* format, ...)
{
    char path[MAX_PATH];
    DWORD cchPath = GetEnvironmentVariableA(TW_PERSONALITY_9X_REPORT, path, sizeof(path));
    if (cchPath == 0 || cchPath >= sizeof(path))
        return;
    char line[1200];
    int cchName = wsprintfA(line, "%s: ", g_exeName);
    va_list args;
    va_start(args, format);
    // wvsprintfA writes at most 1024 characters and a terminator.
    int cch = cchName + wvsprintfA(line + cchName, format, args);
    va_end(args);
    line[cch++] = '\r';
    line[cch++] = '\n';
    // Processes of one run append to the same file.
    HANDLE hFile = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten = 0;
    WriteFile(hFile, line, (DWORD)cch, &cbWritten, NULL);
    CloseHandle(hFile);
}

// ---- The system's profile cache ----------------------------------------
//
// "The system keeps a cached version of the most recent registry file
// mapping to improve performance. If all parameters are NULL, the function
// flushes the cache. While the system is editing the cached version of the
// file, processes that edit the file itself will use the original file
// until the cache has been cleared." (WritePrivateProfileString, remarks.)
//
// The model: one file at a time is cached, for every process under the
// layer (the 9x family keeps it in memory that all processes share). A
// write through the profile functions goes to the cache; the file itself
// changes only when the cache is flushed, explicitly or because a profile
// function turns to another file. Profile reads of the cached file see the
// cache; everybody else (CreateFileA and ReadFile, other programs, a
// restart's WININIT.EXE) sees the file. The end of a process flushes
// nothing; when the last process under the layer has ended, what was never
// flushed is lost (the 9x family writes it at some later moment that the
// documentation does not name, and a test cannot wait for that).
//
// The cached file's full path lies in a named shared section that each
// process under the layer holds open; the cache's content lies in a file in
// the Windows directory, on which the real profile functions work. A mutex
// keeps each use whole across the processes.

char* g_cachedName = NULL;   // the shared section: the cached file, or ""

void OpenProfileCache()
{
    // The handle stays open for the life of the process.
    HANDLE hSection = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, MAX_PATH,
                                         "TarnwickTest9xProfileCache");
    if (hSection != NULL)
        g_cachedName = (char*)MapViewOfFile(hSection, FILE_MAP_WRITE, 0, 0, MAX_PATH);
}

// The file that holds the cache's content, into path (MAX_PATH).
int TakeCacheContentPath(char* path)
{
    UINT cch = GetWindowsDirectoryA(path, MAX_PATH - 40);
    if (cch == 0 || cch >= MAX_PATH - 40 || g_cachedName == NULL)
        return 0;
    lstrcatA(path, "\\tw9x-profile-cache.ini");
    return 1;
}

class CacheLock {
public:
    CacheLock() : h_(CreateMutexA(NULL, FALSE, "TarnwickTest9xProfileCacheLock"))
    {
        if (h_ != NULL)
            WaitForSingleObject(h_, INFINITE);
    }
    ~CacheLock()
    {
        if (h_ != NULL) {
            ReleaseMutex(h_);
            CloseHandle(h_);
        }
    }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;

private:
    HANDLE h_;
};

// Copies the bytes of one file to another, which gets a fresh time stamp
// (so that Wine's own profile code reads it again). Non-zero on success.
int CopyBytes(const char* from, const char* to)
{
    HANDLE hFrom = CreateFileA(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFrom == INVALID_HANDLE_VALUE)
        return 0;
    DWORD cb = GetFileSize(hFrom, NULL);
    char* bytes = cb != INVALID_FILE_SIZE ? (char*)HeapAlloc(GetProcessHeap(), 0, cb + 1) : NULL;
    DWORD cbRead = 0;
    int ok = bytes != NULL && ReadFile(hFrom, bytes, cb, &cbRead, NULL) && cbRead == cb;
    CloseHandle(hFrom);
    HANDLE hTo = ok ? CreateFileA(to, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL)
                    : INVALID_HANDLE_VALUE;
    ok = hTo != INVALID_HANDLE_VALUE;
    if (ok) {
        DWORD cbWritten = 0;
        ok = WriteFile(hTo, bytes, cb, &cbWritten, NULL) && cbWritten == cb;
        CloseHandle(hTo);
    }
    if (bytes != NULL)
        HeapFree(GetProcessHeap(), 0, bytes);
    return ok;
}

// Writes the cache to the cached file and empties it. Call under CacheLock.
void FlushCache(const char* contentPath)
{
    if (g_cachedName == NULL || g_cachedName[0] == '\0')
        return;
    if (CopyBytes(contentPath, g_cachedName))
        Report("flushed the profile cache to %s", g_cachedName);
    else
        Report("could not flush the profile cache to %s", g_cachedName);
    g_cachedName[0] = '\0';
    DeleteFileA(contentPath);
}

// The file that the profile functions open for fileName: a bare name lies in
// the Windows directory.
void ResolveProfileFile(const char* fileName, char* full)
{
    full[0] = '\0';
    if (fileName == NULL)
        fileName = "win.ini";
    int hasFolder = 0;
    for (const char* p = fileName; *p != '\0'; p = CharNextA(p))
        hasFolder = hasFolder || *p == '\\' || *p == '/' || *p == ':';
    if (!hasFolder) {
        UINT cch = GetWindowsDirectoryA(full, MAX_PATH);
        if (cch > 0 && cch + 1 + (UINT)lstrlenA(fileName) < MAX_PATH)
            wsprintfA(full + cch, "\\%s", fileName);
        else
            full[0] = '\0';
        return;
    }
    DWORD cch = GetFullPathNameA(fileName, MAX_PATH, full, NULL);
    if (cch == 0 || cch >= MAX_PATH)
        full[0] = '\0';
}

// Decides which file a profile call on fileName uses (into target, MAX_PATH),
// moving the cache on the way as the 9x family does. Call under CacheLock.
// 0 when the cache cannot take the file (the call then fails).
int RouteProfileCall(const char* contentPath, const char* fileName, int writing, char* target)
{
    char resolved[MAX_PATH];
    ResolveProfileFile(fileName, resolved);
    lstrcpynA(target, fileName != NULL ? fileName : "win.ini", MAX_PATH);
    if (resolved[0] == '\0')
        return 1;
    if (g_cachedName[0] != '\0' && lstrcmpiA(g_cachedName, resolved) != 0)
        FlushCache(contentPath);
    if (g_cachedName[0] == '\0' && writing) {
        // The cache starts as the file is (or empty, for a new file).
        int started = GetFileAttributesA(resolved) != INVALID_FILE_ATTRIBUTES
                          ? CopyBytes(resolved, contentPath)
                          : DeleteFileA(contentPath) || GetLastError() == ERROR_FILE_NOT_FOUND;
        if (!started) {
            Report("could not cache %s", resolved);
            return 0;
        }
        lstrcpyA(g_cachedName, resolved);
    }
    if (g_cachedName[0] != '\0')
        lstrcpyA(target, contentPath);
    return 1;
}

// "The Win32 functions for setting and retrieving initialization file (.ini)
// strings are limited to just under 32KB per read and per write on Windows
// 95/98 ... 2 bytes less than 32KB ... the last error value is not set."
const DWORD kProfileWriteLimit = 32 * 1024 - 2;
// "Windows 95: The maximum buffer size is 32,767 characters."
const DWORD kProfileSectionLimit = 32767;

// ---- The answers of the 9x family --------------------------------------

HANDLE WINAPI CreateFile9x(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flags, HANDLE hTemplate)
{
    if (shareMode & FILE_SHARE_DELETE) {
        Report("CreateFileA refused FILE_SHARE_DELETE for %s", fileName);
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(fileName, access, shareMode, security, disposition, flags, hTemplate);
}

HMODULE WINAPI GetModuleHandleW9x(LPCWSTR)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return NULL;
}

DWORD WINAPI GetTempPathW9x(DWORD, LPWSTR)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}

DWORD WINAPI GetShortPathNameW9x(LPCWSTR, LPWSTR, DWORD)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}

BOOL WINAPI SHGetPathFromIDListW9x(const void*, LPWSTR)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL WINAPI MoveFileEx9x(LPCSTR existingName, LPCSTR, DWORD)
{
    Report("MoveFileExA is not implemented (%s)", existingName);
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

DWORD WINAPI GetPrivateProfileSection9x(LPCSTR section, LPSTR buffer, DWORD cchBuffer, LPCSTR fileName)
{
    char contentPath[MAX_PATH];
    char target[MAX_PATH];
    CacheLock lock;
    if (!TakeCacheContentPath(contentPath) || !RouteProfileCall(contentPath, fileName, 0, target))
        return 0;
    return GetPrivateProfileSectionA(section, buffer, cchBuffer < kProfileSectionLimit ? cchBuffer : kProfileSectionLimit,
                                     target);
}

BOOL WINAPI WritePrivateProfileSection9x(LPCSTR section, LPCSTR list, LPCSTR fileName)
{
    DWORD cbList = 0;
    if (list != NULL) {
        while (list[cbList] != '\0' || list[cbList + 1] != '\0')
            ++cbList;
        cbList += 2;
    }
    if (cbList > kProfileWriteLimit) {
        Report("WritePrivateProfileSectionA refused %lu bytes for [%s]", (unsigned long)cbList, section);
        return FALSE;
    }
    char contentPath[MAX_PATH];
    char target[MAX_PATH];
    CacheLock lock;
    if (!TakeCacheContentPath(contentPath) || !RouteProfileCall(contentPath, fileName, 1, target))
        return FALSE;
    return WritePrivateProfileSectionA(section, list, target);
}

BOOL WINAPI WritePrivateProfileString9x(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName)
{
    char contentPath[MAX_PATH];
    CacheLock lock;
    if (!TakeCacheContentPath(contentPath))
        return FALSE;
    if (section == NULL && key == NULL && value == NULL) {
        FlushCache(contentPath);
        return FALSE;
    }
    if (value != NULL && (DWORD)lstrlenA(value) > kProfileWriteLimit) {
        Report("WritePrivateProfileStringA refused a value of %d bytes", lstrlenA(value));
        return FALSE;
    }
    char target[MAX_PATH];
    if (!RouteProfileCall(contentPath, fileName, 1, target))
        return FALSE;
    return WritePrivateProfileStringA(section, key, value, target);
}

int WINAPI MultiByteToWideChar9x(UINT codePage, DWORD flags, LPCSTR text, int cchText, LPWSTR wide, int cchWide)
{
    if (codePage == CP_UTF7 || codePage == CP_UTF8) {
        Report("MultiByteToWideChar refused code page %u", codePage);
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return MultiByteToWideChar(codePage, flags, text, cchText, wide, cchWide);
}

int WINAPI WideCharToMultiByte9x(UINT codePage, DWORD flags, LPCWSTR wide, int cchWide, LPSTR text, int cchText,
                                 LPCSTR defaultChar, LPBOOL usedDefault)
{
    if (codePage == CP_UTF7 || codePage == CP_UTF8) {
        Report("WideCharToMultiByte refused code page %u", codePage);
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return WideCharToMultiByte(codePage, flags, wide, cchWide, text, cchText, defaultChar, usedDefault);
}

LONG WINAPI RegDeleteKey9x(HKEY hParent, LPCSTR name)
{
    HKEY hKey;
    if (name != NULL && RegOpenKeyExA(hParent, name, 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE, &hKey) ==
                            ERROR_SUCCESS) {
        for (;;) {
            char subkey[MAX_PATH];
            DWORD cchSubkey = MAX_PATH;
            if (RegEnumKeyExA(hKey, 0, subkey, &cchSubkey, NULL, NULL, NULL, NULL) != ERROR_SUCCESS ||
                RegDeleteKey9x(hKey, subkey) != ERROR_SUCCESS)
                break;
        }
        RegCloseKey(hKey);
    }
    return RegDeleteKeyA(hParent, name);
}

// "Windows 95/98: No registry subkey or value name can exceed 255
// characters. The maximum size of a single registry value is 16,300 bytes."
// (RegSetValue, remarks.) The documentation names no error code; the layer
// answers ERROR_INVALID_PARAMETER and reports the refusal.
LONG WINAPI RegSetValueEx9x(HKEY hKey, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD cbData)
{
    if (cbData > 16300 || (name != NULL && lstrlenA(name) > 255)) {
        Report("RegSetValueExA refused %lu bytes for the value %s", (unsigned long)cbData, name ? name : "");
        return ERROR_INVALID_PARAMETER;
    }
    return RegSetValueExA(hKey, name, reserved, type, data, cbData);
}

// "Windows 95: ... the function sets the members of the FILETIME structure
// to zero ... because the Windows 95 operating system does not keep track
// of registry key last write time", and a class buffer without its size
// succeeds (RegQueryInfoKey, parameters).
LONG WINAPI RegQueryInfoKey9x(HKEY hKey, LPSTR className, LPDWORD cchClass, LPDWORD reserved, LPDWORD subkeys,
                              LPDWORD cchMaxSubkey, LPDWORD cchMaxClass, LPDWORD values, LPDWORD cchMaxValueName,
                              LPDWORD cbMaxValue, LPDWORD cbSecurity, PFILETIME lastWrite)
{
    LONG error = RegQueryInfoKeyA(hKey, cchClass != NULL ? className : NULL, cchClass, reserved, subkeys,
                                  cchMaxSubkey, cchMaxClass, values, cchMaxValueName, cbMaxValue, cbSecurity,
                                  lastWrite);
    if (error == ERROR_SUCCESS && lastWrite != NULL)
        ZeroMemory(lastWrite, sizeof(*lastWrite));
    return error;
}

LONG WINAPI RegQueryValueExW9x(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

// Toolhelp's process list names each executable by its path and file name
// on the 9x family, by its file name alone on the NT family: the path is
// that of the process's first module.
BOOL WithExecutablePath(BOOL found, PROCESSENTRY32* entry)
{
    if (!found)
        return FALSE;
    HANDLE hModules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, entry->th32ProcessID);
    if (hModules == INVALID_HANDLE_VALUE)
        return TRUE;
    MODULEENTRY32 module;
    module.dwSize = sizeof(module);
    if (Module32First(hModules, &module))
        lstrcpynA(entry->szExeFile, module.szExePath, MAX_PATH);
    CloseHandle(hModules);
    return TRUE;
}

BOOL WINAPI Process32First9x(HANDLE hSnapshot, PROCESSENTRY32* entry)
{
    return WithExecutablePath(Process32First(hSnapshot, entry), entry);
}

BOOL WINAPI Process32Next9x(HANDLE hSnapshot, PROCESSENTRY32* entry)
{
    return WithExecutablePath(Process32Next(hSnapshot, entry), entry);
}

// EM_SETLIMITTEXT: "Windows 95 and Windows 98: For single-line edit controls,
// the text limit is either 0x7FFE bytes or the value of the wParam
// parameter, whichever is smaller. For multiline edit controls, this value
// is either 0xFFFF bytes or the value of the wParam parameter, whichever is
// smaller." A wParam of 0 asks for the largest limit.
WPARAM LimitTextAs9x(HWND hwnd, UINT message, WPARAM wParam)
{
    char className[16];
    if (message != EM_SETLIMITTEXT || !GetClassNameA(hwnd, className, sizeof(className)) ||
        lstrcmpiA(className, "Edit") != 0)
        return wParam;
    WPARAM largest = (GetWindowLongA(hwnd, GWL_STYLE) & ES_MULTILINE) ? 0xFFFF : 0x7FFE;
    return wParam == 0 || wParam > largest ? largest : wParam;
}

LRESULT WINAPI SendMessage9x(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(hwnd, message, LimitTextAs9x(hwnd, message, wParam), lParam);
}

LRESULT WINAPI SendDlgItemMessage9x(HWND hDlg, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendDlgItemMessageA(hDlg, id, message, LimitTextAs9x(GetDlgItem(hDlg, id), message, wParam), lParam);
}

// Windows 95's shell (version 4.00) names the folders up to CSIDL_TEMPLATES
// (0x15): the all-users ones (0x16 to 0x19) are "valid only for Windows NT
// systems", CSIDL_APPDATA (0x1A) came with version 4.71, CSIDL_LOCAL_APPDATA,
// CSIDL_WINDOWS and CSIDL_SYSTEM with 5.0 (CSIDL, the version notes of each
// value). For those the call fails.
HRESULT WINAPI SHGetSpecialFolderLocation9x(HWND owner, int csidl, LPITEMIDLIST* idList)
{
    const int kLastFolderOf95 = 0x15;
    if ((csidl & 0xFF) > kLastFolderOf95) {
        Report("SHGetSpecialFolderLocation has no folder 0x%X", (unsigned)csidl);
        if (idList != NULL)
            *idList = NULL;
        return E_INVALIDARG;
    }
    // The process imports the shell, so it is loaded; the layer does not.
    typedef HRESULT (WINAPI* Function)(HWND, int, LPITEMIDLIST*);
    HMODULE hShell = GetModuleHandleA("shell32.dll");
    Function real = hShell != NULL ? (Function)(void*)GetProcAddress(hShell, "SHGetSpecialFolderLocation") : NULL;
    return real != NULL ? real(owner, csidl, idList) : E_FAIL;
}

// ---- The table ---------------------------------------------------------
//
// One row per documented difference of the 9x family that the uninstaller
// meets: a function it imports or looks up with GetProcAddress. The layer
// puts the row's answer in the function's place in the executable's import
// table, and GetProcAddress hands it out for the function's name; a row
// without an answer is a function that the 9x family lacks (GetProcAddress
// gives NULL, and an executable that imports it is reported).
//
// To add a row for a call of yours: write the answer above (a function with
// the same signature that does what the 9x family does, calling the real
// function where the answer agrees), then add the row: the exporting DLL
// (lower case), the function, what differs, and where the API reference
// (or a Knowledge Base article) says so. A function looked up at run time
// needs a row even where nothing differs (its answer is then the function
// itself): the layer reports lookups it finds no row for, and the 9x
// scenarios fail on them. So does an imported wide-character function:
// "Windows 95 does not implement the Unicode (or wide character) version of
// most functions ... implemented as stubs that simply return an error
// value" (Windows 95 General Limitations); give it a row whose answer fails
// with ERROR_CALL_NOT_IMPLEMENTED.

struct Difference {
    const char* module;
    const char* function;
    const void* answer;       // NULL: the 9x family has no such function
    const char* difference;
    const char* source;
};

const Difference kDifferences[] = {
    { "kernel32.dll", "CreateFileA", (const void*)CreateFile9x,
      "FILE_SHARE_DELETE is not supported: the call fails with ERROR_INVALID_PARAMETER",
      "CreateFile, dwShareMode, FILE_SHARE_DELETE: \"Windows Me/98/95: This flag is not supported.\"" },
    { "kernel32.dll", "MoveFileExA", (const void*)MoveFileEx9x,
      "not implemented: fails with ERROR_CALL_NOT_IMPLEMENTED; deletion at restart goes through "
      "WININIT.INI's [Rename]",
      "MoveFileEx: \"Windows 95/98/Me: MoveFileEx is not supported\"; KB Q129532, Q140570" },
    { "kernel32.dll", "GetPrivateProfileSectionA", (const void*)GetPrivateProfileSection9x,
      "answers at most 32,767 characters whatever the buffer (the size less two when the section is "
      "cut); reads the cached file from the profile cache",
      "GetPrivateProfileSection: \"Windows 95: The maximum buffer size is 32,767 characters.\"" },
    { "kernel32.dll", "WritePrivateProfileSectionA", (const void*)WritePrivateProfileSection9x,
      "writes into the system's profile cache: a direct reader sees the file as of the last flush; "
      "a list of more than 32,766 bytes fails without setting the last error",
      "WritePrivateProfileString, remarks (the cache); KB Q230194 (the size)" },
    { "kernel32.dll", "WritePrivateProfileStringA", (const void*)WritePrivateProfileString9x,
      "writes into the system's profile cache as above; NULL section, key and string flush the cache "
      "(result 0); a value of more than 32,766 bytes fails without setting the last error",
      "WritePrivateProfileString, remarks and return value; KB Q230194" },
    { "kernel32.dll", "MultiByteToWideChar", (const void*)MultiByteToWideChar9x,
      "Windows 95: CP_UTF7 and CP_UTF8 are not supported (ERROR_INVALID_PARAMETER)",
      "KB Q175392: UTF8 \"is not supported on Windows 95\"" },
    { "kernel32.dll", "WideCharToMultiByte", (const void*)WideCharToMultiByte9x,
      "Windows 95: CP_UTF7 and CP_UTF8 are not supported (ERROR_INVALID_PARAMETER)",
      "KB Q175392" },
    { "kernel32.dll", "GetModuleHandleW", (const void*)GetModuleHandleW9x,
      "a stub: fails with ERROR_CALL_NOT_IMPLEMENTED (the C run-time library of the test programs "
      "imports it)",
      "Windows 95 General Limitations: the wide-character versions are \"stubs that simply return an "
      "error value\"" },
    { "kernel32.dll", "GetTempPathW", (const void*)GetTempPathW9x,
      "a stub: fails with ERROR_CALL_NOT_IMPLEMENTED (the temporary directory comes from GetTempPathA)",
      "Windows 95 General Limitations: the wide-character versions are \"stubs that simply return an "
      "error value\"" },
    { "kernel32.dll", "GetShortPathNameW", (const void*)GetShortPathNameW9x,
      "a stub: fails with ERROR_CALL_NOT_IMPLEMENTED", "Windows 95 General Limitations" },
    { "shell32.dll", "SHGetPathFromIDListW", (const void*)SHGetPathFromIDListW9x,
      "a stub: fails with ERROR_CALL_NOT_IMPLEMENTED (the Programs folder comes from SHGetPathFromIDListA)",
      "Windows 95 General Limitations" },
    { "user32.dll", "ShutdownBlockReasonCreate", NULL,
      "absent (Windows Vista and later)", "ShutdownBlockReasonCreate, requirements" },
    { "user32.dll", "ShutdownBlockReasonDestroy", NULL,
      "absent (Windows Vista and later)", "ShutdownBlockReasonDestroy, requirements" },
    { "advapi32.dll", "RegDeleteKeyA", (const void*)RegDeleteKey9x,
      "deletes the key with all its subkeys and values",
      "RegDeleteKey: \"Windows 95/98: The function also deletes all subkeys and values.\"" },
    { "advapi32.dll", "RegSetValueExA", (const void*)RegSetValueEx9x,
      "a value of more than 16,300 bytes, or a name of more than 255 characters, is refused",
      "RegSetValue, remarks: \"Windows 95/98: ... The maximum size of a single registry value is 16,300 "
      "bytes.\"" },
    { "advapi32.dll", "RegQueryInfoKeyA", (const void*)RegQueryInfoKey9x,
      "Windows 95 keeps no last write time (the FILETIME is zero); a class buffer without its size succeeds",
      "RegQueryInfoKey, lpcbClass and lpftLastWriteTime: \"Windows 95: ...\"" },
    { "advapi32.dll", "RegQueryValueExW", (const void*)RegQueryValueExW9x,
      "a stub: fails with ERROR_CALL_NOT_IMPLEMENTED",
      "Windows 95 General Limitations: the wide-character versions are stubs" },
    { "user32.dll", "SendMessageA", (const void*)SendMessage9x,
      "EM_SETLIMITTEXT: at most 0xFFFF bytes for a multiline edit control, 0x7FFE for a single-line one",
      "EM_SETLIMITTEXT, remarks: \"Windows 95 and Windows 98: ...\"" },
    { "user32.dll", "SendDlgItemMessageA", (const void*)SendDlgItemMessage9x,
      "EM_SETLIMITTEXT as for SendMessageA", "EM_SETLIMITTEXT, remarks" },
    { "shell32.dll", "SHGetSpecialFolderLocation", (const void*)SHGetSpecialFolderLocation9x,
      "Windows 95 names no all-users folder, no application data, local application data, Windows "
      "or system folder: the call fails for those",
      "CSIDL: CSIDL_COMMON_*: \"Valid only for Windows NT systems\"; CSIDL_APPDATA \"Version 4.71\"; "
      "CSIDL_LOCAL_APPDATA, CSIDL_WINDOWS, CSIDL_SYSTEM \"Version 5.0\"" },
    { "shell32.dll", "SHGetFolderPathA", NULL,
      "absent from the shell before version 5.0 (Windows 2000 and Me)",
      "SHGetFolderPath, requirements: \"Shell32.dll (version 5.0 or later)\"" },
    { "shfolder.dll", "SHGetFolderPathA", NULL,
      "SHFolder.dll is a redistributable that a plain Windows 95 lacks: no such function",
      "SHGetFolderPath: \"implemented in a redistributable DLL, SHFolder.dll\" for earlier systems" },
    { "user32.dll", "AnimateWindow", NULL,
      "absent from Windows 95 (Windows 98 and 2000 brought it)", "AnimateWindow, requirements" },
    { "kernel32.dll", "SetDefaultDllDirectories", NULL,
      "absent (Windows 8, or Vista and 7 with KB2533623)", "SetDefaultDllDirectories, requirements" },
    { "kernel32.dll", "SetDllDirectoryA", NULL,
      "absent (Windows XP SP1 and later)", "SetDllDirectory, requirements" },
    { "kernel32.dll", "CreateToolhelp32Snapshot", (const void*)CreateToolhelp32Snapshot,
      "the same (Toolhelp came with Windows 95; NT 4.0 lacks it)", "CreateToolhelp32Snapshot, requirements" },
    { "kernel32.dll", "Process32First", (const void*)Process32First9x,
      "szExeFile holds the executable's path and file name, not its file name alone",
      "PROCESSENTRY32, szExeFile: \"Path and filename of the executable file for the process\" (the "
      "reference of Windows 95 and 98)" },
    { "kernel32.dll", "Process32Next", (const void*)Process32Next9x, "szExeFile as for Process32First",
      "PROCESSENTRY32, szExeFile" },
    { "kernel32.dll", "Module32First", (const void*)Module32First, "the same", "Module32First, requirements" },
    { "kernel32.dll", "Module32Next", (const void*)Module32Next, "the same", "Module32Next, requirements" },
};

// The wide-character functions that Windows 95 does implement.
const char* const kWideFunctionsOf95[] = {
    "ExtTextOutW", "GetCharWidthW", "GetTextExtentExPointW", "GetTextExtentPointW",
    "GetTextExtentPoint32W", "MessageBoxW", "MessageBoxExW", "TextOutW", "lstrlenW",
    "EnumResourceLanguagesW", "EnumResourceNamesW", "EnumResourceTypesW", "FindResourceW",
    "FindResourceExW",
};

const Difference* FindDifference(const char* module, const char* function)
{
    for (const Difference& row : kDifferences) {
        if (lstrcmpiA(row.module, module) == 0 && lstrcmpA(row.function, function) == 0)
            return &row;
    }
    return NULL;
}

// True for a wide-character function that Windows 95 implements only as a
// stub: its name ends in W and the DLL also exports an A form.
int IsStubbedWideFunction(const char* module, const char* function)
{
    int cch = lstrlenA(function);
    if (cch < 2 || function[cch - 1] != 'W' || cch >= 128)
        return 0;
    for (const char* name : kWideFunctionsOf95) {
        if (lstrcmpA(name, function) == 0)
            return 0;
    }
    char ansiName[128];
    lstrcpyA(ansiName, function);
    ansiName[cch - 1] = 'A';
    HMODULE hModule = GetModuleHandleA(module);
    return hModule != NULL && GetProcAddress(hModule, ansiName) != NULL;
}

// The base name of a loaded module, lower case, into name (MAX_PATH).
void TakeModuleName(HMODULE hModule, char* name)
{
    char path[MAX_PATH];
    DWORD cch = GetModuleFileNameA(hModule, path, MAX_PATH);
    name[0] = '\0';
    if (cch == 0 || cch >= MAX_PATH)
        return;
    const char* base = path;
    for (const char* p = path; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/')
            base = p + 1;
    }
    lstrcpyA(name, base);
    CharLowerA(name);
}

// ---- Following the run -------------------------------------------------

// Loads this DLL into a process created suspended: a thread of the new
// process runs LoadLibraryA, which completes the process's start-up and then
// this DLL's DllMain, before the process's own entry point runs.
int LoadLayerInto(HANDLE hProcess)
{
    char layerPath[MAX_PATH];
    DWORD cchPath = GetModuleFileNameA(g_hLayer, layerPath, MAX_PATH);
    if (cchPath == 0 || cchPath >= MAX_PATH)
        return 0;
    void* remotePath = VirtualAllocEx(hProcess, NULL, cchPath + 1, MEM_COMMIT, PAGE_READWRITE);
    if (remotePath == NULL)
        return 0;
    int loaded = 0;
    if (WriteProcessMemory(hProcess, remotePath, layerPath, cchPath + 1, NULL)) {
        // kernel32 lies at the same address in every process of one kind.
        LPTHREAD_START_ROUTINE loadLibrary =
            (LPTHREAD_START_ROUTINE)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA");
        HANDLE hThread = CreateRemoteThread(hProcess, NULL, 0, loadLibrary, remotePath, 0, NULL);
        if (hThread != NULL) {
            DWORD result = 0;
            loaded = WaitForSingleObject(hThread, 60000) == WAIT_OBJECT_0 && GetExitCodeThread(hThread, &result) &&
                     result != 0;
            CloseHandle(hThread);
        }
    }
    VirtualFreeEx(hProcess, remotePath, 0, MEM_RELEASE);
    return loaded;
}

// GetProcAddress as the 9x family answers it, by the table.
FARPROC WINAPI GetProcAddress9x(HMODULE hModule, LPCSTR name)
{
    if (((ULONG_PTR)name >> 16) == 0) {
        Report("no row: lookup by ordinal %u", (unsigned)(ULONG_PTR)name);
        return GetProcAddress(hModule, name);
    }
    char module[MAX_PATH];
    TakeModuleName(hModule, module);
    const Difference* row = FindDifference(module, name);
    if (row == NULL) {
        Report("no row: lookup of %s!%s", module, name);
        return GetProcAddress(hModule, name);
    }
    if (row->answer == NULL) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return NULL;
    }
    return (FARPROC)row->answer;
}

// ---- Installing the answers --------------------------------------------

void PatchSlot(ULONG_PTR* slot, const void* answer)
{
    DWORD oldProtect = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &oldProtect))
        return;
    *slot = (ULONG_PTR)answer;
    VirtualProtect(slot, sizeof(*slot), oldProtect, &oldProtect);
}

// Puts the answers into the executable's import table.
void RedirectImports()
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
        return;
    for (const IMAGE_IMPORT_DESCRIPTOR* dll = (const IMAGE_IMPORT_DESCRIPTOR*)(base + directory.VirtualAddress);
         dll->Name != 0; ++dll) {
        char module[MAX_PATH];
        lstrcpynA(module, (const char*)(base + dll->Name), MAX_PATH);
        CharLowerA(module);
        const IMAGE_THUNK_DATA* names =
            (const IMAGE_THUNK_DATA*)(base + (dll->OriginalFirstThunk ? dll->OriginalFirstThunk : dll->FirstThunk));
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + dll->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const char* function = (const char*)((const IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name;
            ULONG_PTR* slot = (ULONG_PTR*)&slots->u1.Function;
            const Difference* row = FindDifference(module, function);
            if (row != NULL && row->answer == NULL)
                Report("missing on 9x: import of %s!%s", module, function);
            else if (row != NULL)
                PatchSlot(slot, row->answer);
            else if (lstrcmpA(module, "kernel32.dll") == 0 && lstrcmpA(function, "GetProcAddress") == 0)
                PatchSlot(slot, (const void*)GetProcAddress9x);
            else if (lstrcmpA(module, "kernel32.dll") == 0 && lstrcmpA(function, "CreateProcessA") == 0)
                PatchSlot(slot, (const void*)CreateProcessUnder9x);
            else if (IsStubbedWideFunction(module, function))
                Report("no row: import of the wide-character function %s!%s", module, function);
        }
    }
}

}  // namespace

// Exported: CreateProcessA with the layer loaded into the new process (and
// the stand-in for CreateProcessA in a process under the layer, so that the
// layer follows the run into the worker).
extern "C" __declspec(dllexport) BOOL WINAPI CreateProcessUnder9x(
    LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
    LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation)
{
    if (!CreateProcessA(applicationName, commandLine, processAttributes, threadAttributes, inheritHandles,
                        creationFlags | CREATE_SUSPENDED, environment, currentDirectory, startupInfo,
                        processInformation))
        return FALSE;
    if (!LoadLayerInto(processInformation->hProcess))
        Report("could not load the layer into %s", commandLine != NULL ? commandLine : applicationName);
    if (!(creationFlags & CREATE_SUSPENDED))
        ResumeThread(processInformation->hThread);
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    g_hLayer = hInstance;
    DisableThreadLibraryCalls(hInstance);
    char exePath[MAX_PATH];
    TakeModuleName(NULL, exePath);
    lstrcpyA(g_exeName, exePath);
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    DWORD platform = GetVersionExA(&version) ? version.dwPlatformId : 0xFFFFFFFF;
    if (platform != VER_PLATFORM_WIN32_WINDOWS) {
        Report("idle (platform %lu)", (unsigned long)platform);
        return TRUE;
    }
    Report("active");
    OpenProfileCache();
    RedirectImports();
    return TRUE;
}
