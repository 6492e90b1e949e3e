// The import check: reads the import tables of the built Windows programs
// and holds every imported function against what the oldest systems they
// are meant for export. A program that imports a function the system does
// not export does not start there at all (Windows 95 refuses it at load).
//
//   twuninst.exe (PE32 and PE32+): Windows 95 as first released and NT 4.0,
//     from the system DLLs below only (no C runtime DLL).
//   twpack.exe (PE32): Windows 98 and NT 4.0, with msvcrt.dll as those
//     systems shipped it.
//
// Every imported function needs its entry in kGroups, with the systems that
// the API reference's requirements give it. An import that new code adds
// makes this test fail until its entry is added here; a function that those
// systems lack must be looked up at run time (GetProcAddress: src/ui/
// animate.cpp, tools/twpack/late_imports.cpp) instead of imported.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// How the 9x family offers a function.
enum Family9x {
    k95,        // Windows 95 exports it and it works
    k95Stub,    // Windows 95 exports it as a stub that fails: the program
                // starts, and calls it only on NT
    k98,        // Windows 98 is the first
    kNot9x      // no system of the family is documented to export it
};

// Where a group's systems come from.
enum Source {
    // The API reference's requirements while it still described these
    // systems ("Windows NT: Requires version 3.1 or later. Windows: Requires
    // Windows 95 or later."; the MSDN Library of 1998 and 2000). Today's
    // pages give Windows 2000 or XP as "Minimum supported client" for every
    // old function: the oldest system they still describe, not the first
    // with the function, so the older lines decide.
    kReference,
    // The same reference, "Windows 95 General Limitations": Windows 95 does
    // not implement the Unicode form of most functions, and with few
    // exceptions exports them as stubs that return an error.
    kUnicodeStub,
    // The same page: the security functions, among others that Windows 95
    // does not support, are exported as stubs.
    kSecurityStub,
    // MoveFileEx returns ERROR_CALL_NOT_IMPLEMENTED on Windows 95 (the
    // reference: "Windows 95/98/Me: Unsupported"; the function is exported).
    kMoveFileExStub,
    // "Unicode support in Windows 95 and Windows 98" (Knowledge Base
    // Q210341): the few wide-character functions that Windows 95 implements.
    kUnicode95,
    // Today's reference, "Minimum supported client", for functions that
    // came with Windows 2000 or later.
    kToday,
    // msvcrt.dll's exports as first released with Visual C++ 4.2, the same
    // as Windows NT 4.0's; Windows 98's msvcrt.dll (Visual C++ 5.0 SP1)
    // has them all (mingw-w64's msvcrt.def.in, which lists the exports by
    // the release that added them).
    kMsvcrt42,
    // msvcrt.dll of Windows Me and 2000 added these.
    kMsvcrt2000,
};

const char* SourceText(Source source)
{
    switch (source) {
    case kReference: return "the reference's requirements";
    case kUnicodeStub: return "Windows 95 General Limitations: Unicode stubs";
    case kSecurityStub: return "Windows 95 General Limitations: security stubs";
    case kMoveFileExStub: return "MoveFileEx: not implemented on the 9x family";
    case kUnicode95: return "wide-character functions that Windows 95 implements";
    case kToday: return "today's reference, minimum supported client";
    case kMsvcrt42: return "msvcrt.dll of Visual C++ 4.2 and NT 4.0";
    case kMsvcrt2000: return "msvcrt.dll of Windows Me and 2000";
    }
    return "?";
}

// The first NT version (x 100) with the function.
struct Group {
    const char* dll;
    Family9x first9x;
    int firstNt;
    Source source;
    const char* names;   // separated by blanks
};

