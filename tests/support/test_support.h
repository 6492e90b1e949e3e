// Helpers shared by the tests that run under Wine: sandboxes in the file
// system and the registry, and small file utilities.
#pragma once

#include <windows.h>
#include <string>

// A fresh, empty directory for one test: %TEMP%\twtest\<name>\ (with the
// trailing backslash). Whatever an earlier run left there is removed first.
std::string MakeSandboxDir(const std::string& name);

// Removes a directory tree (files made writable first). Non-zero on success.
int RemoveTree(const std::string& dir);

// A fresh, empty key HKCU\Software\TarnwickTest\<name>; returns its path
// below HKCU.
std::string MakeRegistrySandbox(const std::string& name);

// Deletes a key tree below a root (test-side tool, independent of the
// product's own deletion). Non-zero when it is gone afterwards.
int DeleteKeyTreeForTest(HKEY root, const std::string& path);
bool KeyExists(HKEY root, const std::string& path);

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);       // a file, not a directory
bool DirectoryExists(const std::string& path);

// A path inside the build tree or the source tree, as Windows sees it (Z:).
std::string BuildTreePath(const std::string& relative);
std::string SourceTreePath(const std::string& relative);

// True when the process runs with the Japanese ANSI code page.
inline bool IsCodePage932() { return GetACP() == 932; }
