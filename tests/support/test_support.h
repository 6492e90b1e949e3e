// Helpers shared by the tests that run under Wine: sandboxes in the file
// system and the registry, small file utilities, saved registry values,
// the message boxes a test answers, and the child programs it starts.
#pragma once

#include <windows.h>
#include <string>

#include "wait_bound.h"

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

// A registry value as stored (type and bytes), or its absence: read before
// a test changes it and put back afterwards.
struct SavedValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};
SavedValue ReadRegistryValue(HKEY root, const char* keyPath, const char* name);
// Writes the value as saved (creating the key when needed), or deletes it
// when it was absent. Non-zero when the value is as saved afterwards.
int RestoreRegistryValue(HKEY root, const char* keyPath, const char* name, const SavedValue& saved);

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);       // a file, not a directory
bool DirectoryExists(const std::string& path);

// A message box (or another visible window of the dialog class #32770) that
// the thread shows, other than `exclude`; waits up to timeoutMs (through
// WaitBound, as every wait below) for one. NULL when none came.
HWND WaitForThreadDialog(DWORD threadId, HWND exclude, DWORD timeoutMs);

// The same for a box captioned `caption` that any thread of a process
// shows; gives up as soon as the process has ended.
HWND WaitForProcessDialog(DWORD processId, HANDLE hProcess, const char* caption, DWORD timeoutMs);

// A program that a test starts; its handles close with the object.
class ChildProgram {
public:
    ChildProgram() = default;
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // Starts commandLine (the quoted program first), once per object. With
    // outputPath, the child's standard output and error go to that file.
    // With under9x, the child runs under the 9x personality (see
    // personality_9x.h; it answers as the 9x family only where Wine
    // reports that family to the child). Non-zero on success.
    int Start(const std::string& commandLine, const std::string& outputPath = std::string(),
              bool under9x = false);
    // Waits up to timeoutMs for the child to end; one still running then is
    // ended. Non-zero when it ended by itself.
    int Wait(DWORD timeoutMs);
    DWORD ExitCode() const;   // STILL_ACTIVE while it runs or never started
    DWORD Id() const { return id_; }
    HANDLE Process() const { return process_; }

private:
    HANDLE process_ = NULL;
    DWORD id_ = 0;
};

// A path inside the build tree or the source tree, as Windows sees it (Z:).
std::string BuildTreePath(const std::string& relative);
std::string SourceTreePath(const std::string& relative);

// True when the process runs with the Japanese ANSI code page.
inline bool IsCodePage932() { return GetACP() == 932; }
