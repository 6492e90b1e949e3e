// twpack.exe under Wine on the real twuninst.exe: building, extracting and
// checking as a vendor does on Windows, and the round trip through the real
// launcher, which must write the vendor's text plus its own two keys.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ini_reader.h"
#include "test_support.h"

namespace {

// Laid out as the profile writer lays out a file (no blank lines, CR LF),
// so that the writer's adding of the launcher's keys leaves every byte of
// it in place on Wine, which rewrites the whole file, as on Windows, which
// edits it in place.
const std::string kInfo =
    "[Options]\r\nUninstallKey=TwpackRoundTrip\r\n"
    "[Files]\r\n0=C:\\twpack-roundtrip\\none.txt\r\n1=C:\\twpack-roundtrip\\\r\n"
    "[Registry_CURRENT_USER]\r\n0=Software\\TarnwickTest\\twpack-roundtrip-none\r\n";
const char kUninstallEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TwpackRoundTrip";

// A path of the build machine as Wine shows it (drive Z: is its root).
std::string WindowsPathOf(const char* hostPath)
{
    std::string path = std::string("Z:") + hostPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string TwpackExe() { return WindowsPathOf(TWPACK_EXE_HOST_PATH); }
std::string UninstallerExe() { return WindowsPathOf(TWUNINST_EXE_HOST_PATH); }
std::string OldSystemsTwpackExe() { return WindowsPathOf(TWPACK_OLD_SYSTEMS_EXE_HOST_PATH); }

struct ProgramRun {
    DWORD code = 0xFFFFFFFF;
    std::string out;
};

// Runs a console program with its standard output in a file, waits for it
// and returns its exit code and output.
ProgramRun RunConsoleProgram(const std::string& exe, const std::string& arguments, const std::string& dir)
{
    ProgramRun r;
    // A file of its own for every run: the desktop process that Wine starts
    // for the first program that needs one keeps the standard handles it
    // was started with, and with them this file.
    static int runs = 0;
    std::string outPath = dir + "stdout-" + std::to_string(++runs) + ".txt";
    SECURITY_ATTRIBUTES sa = { sizeof(sa), NULL, TRUE };
    HANDLE hOut = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (hOut == INVALID_HANDLE_VALUE)
        return r;
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hOut;
    si.hStdError = hOut;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string commandLine = "\"" + exe + "\" " + arguments;
    PROCESS_INFORMATION pi;
    BOOL started = CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, TRUE, 0, NULL, dir.c_str(),
                                  &si, &pi);
    CloseHandle(hOut);
    if (!started)
        return r;
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &r.code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    r.out = ReadFileBytes(outPath);
    return r;
}

std::string TempDirectory()
{
    char dir[MAX_PATH];
    DWORD cch = GetTempPathA(MAX_PATH, dir);
    std::string s(dir, cch);
    if (!s.empty() && s.back() != '\\')
        s += '\\';
    return s;
}

// The uninstall information files that launchers left in their run folders
// in the temporary directory (twuninst-<n>\$$$twuninst<tick>.ini).
std::string FindInfoFile(bool removeAll)
{
    std::string temp = TempDirectory(), found;
    WIN32_FIND_DATAA folder;
    HANDLE hFolders = FindFirstFileA((temp + "twuninst-*").c_str(), &folder);
    if (hFolders == INVALID_HANDLE_VALUE)
        return found;
    do {
        std::string run = temp + folder.cFileName + "\\";
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((run + "$$$twuninst*.ini").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (removeAll)
                DeleteFileA((run + fd.cFileName).c_str());
            else
                found = run + fd.cFileName;
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    } while (FindNextFileA(hFolders, &folder));
    FindClose(hFolders);
    return found;
}

HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        HWND hwnd = FindWindowA(className, caption);
        if (hwnd != NULL)
            return hwnd;
        Sleep(100);
    }
    return NULL;
}

}  // namespace

TEST(TwpackOnWindows, BuildsAndExtractsTheRealUninstaller)
{
    std::string dir = MakeSandboxDir("twpack-build");
    WriteFileBytes(dir + "info.ini", kInfo);
    std::string plain = ReadFileBytes(UninstallerExe());
    ASSERT_GT(plain.size(), 1000u);

    ProgramRun none = RunConsoleProgram(TwpackExe(), "extract \"" + UninstallerExe() + "\"", dir);
    EXPECT_EQ(1u, none.code) << none.out;
    EXPECT_NE(std::string::npos, none.out.find("carries no uninstall information")) << none.out;

    ProgramRun built = RunConsoleProgram(TwpackExe(), "build \"" + UninstallerExe() + "\" info.ini -o uninst.exe", dir);
    EXPECT_EQ(0u, built.code) << built.out;
    std::string shipped = ReadFileBytes(dir + "uninst.exe");
    ASSERT_EQ(plain.size() + 24 + kInfo.size(), shipped.size());
    EXPECT_EQ(plain, shipped.substr(0, plain.size()));
    EXPECT_EQ(std::string("[Tarnwick ") + "Uninstaller]\r\n", shipped.substr(plain.size(), 24));

    // Standard output in binary mode: the CR LF pairs come out unchanged.
    ProgramRun extracted = RunConsoleProgram(TwpackExe(), "extract uninst.exe", dir);
    EXPECT_EQ(0u, extracted.code);
    EXPECT_EQ(kInfo, extracted.out);

    ProgramRun checked = RunConsoleProgram(TwpackExe(), "check uninst.exe", dir);
    EXPECT_EQ(0u, checked.code) << checked.out;
    EXPECT_EQ("uninst.exe: no problems found\n", checked.out);
}

