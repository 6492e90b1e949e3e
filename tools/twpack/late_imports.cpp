// The functions that twpack.exe's libraries would import but Windows 98 or
// NT 4.0 lack (the threads library behind the C++ runtime, its file-system
// library, the 64-bit msvcrt.dll calls). An import the system does not
// export stops the program before it starts; so each one is defined here
// instead: looked up with GetProcAddress when first called, and where the
// system lacks it, answered as well as the older system can. The import
// check (tests/host/imports_test.cpp) names which functions need this.
//
// Only twpack.exe links this file, as an object of its own: its import
// pointers then take the place of the import libraries' before any library
// asks for one. twpack runs one thread, which the fallbacks rely on.

#include <windows.h>
#include <errno.h>
#include <sys/stat.h>

namespace {

// `name` in the already loaded module `dll`, or NULL where the system lacks
// it. Only a found function is kept, so no flag can be seen set before its
// pointer.
FARPROC Find(const char* dll, const char* name)
{
    HMODULE module = GetModuleHandleA(dll);
    return module ? GetProcAddress(module, name) : NULL;
}

// The functions below are missing where they are needed most: a test build
// (TW_AS_OLD_SYSTEM) takes every one of them as missing, as on the oldest
// systems, so that its fallback is what runs.
#ifdef TW_AS_OLD_SYSTEM
#define TW_FIND(dll, name) const FARPROC proc = NULL
#else
#define TW_FIND(dll, name)                      \
    static FARPROC proc;                        \
    if (!proc)                                  \
        proc = Find(dll, name)
#endif

// The symbol under which the compiler reaches a DLL function: "__imp__"
// with the stack size of a WINAPI function in 32-bit code, "__imp_" alone
// in 64-bit code.
#if defined(__i386__)
#define TW_IMPORT_NAME(name, cbArgs) "__imp__" #name "@" #cbArgs
#define TW_IMPORT_NAME_CDECL(name) "__imp__" #name
#else
#define TW_IMPORT_NAME(name, cbArgs) "__imp_" #name
#define TW_IMPORT_NAME_CDECL(name) "__imp_" #name
#endif

BOOL NotImplemented()
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

// Vista: the tick count in 64 bits. Before it, the 32-bit count with its
// wraps (every 49.7 days) counted here.
ULONGLONG WINAPI LateGetTickCount64()
{
    TW_FIND("kernel32.dll", "GetTickCount64");
    if (proc)
        return ((ULONGLONG(WINAPI*)())proc)();
    static DWORD s_last, s_wraps;
    DWORD now = GetTickCount();
    if (now < s_last)
        ++s_wraps;
    s_last = now;
    return ((ULONGLONG)s_wraps << 32) | now;
}

// XP: the threads library names threads for a debugger through a handler of
// its own and takes NULL for "no handler" (it then raises nothing).
PVOID WINAPI LateAddVectoredExceptionHandler(ULONG first, PVOID handler)
{
    TW_FIND("kernel32.dll", "AddVectoredExceptionHandler");
    return proc ? ((PVOID(WINAPI*)(ULONG, PVOID))proc)(first, handler) : NULL;
}

ULONG WINAPI LateRemoveVectoredExceptionHandler(PVOID handle)
{
    TW_FIND("kernel32.dll", "RemoveVectoredExceptionHandler");
    return proc ? ((ULONG(WINAPI*)(PVOID))proc)(handle) : 0;
}

// NT 4.0, not the 9x family: used when a condition variable is destroyed.
// With one thread nobody else holds the section, so entering it is what
// trying would come to.
BOOL WINAPI LateTryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    TW_FIND("kernel32.dll", "TryEnterCriticalSection");
    if (proc)
        return ((BOOL(WINAPI*)(LPCRITICAL_SECTION))proc)(section);
    EnterCriticalSection(section);
    return TRUE;
}