const Group kGroups[] = {
    { "KERNEL32", k95, 310, kReference,
      "CloseHandle CopyFileA CreateDirectoryA CreateEventA CreateFileA CreateProcessA CreateSemaphoreA "
      "DeleteCriticalSection DeleteFileA DuplicateHandle EnterCriticalSection ExitProcess "
      "ExpandEnvironmentStringsA FindClose "
      "FindFirstFileA FindNextFileA FormatMessageA FreeLibrary GetACP GetCPInfo GetCommandLineA "
      "GetCurrentProcess GetCurrentProcessId GetCurrentThread GetCurrentThreadId GetFileAttributesA "
      "GetFileInformationByHandle GetFileSize GetFileType GetFullPathNameA GetLastError "
      "GetModuleFileNameA GetModuleHandleA GetPrivateProfileSectionA GetProcAddress GetProcessHeap "
      "GetStartupInfoA GetSystemDirectoryA GetTempPathA GetThreadContext GetThreadPriority GetTickCount "
      "GetWindowsDirectoryA HeapAlloc HeapFree HeapReAlloc InitializeCriticalSection IsDBCSLeadByte "
      "LeaveCriticalSection LoadLibraryA LocalFree MultiByteToWideChar OpenEventA OpenProcess "
      "OutputDebugStringA RaiseException ReadFile ReleaseSemaphore RemoveDirectoryA ResetEvent "
      "ResumeThread SetEndOfFile SetErrorMode SetEvent SetFileAttributesA SetFilePointer SetLastError "
      "SetThreadContext SetThreadPriority SetUnhandledExceptionFilter Sleep SuspendThread TlsAlloc "
      "TlsGetValue TlsSetValue VirtualProtect VirtualQuery WaitForMultipleObjects WaitForSingleObject "
      "WideCharToMultiByte WinExec WriteFile WritePrivateProfileSectionA WritePrivateProfileStringA "
      "lstrcmpA lstrcmpiA lstrcpynA lstrlenA" },
    { "KERNEL32", k95, 310, kUnicode95, "lstrlenW" },
    { "KERNEL32", k95, 350, kReference, "GetShortPathNameA GetSystemTimeAsFileTime GetVersionExA" },
    { "KERNEL32", k95, 400, kReference, "IsDBCSLeadByteEx" },
    { "KERNEL32", k98, 400, kReference, "IsDebuggerPresent" },
    { "KERNEL32", k95Stub, 310, kUnicodeStub,
      "CreateFileW DeleteFileW GetFileAttributesW GetFullPathNameW GetModuleHandleW GetTempPathW "
      "GetVolumeInformationW LoadLibraryW RemoveDirectoryW" },
    { "KERNEL32", k95Stub, 310, kMoveFileExStub, "MoveFileExA MoveFileExW" },
    // Looked up at run time: the rows say why.
    { "KERNEL32", k98, 500, kReference, "GetLongPathNameA" },
    { "KERNEL32", kNot9x, 351, kReference, "GetHandleInformation" },
    { "KERNEL32", kNot9x, 350, kReference, "GetProcessAffinityMask SetProcessAffinityMask" },
    { "KERNEL32", kNot9x, 400, kReference, "TryEnterCriticalSection" },
    { "KERNEL32", kNot9x, 500, kToday,
      "CreateHardLinkW FindFirstVolumeW FindNextVolumeW FindVolumeClose GetDiskFreeSpaceExW "
      "GetFileSizeEx" },
    { "KERNEL32", kNot9x, 501, kToday, "AddVectoredExceptionHandler RemoveVectoredExceptionHandler" },
    { "KERNEL32", kNot9x, 600, kToday, "GetTickCount64" },
    { "USER32", k95, 310, kReference,
      "AdjustWindowRect CharNextA CharUpperBuffA CreateDialogParamA DestroyWindow DispatchMessageA "
      "EnumWindows GetWindow GetWindowTextA GetWindowThreadProcessId IsWindowVisible PostMessageA "
      "GetClientRect GetDlgItem GetMessageA GetWindowLongA InvalidateRect IsDialogMessageA "
      "IsDlgButtonChecked LoadStringA MapDialogRect MessageBoxA PeekMessageA PostQuitMessage RedrawWindow "
      "SendDlgItemMessageA SendMessageA SendMessageTimeoutA SetDlgItemTextA SetWindowPos "
      "SetWindowTextA ShowWindow TranslateMessage wsprintfA" },
    { "USER32", k95Stub, 310, kUnicodeStub, "CharUpperBuffW" },
    { "USER32", k98, 500, kReference, "AnimateWindow" },
    { "GDI32", k95, 310, kReference, "DeleteObject" },
    { "ADVAPI32", k95Stub, 310, kSecurityStub, "GetTokenInformation OpenProcessToken" },
    { "ADVAPI32", k95, 310, kReference,
      "RegCloseKey RegCreateKeyExA RegDeleteKeyA RegDeleteValueA RegEnumKeyExA RegEnumValueA "
      "RegOpenKeyExA RegQueryInfoKeyA RegQueryValueExA RegSetValueExA" },
    { "COMCTL32", k95, 351, kReference, "CreateMappedBitmap" },
    { "COMDLG32", k95, 310, kReference, "GetFileTitleA" },
    { "SHELL32", k95, 400, kReference, "SHGetPathFromIDListA SHGetSpecialFolderLocation" },
    // The shell of Internet Explorer 4.0 (shell32.dll 4.71).
    { "SHELL32", k98, 500, kReference, "SHGetSpecialFolderPathA" },
    { "OLE32", k95, 350, kReference, "CoTaskMemFree" },
    { "MSVCRT", k98, 400, kMsvcrt42,
      "__getmainargs __initenv __mb_cur_max __p__acmdln __p__commode __p__fmode __set_app_type "
      "__setusermatherr _amsg_exit _beginthreadex _cexit _close _endthreadex _errno _fdopen "
      "_filelengthi64 _fileno _findclose _get_osfhandle _initterm _iob _lseeki64 _onexit _read "
      "_setjmp3 _setmode _strdup _telli64 _ultoa _wchdir _wchmod _wfindfirst _wfindnext _wfopen "
      "_wfullpath _wgetcwd _wmkdir _wopen _write _wutime abort atoi calloc exit fclose ferror fflush "
      "fgetpos fopen fprintf fputc fputs fputwc fread free fsetpos fwprintf fwrite getc getwc iswctype "
      "isxdigit localeconv longjmp malloc memchr memcmp memcpy memmove memset printf putc putwc "
      "realloc setlocale setvbuf signal strchr strcmp strcoll strerror strftime strlen strncmp strtol "
      "strtoul strxfrm towlower towupper ungetc ungetwc vfprintf wcscat wcscmp wcscoll wcscpy wcsftime "
      "wcslen wcsxfrm" },
    { "MSVCRT", kNot9x, 500, kMsvcrt2000, "_fstat64 _wstat64" },
};

