// Test helpers: sandboxes and file utilities on the real Wine file system
// and registry, registry values saved and put back, message boxes found the
// way a user sees them, and child programs.

#include "test_support.h"
#include "personality_9x.h"

#include "common/common.h"
#include "common/guard.h"

#include <vector>

int RemoveTree(const std::string& dir)
{
    // A folder's name may end in a trail byte 0x5C of its last character.
    std::string base = dir;
    if (!base.empty() && !EndsWithBackslash(base.c_str()))
        base += '\\';
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((base + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = base + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryA(dir.c_str()) || GetFileAttributesA(dir.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::string MakeSandboxDir(const std::string& name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string root = std::string(temp) + "twtest";
    CreateDirectoryA(root.c_str(), NULL);
    std::string dir = root + "\\" + name;
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), NULL);
    return dir + "\\";
}

int DeleteKeyTreeForTest(HKEY root, const std::string& path)
{
    HKEY h;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | KEY_WRITE, &h) == ERROR_SUCCESS) {
        std::vector<std::string> names;
        char name[512];
        for (DWORD i = 0;; ++i) {
            DWORD cch = sizeof(name);
            if (RegEnumKeyExA(h, i, name, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            names.push_back(name);
        }
        RegCloseKey(h);
        for (const std::string& n : names)
            DeleteKeyTreeForTest(root, path + "\\" + n);
        RegDeleteKeyA(root, path.c_str());
    }
    return !KeyExists(root, path);
}

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY h;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

std::string MakeRegistrySandbox(const std::string& name)
{
    std::string path = "Software\\TarnwickTest\\" + name;
    DeleteKeyTreeForTest(HKEY_CURRENT_USER, path);
    HKEY h;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &h, NULL) == ERROR_SUCCESS)
        RegCloseKey(h);
    return path;
}

SavedValue ReadRegistryValue(HKEY root, const char* keyPath, const char* name)
{
    SavedValue saved;
    KeyGuard key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
        return saved;
    DWORD cb = 0;
    if (RegQueryValueExA(key.Get(), name, NULL, &saved.type, NULL, &cb) != ERROR_SUCCESS)
        return saved;
    saved.bytes.resize(cb);
    if (RegQueryValueExA(key.Get(), name, NULL, &saved.type, (BYTE*)&saved.bytes[0], &cb) != ERROR_SUCCESS)
        return saved;
    saved.bytes.resize(cb);
    saved.present = true;
    return saved;
}

int RestoreRegistryValue(HKEY root, const char* keyPath, const char* name, const SavedValue& saved)
{
    KeyGuard key;
    if (RegCreateKeyExA(root, keyPath, 0, NULL, 0, KEY_ALL_ACCESS, NULL, key.Out(), NULL) != ERROR_SUCCESS)
        return 0;
    if (saved.present)
        return RegSetValueExA(key.Get(), name, 0, saved.type, (const BYTE*)saved.bytes.data(),
                              (DWORD)saved.bytes.size()) == ERROR_SUCCESS;
    LONG rc = RegDeleteValueA(key.Get(), name);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(h);
}

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof(chunk), &got, NULL) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
}

bool FileExists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

struct DialogSearch {
    DWORD processId;       // 0: any
    HWND exclude;
    const char* caption;   // NULL: any
    HWND found;
};

BOOL CALLBACK VisitDialog(HWND hwnd, LPARAM lParam)
{
    DialogSearch* search = (DialogSearch*)lParam;
    char className[32] = "";
    GetClassNameA(hwnd, className, sizeof(className));
    if (hwnd == search->exclude || lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(hwnd))
        return TRUE;
    if (search->processId != 0) {
        DWORD processId = 0;
        GetWindowThreadProcessId(hwnd, &processId);
        if (processId != search->processId)
            return TRUE;
    }
    if (search->caption != NULL) {
        char caption[256] = "";
        GetWindowTextA(hwnd, caption, sizeof(caption));
        if (lstrcmpA(caption, search->caption) != 0)
            return TRUE;
    }
    search->found = hwnd;
    return FALSE;
}

}  // namespace

HWND WaitForThreadDialog(DWORD threadId, HWND exclude, DWORD timeoutMs)
{
    timeoutMs = WaitBound(timeoutMs);
    DWORD start = GetTickCount();
    for (;;) {
        DialogSearch search = { 0, exclude, NULL, NULL };
        EnumThreadWindows(threadId, VisitDialog, (LPARAM)&search);
        if (search.found != NULL || GetTickCount() - start >= timeoutMs)
            return search.found;
        Sleep(25);
    }
}

HWND WaitForProcessDialog(DWORD processId, HANDLE hProcess, const char* caption, DWORD timeoutMs)
{
    timeoutMs = WaitBound(timeoutMs);
    DWORD start = GetTickCount();
    for (;;) {
        DialogSearch search = { processId, NULL, caption, NULL };
        EnumWindows(VisitDialog, (LPARAM)&search);
        if (search.found != NULL || GetTickCount() - start >= timeoutMs)
            return search.found;
        if (WaitForSingleObject(hProcess, 50) == WAIT_OBJECT_0)
            return NULL;
    }
}

ChildProgram::~ChildProgram()
{
    if (process_ != NULL)
        CloseHandle(process_);
}

int ChildProgram::Start(const std::string& commandLine, const std::string& outputPath, bool under9x)
{
    if (process_ != NULL)
        return 0;
    // The layer stays idle in this process, which Wine does not report as
    // the 9x family; it only starts the child.
    CreateProcessUnder9xFunction createProcess = CreateProcessA;
    if (under9x)
        createProcess = LoadPersonality9x(BuildTreePath("tests/" TW_PERSONALITY_9X_DLL).c_str());
    if (createProcess == NULL)
        return 0;
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    HANDLE hOutput = NULL;
    if (!outputPath.empty()) {
        SECURITY_ATTRIBUTES inherit = { sizeof(inherit), NULL, TRUE };
        hOutput = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
        if (hOutput == INVALID_HANDLE_VALUE)
            return 0;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = hOutput;
        si.hStdError = hOutput;
    }
    // The child holds its own copy of the output handle.
    HandleGuard output(hOutput);
    std::string line = commandLine;
    PROCESS_INFORMATION pi;
    if (!createProcess(NULL, &line[0], NULL, NULL, hOutput != NULL, 0, NULL, NULL, &si, &pi))
        return 0;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    id_ = pi.dwProcessId;
    return 1;
}

int ChildProgram::Wait(DWORD timeoutMs)
{
    if (process_ == NULL)
        return 0;
    if (WaitForSingleObject(process_, WaitBound(timeoutMs)) == WAIT_OBJECT_0)
        return 1;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    return 0;
}

DWORD ChildProgram::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_ != NULL)
        GetExitCodeProcess(process_, &code);
    return code;
}

static std::string ToWindowsPath(const char* unixPath, const std::string& relative)
{
    std::string p = std::string("Z:") + unixPath + "/" + relative;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string BuildTreePath(const std::string& relative) { return ToWindowsPath(TW_BUILD_DIR, relative); }
std::string SourceTreePath(const std::string& relative) { return ToWindowsPath(TW_SOURCE_DIR, relative); }