// NT only: a thread handle's flags, asked to see that the handle is still
// open. The 9x family cannot tell; the handle is taken as open.
BOOL WINAPI LateGetHandleInformation(HANDLE handle, LPDWORD flags)
{
    TW_FIND("kernel32.dll", "GetHandleInformation");
    if (proc)
        return ((BOOL(WINAPI*)(HANDLE, LPDWORD))proc)(handle, flags);
    *flags = 0;
    return TRUE;
}

// NT only: processor affinity, which the 9x family (one processor) has not.
BOOL WINAPI LateGetProcessAffinityMask(HANDLE process, PDWORD_PTR processMask, PDWORD_PTR systemMask)
{
    TW_FIND("kernel32.dll", "GetProcessAffinityMask");
    if (proc)
        return ((BOOL(WINAPI*)(HANDLE, PDWORD_PTR, PDWORD_PTR))proc)(process, processMask, systemMask);
    *processMask = *systemMask = 1;
    return TRUE;
}

BOOL WINAPI LateSetProcessAffinityMask(HANDLE process, DWORD_PTR mask)
{
    TW_FIND("kernel32.dll", "SetProcessAffinityMask");
    return proc ? ((BOOL(WINAPI*)(HANDLE, DWORD_PTR))proc)(process, mask) : NotImplemented();
}

// Windows 2000: file-system calls that twpack never makes (hard links,
// volumes, free space); they fail as a stub of the older system would.
BOOL WINAPI LateCreateHardLinkW(LPCWSTR link, LPCWSTR existing, LPSECURITY_ATTRIBUTES security)
{
    TW_FIND("kernel32.dll", "CreateHardLinkW");
    return proc ? ((BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES))proc)(link, existing, security)
                : NotImplemented();
}

HANDLE WINAPI LateFindFirstVolumeW(LPWSTR name, DWORD cchName)
{
    TW_FIND("kernel32.dll", "FindFirstVolumeW");
    if (proc)
        return ((HANDLE(WINAPI*)(LPWSTR, DWORD))proc)(name, cchName);
    NotImplemented();
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI LateFindNextVolumeW(HANDLE find, LPWSTR name, DWORD cchName)
{
    TW_FIND("kernel32.dll", "FindNextVolumeW");
    return proc ? ((BOOL(WINAPI*)(HANDLE, LPWSTR, DWORD))proc)(find, name, cchName) : NotImplemented();
}

BOOL WINAPI LateFindVolumeClose(HANDLE find)
{
    TW_FIND("kernel32.dll", "FindVolumeClose");
    return proc ? ((BOOL(WINAPI*)(HANDLE))proc)(find) : NotImplemented();
}

BOOL WINAPI LateGetDiskFreeSpaceExW(LPCWSTR dir, PULARGE_INTEGER available, PULARGE_INTEGER total,
                                    PULARGE_INTEGER totalFree)
{
    TW_FIND("kernel32.dll", "GetDiskFreeSpaceExW");
    return proc ? ((BOOL(WINAPI*)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER))proc)(
                      dir, available, total, totalFree)
                : NotImplemented();
}

// Windows 2000: a file's size in 64 bits, which GetFileSize gives in two
// halves everywhere.
BOOL WINAPI LateGetFileSizeEx(HANDLE file, PLARGE_INTEGER size)
{
    TW_FIND("kernel32.dll", "GetFileSizeEx");
    if (proc)
        return ((BOOL(WINAPI*)(HANDLE, PLARGE_INTEGER))proc)(file, size);
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return FALSE;
    size->LowPart = low;
    size->HighPart = (LONG)high;
    return TRUE;
}

// msvcrt.dll of Windows Me and 2000: file status with 64-bit times. NT 4.0's
// and Windows 98's have the same with 32-bit times, widened here.
void WidenStatus(const struct _stat32i64& from, struct _stat64* to)
{
    to->st_dev = from.st_dev;
    to->st_ino = from.st_ino;
    to->st_mode = from.st_mode;
    to->st_nlink = from.st_nlink;
    to->st_uid = from.st_uid;
    to->st_gid = from.st_gid;
    to->st_rdev = from.st_rdev;
    to->st_size = from.st_size;
    to->st_atime = from.st_atime;
    to->st_mtime = from.st_mtime;
    to->st_ctime = from.st_ctime;
}