struct Entry {
    Family9x first9x;
    int firstNt;
    Source source;
};

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return text;
}

// "KERNEL32.dll" and "kernel32" name the same DLL.
std::string DllKey(const std::string& dll)
{
    std::string key = Upper(dll);
    if (key.size() > 4 && key.compare(key.size() - 4, 4, ".DLL") == 0)
        key.resize(key.size() - 4);
    return key;
}

const std::map<std::string, Entry>& Entries()
{
    static const std::map<std::string, Entry> entries = [] {
        std::map<std::string, Entry> m;
        for (const Group& g : kGroups) {
            std::istringstream names(g.names);
            std::string name;
            while (names >> name) {
                bool added = m.emplace(DllKey(g.dll) + "!" + name, Entry{ g.first9x, g.firstNt, g.source }).second;
                EXPECT_TRUE(added) << g.dll << "!" << name << " has two entries";
            }
        }
        return m;
    }();
    return entries;
}

// ---- The import table of a PE file --------------------------------------

struct Import {
    std::string dll;
    std::string name;   // "#<ordinal>" for an import by ordinal
};

struct PeFile {
    bool pe32Plus = false;
    uint16_t machine = 0;
    uint16_t subsystemMajor = 0;
    uint32_t delayImportSize = 0;
    std::vector<Import> imports;
};