// The round trip through the real launcher: twpack builds the uninstaller,
// the launcher (/s) writes the information file in its run folder in the
// temporary directory and starts the worker, which asks the user. While the
// question is on screen the file is read; then the test answers No, which
// ends both stages without removing anything.
TEST(TwpackOnWindows, LauncherWritesTheVendorsTextPlusItsOwnKeys)
{
    std::string dir = MakeSandboxDir("twpack-launch");
    WriteFileBytes(dir + "info.ini", kInfo);
    ProgramRun built = RunConsoleProgram(TwpackExe(), "build \"" + UninstallerExe() + "\" info.ini -o uninst.exe", dir);
    ASSERT_EQ(0u, built.code) << built.out;
    FindInfoFile(true);

    std::string exe = dir + "uninst.exe";
    std::string commandLine = "\"" + exe + "\" /s";
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, dir.c_str(), &si, &pi));
    CloseHandle(pi.hThread);

    HWND question = WaitForWindow("#32770", "Tarnwick Uninstaller", 60000);
    std::string infoPath = FindInfoFile(false);
    std::string written = infoPath.empty() ? std::string() : ReadFileBytes(infoPath);
    if (question != NULL)
        PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), (LPARAM)GetDlgItem(question, IDNO));
    DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, kUninstallEntry);

    ASSERT_NE((HWND)NULL, question) << "the worker never asked";
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, waited) << "the launcher did not end after the answer";
    ASSERT_FALSE(infoPath.empty()) << "no information file in " << TempDirectory();

    // The vendor's text comes first, byte for byte; the launcher only adds
    // its keys in a [General] section.
    EXPECT_EQ(kInfo, written.substr(0, kInfo.size()));
    IniText ini = ParseIniText(written);
    IniText original = ParseIniText(kInfo);
    for (size_t i = 1; i < original.sections.size(); ++i)
        for (const IniKey& k : original.sections[i].keys) {
            SCOPED_TRACE(original.sections[i].name + "/" + k.name);
            EXPECT_EQ(ReadIniString(original, original.sections[i].name, k.name, "(none)"),
                      ReadIniString(ini, original.sections[i].name, k.name, "(none)"));
        }
    EXPECT_TRUE(EqualsIgnoringCase(exe, ReadIniString(ini, "General", "UninstFile", "")))
        << ReadIniString(ini, "General", "UninstFile", "");
    EXPECT_EQ(std::to_string(pi.dwProcessId), ReadIniString(ini, "General", "UninstSrcProcess", ""));
    EXPECT_EQ(original.sections.size() + 1, ini.sections.size());

    // twpack reads the same text back out of the built file.
    ProgramRun extracted = RunConsoleProgram(TwpackExe(), "extract uninst.exe", dir);
    EXPECT_EQ(kInfo, extracted.out);
}

// twpack.exe without any of the functions that Windows 98 or NT 4.0 lack
// (looked up at run time, here all taken as missing): init walks a staged
// tree through the older file-status calls and writes what the full
// program writes.
TEST(TwpackOnWindows, InitWorksWithoutTheNewerSystemFunctions)
{
    std::string dir = MakeSandboxDir("twpack-old-systems");
    ASSERT_TRUE(CreateDirectoryA((dir + "stage").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((dir + "stage\\data").c_str(), NULL));
    WriteFileBytes(dir + "stage\\app.exe", "MZ");
    WriteFileBytes(dir + "stage\\data\\table.dat", "12345");
    std::string args = "init --dir stage --as \"C:\\Program Files\\Old App\" --key OldApp";
    ProgramRun full = RunConsoleProgram(TwpackExe(), args, dir);
    ProgramRun old = RunConsoleProgram(OldSystemsTwpackExe(), args, dir);
    ASSERT_EQ(0u, full.code) << full.out;
    EXPECT_NE(std::string::npos, full.out.find("Old App\\data\\table.dat")) << full.out;
    EXPECT_EQ(0u, old.code) << old.out;
    EXPECT_EQ(full.out, old.out);
}