// Calls msvcrt.dll's 64-bit-time form (`newer`, found or not) or else its
// older one, named `olderName`, whose answer is widened.
template <typename Arg>
int Stat64(FARPROC newer, FARPROC* older, const char* olderName, Arg arg, struct _stat64* status)
{
    if (newer)
        return ((int(__cdecl*)(Arg, struct _stat64*))newer)(arg, status);
    if (!*older)
        *older = Find("msvcrt.dll", olderName);
    if (!*older) {
        errno = ENOSYS;
        return -1;
    }
    struct _stat32i64 narrow;
    int result = ((int(__cdecl*)(Arg, struct _stat32i64*))*older)(arg, &narrow);
    if (result == 0)
        WidenStatus(narrow, status);
    return result;
}

int __cdecl LateFstat64(int fd, struct _stat64* status)
{
    TW_FIND("msvcrt.dll", "_fstat64");
    static FARPROC older;
    return Stat64(proc, &older, "_fstati64", fd, status);
}

int __cdecl LateWstat64(const wchar_t* path, struct _stat64* status)
{
    TW_FIND("msvcrt.dll", "_wstat64");
    static FARPROC older;
    return Stat64(proc, &older, "_wstati64", path, status);
}

}  // namespace

// The import pointers themselves, under the names the libraries ask for.
extern "C" {
void* tw_GetTickCount64 __asm__(TW_IMPORT_NAME(GetTickCount64, 0)) = (void*)&LateGetTickCount64;
void* tw_AddVectoredExceptionHandler __asm__(TW_IMPORT_NAME(AddVectoredExceptionHandler, 8)) =
    (void*)&LateAddVectoredExceptionHandler;
void* tw_RemoveVectoredExceptionHandler __asm__(TW_IMPORT_NAME(RemoveVectoredExceptionHandler, 4)) =
    (void*)&LateRemoveVectoredExceptionHandler;
void* tw_TryEnterCriticalSection __asm__(TW_IMPORT_NAME(TryEnterCriticalSection, 4)) =
    (void*)&LateTryEnterCriticalSection;
void* tw_GetHandleInformation __asm__(TW_IMPORT_NAME(GetHandleInformation, 8)) =
    (void*)&LateGetHandleInformation;
void* tw_GetProcessAffinityMask __asm__(TW_IMPORT_NAME(GetProcessAffinityMask, 12)) =
    (void*)&LateGetProcessAffinityMask;
void* tw_SetProcessAffinityMask __asm__(TW_IMPORT_NAME(SetProcessAffinityMask, 8)) =
    (void*)&LateSetProcessAffinityMask;
void* tw_CreateHardLinkW __asm__(TW_IMPORT_NAME(CreateHardLinkW, 12)) = (void*)&LateCreateHardLinkW;
void* tw_FindFirstVolumeW __asm__(TW_IMPORT_NAME(FindFirstVolumeW, 8)) = (void*)&LateFindFirstVolumeW;
void* tw_FindNextVolumeW __asm__(TW_IMPORT_NAME(FindNextVolumeW, 12)) = (void*)&LateFindNextVolumeW;
void* tw_FindVolumeClose __asm__(TW_IMPORT_NAME(FindVolumeClose, 4)) = (void*)&LateFindVolumeClose;
void* tw_GetDiskFreeSpaceExW __asm__(TW_IMPORT_NAME(GetDiskFreeSpaceExW, 16)) = (void*)&LateGetDiskFreeSpaceExW;
void* tw_GetFileSizeEx __asm__(TW_IMPORT_NAME(GetFileSizeEx, 8)) = (void*)&LateGetFileSizeEx;
void* tw_fstat64 __asm__(TW_IMPORT_NAME_CDECL(_fstat64)) = (void*)&LateFstat64;
void* tw_wstat64 __asm__(TW_IMPORT_NAME_CDECL(_wstat64)) = (void*)&LateWstat64;
}