class Reader {
public:
    explicit Reader(std::vector<unsigned char> bytes) : b_(std::move(bytes)) {}
    bool Has(size_t offset, size_t cb) const { return offset <= b_.size() && cb <= b_.size() - offset; }
    uint32_t U16(size_t o) const { return Has(o, 2) ? (uint32_t)(b_[o] | b_[o + 1] << 8) : 0; }
    uint32_t U32(size_t o) const { return Has(o, 4) ? U16(o) | U16(o + 2) << 16 : 0; }
    uint64_t U64(size_t o) const { return (uint64_t)U32(o) | (uint64_t)U32(o + 4) << 32; }
    std::string Text(size_t o) const
    {
        std::string s;
        while (o < b_.size() && b_[o] && s.size() < 512)
            s += (char)b_[o++];
        return s;
    }

private:
    std::vector<unsigned char> b_;
};

// Reads the PE file at path into *pe; the error text on failure.
std::string ReadPeFile(const std::string& path, PeFile* pe)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return path + " is missing: build the Windows presets first (make build)";
    Reader r(std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    size_t header = r.U32(0x3C);
    if (r.U16(0) != 0x5A4D || r.U32(header) != 0x4550)
        return path + " is no PE file";
    pe->machine = (uint16_t)r.U16(header + 4);
    size_t sectionCount = r.U16(header + 6);
    size_t optional = header + 24;
    size_t sections = optional + r.U16(header + 20);
    pe->pe32Plus = r.U16(optional) == 0x20B;
    pe->subsystemMajor = (uint16_t)r.U16(optional + 48);
    size_t directories = optional + (pe->pe32Plus ? 112 : 96);
    auto fileOffset = [&](uint32_t rva) -> size_t {
        for (size_t i = 0; i < sectionCount; ++i) {
            size_t s = sections + 40 * i;
            uint32_t va = r.U32(s + 12), size = std::max(r.U32(s + 8), r.U32(s + 16));
            if (rva >= va && rva < va + size)
                return r.U32(s + 20) + (rva - va);
        }
        return (size_t)-1;
    };
    pe->delayImportSize = r.U32(directories + 13 * 8 + 4);
    uint32_t importRva = r.U32(directories + 1 * 8);
    if (importRva == 0)
        return "";
    size_t cbThunk = pe->pe32Plus ? 8 : 4;
    for (size_t d = fileOffset(importRva); r.Has(d, 20) && r.U32(d + 12) != 0; d += 20) {
        std::string dll = r.Text(fileOffset(r.U32(d + 12)));
        uint32_t lookup = r.U32(d) ? r.U32(d) : r.U32(d + 16);
        for (size_t t = fileOffset(lookup); r.Has(t, cbThunk); t += cbThunk) {
            uint64_t thunk = pe->pe32Plus ? r.U64(t) : r.U32(t);
            if (thunk == 0)
                break;
            uint64_t byOrdinal = pe->pe32Plus ? 1ull << 63 : 1ull << 31;
            std::string name = thunk & byOrdinal ? "#" + std::to_string(thunk & 0xFFFF)
                                                 : r.Text(fileOffset((uint32_t)thunk) + 2);
            pe->imports.push_back(Import{ dll, name });
        }
    }
    return "";
}

// ---- The check ----------------------------------------------------------

struct Target {
    const char* what;          // for the messages
    std::set<std::string> dlls;
    Family9x oldest9x;         // k95 or k98
    int oldestNt;
};

const std::set<std::string> kSystemDlls = { "KERNEL32", "USER32", "GDI32", "ADVAPI32",
                                            "SHELL32", "COMCTL32", "COMDLG32", "OLE32" };

bool Runs9x(Family9x first9x, Family9x oldest)
{
    switch (first9x) {
    case k95:
    case k95Stub: return true;
    case k98: return oldest == k98;
    case kNot9x: return false;
    }
    return false;
}

