// Test helpers: sandboxes and file utilities on the real Wine file system
// and registry.

#include "test_support.h"

#include <vector>

int RemoveTree(const std::string& dir)
{
    std::string base = dir;
    if (!base.empty() && base.back() != '\\')
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