// Every import of the file that the target's systems would refuse, one line
// each; empty when it starts on all of them.
std::string Refusals(const PeFile& pe, const Target& target)
{
    std::string refusals;
    for (const Import& import : pe.imports) {
        std::string dll = DllKey(import.dll);
        std::string what = import.dll + "!" + import.name;
        if (!target.dlls.count(dll)) {
            refusals += what + ": a DLL that " + target.what + " may not import from\n";
            continue;
        }
        auto entry = Entries().find(dll + "!" + import.name);
        if (entry == Entries().end()) {
            refusals += what + ": no entry in kGroups; look up its requirements in the API reference\n";
            continue;
        }
        const Entry& e = entry->second;
        if (!Runs9x(e.first9x, target.oldest9x) || e.firstNt > target.oldestNt)
            refusals += what + ": not exported by the oldest systems of " + target.what + " (" +
                        SourceText(e.source) + "; first NT " + std::to_string(e.firstNt / 100) + "." +
                        std::to_string(e.firstNt % 100 / 10) + std::to_string(e.firstNt % 10) + ")\n";
    }
    return refusals;
}

void CheckFile(const std::string& path, const Target& target, bool expectPe32Plus, const char* mustImport)
{
    SCOPED_TRACE(path);
    PeFile pe;
    std::string error = ReadPeFile(path, &pe);
    ASSERT_EQ(error, "");
    ASSERT_EQ(pe.pe32Plus, expectPe32Plus);
    // The reader has found the table: a function every build imports is in it.
    bool found = false;
    for (const Import& import : pe.imports)
        found = found || import.name == mustImport;
    ASSERT_TRUE(found) << mustImport << " not among " << pe.imports.size() << " imports read";
    EXPECT_EQ(pe.delayImportSize, 0u) << "delay-loaded imports would escape the check";
    if (!pe.pe32Plus) {
        EXPECT_EQ(pe.machine, 0x14Cu) << "not an i386 program";
        // Windows 95 and NT 4.0 refuse a program that asks for a newer subsystem.
        EXPECT_LE(pe.subsystemMajor, 4u);
    }
    EXPECT_EQ(Refusals(pe, target), "");
}

const std::string kBuilds = TW_WINDOWS_BUILDS;

TEST(Imports, UninstallerStartsOnWindows95AndNt4)
{
    Target target{ "twuninst.exe", kSystemDlls, k95, 400 };
    CheckFile(kBuilds + "/win32/twuninst.exe", target, false, "GetProcAddress");
}

// The x86-64 build imports nothing more than the PE32 does.
TEST(Imports, UninstallerX64ImportsWhatThePe32Does)
{
    Target target{ "twuninst.exe (x86-64)", kSystemDlls, k95, 400 };
    CheckFile(kBuilds + "/win64/twuninst.exe", target, true, "GetProcAddress");
}

TEST(Imports, TwpackStartsOnWindows98AndNt4)
{
    std::set<std::string> dlls = kSystemDlls;
    dlls.insert("MSVCRT");
    Target target{ "twpack.exe", dlls, k98, 400 };
    CheckFile(kBuilds + "/win32/tools/twpack/twpack.exe", target, false, "GetProcAddress");
}

// The check refuses what it should: rows that say "too new" are refused, a
// function without an entry is refused, and so is a DLL outside the list.
TEST(Imports, RefusesNewerFunctionsUnknownNamesAndOtherDlls)
{
    PeFile pe;
    pe.imports = { { "KERNEL32.dll", "GetTickCount64" }, { "kernel32.dll", "GetLongPathNameA" },
                   { "KERNEL32.dll", "NoSuchFunction" }, { "msvcrt.dll", "malloc" },
                   { "KERNEL32.dll", "CreateFileA" }, { "USER32.dll", "CharUpperBuffW" } };
    std::string refusals = Refusals(pe, Target{ "twuninst.exe", kSystemDlls, k95, 400 });
    EXPECT_NE(refusals.find("GetTickCount64: not exported"), std::string::npos) << refusals;
    EXPECT_NE(refusals.find("GetLongPathNameA: not exported"), std::string::npos) << refusals;
    EXPECT_NE(refusals.find("NoSuchFunction: no entry"), std::string::npos) << refusals;
    EXPECT_NE(refusals.find("msvcrt.dll!malloc: a DLL that twuninst.exe may not"), std::string::npos) << refusals;
    EXPECT_EQ(refusals.find("CreateFileA"), std::string::npos) << refusals;
    EXPECT_EQ(refusals.find("CharUpperBuffW"), std::string::npos) << refusals;
}

}  // namespace
