// The uninstall information: the block carried at the end of the executable
// and the INI-format file that the launcher writes from it and the worker
// reads. The launcher adds its keys through the profile functions; the
// worker reads the file once and answers every look-up from memory, as the
// profile functions would.
#pragma once

#include <windows.h>
#include <stddef.h>

#include "info/ini_index.h"
#include "info/payload_core.h"

// Section and key names of the uninstall information file.
#define TW_SECTION_OPTIONS "Options"
#define TW_SECTION_FILES "Files"
#define TW_SECTION_GROUP "Group"
#define TW_SECTION_GENERAL "General"
#define TW_SECTION_REG_CURRENT_USER "Registry_CURRENT_USER"
#define TW_SECTION_REG_CLASSES_ROOT "Registry_CLASSES_ROOT"
#define TW_SECTION_REG_LOCAL_MACHINE "Registry_LOCAL_MACHINE"
#define TW_SECTION_REG_USERS "Registry_USERS"
#define TW_KEY_UNINSTALL_KEY "UninstallKey"
#define TW_KEY_COMMON_GROUP "CommonGroup"
#define TW_KEY_UNINST_FILE "UninstFile"
#define TW_KEY_UNINST_SRC_PROCESS "UninstSrcProcess"
#define TW_KEY_QUIET "Quiet"
#define TW_KEY_LOG_FILE "LogFile"
#define TW_KEY_RESULT "Result"
#define TW_KEY_CLOSE_APPS "CloseApps"
#define TW_KEY_SYNC_EVENT "SyncEvent"

// Buffer sizes of the values: list entries and UninstallKey are paths
// (259 characters), UninstFile gets 500.
#define TW_CCH_LIST_VALUE MAX_PATH
#define TW_CCH_UNINST_FILE 500

// Finds the information block in an open executable file: reads the whole
// file, stores the offset at which the payload begins in *pOffset and
// returns non-zero; returns 0 when there is no block or the file cannot be
// read. The file position is back at the start of the file either way.
int LocatePayload(HANDLE hFile, DWORD* pOffset);

// The uninstall information file as the worker reads it: the whole text,
// read once, and its index. Every value is taken from this copy; nothing
// reads the file again.
struct InfoFile {
    char* text;             // heap block; NULL when the file could not be read
    IniIndex index;
    UINT valueCodePage;     // the code page values are converted from, or 0
};

// Reads the file at infoPath whole and indexes it, finding the file where
// the profile functions find it (a bare file name lies in the Windows
// directory). Non-zero on success. A file that is missing or cannot be read
// gives an information file in which every value is missing, as the
// profile functions read it; FreeInfoFile is to be called either way.
int LoadInfoFile(const char* infoPath, InfoFile* info);
void FreeInfoFile(InfoFile* info);

// The same for a text that is already in memory (text[0..cbText), copied),
// as the vendor tool has it from an uninstaller's information block.
int LoadInfoText(const char* text, size_t cbText, InfoFile* info);

// Result of reading one string value.
enum InfoRead {
    INFO_EMPTY = 0,     // missing or empty: the default, and the end of a list
    INFO_OK = 1,        // the whole value is in the buffer
    INFO_TOO_LONG = 2,  // longer than the buffer: the buffer holds its start,
                        // cut at a character boundary, for display only
    INFO_UNREADABLE = 3 // could not be converted to the ANSI code page (no
                        // memory for it): the buffer holds the start of the
                        // value as stored, for display only
};

// Reads section/key into value (cchValue bytes) as GetPrivateProfileStringA
// gives it: names compare without regard to case, the value comes trimmed
// of surrounding blanks and of one pair of quotes.
InfoRead ReadInfoString(const InfoFile* info, const char* section, const char* key,
                        char* value, size_t cchValue);

// Reads entry `index` of a numbered list (keys "0", "1", ...). INFO_EMPTY
// ends the list: a gap in the numbering hides every later entry.
InfoRead ReadListEntry(const InfoFile* info, const char* section, unsigned index,
                       char* value, size_t cchValue);

// Calls visit(value, result, context) for entries 0, 1, ... of a numbered
// list until the first empty one, or until visit returns 0. A value that
// fits a path buffer (TW_CCH_LIST_VALUE) comes with INFO_OK; a longer one is
// passed whole with INFO_TOO_LONG, and one that cannot be converted with
// INFO_UNREADABLE: neither must ever be acted on as a path.
typedef int (*ListVisitor)(const char* value, InfoRead result, void* context);
void ForEachListEntry(const InfoFile* info, const char* section,
                      ListVisitor visit, void* context);

// Reads section/key as GetPrivateProfileIntA gives it.
int ReadInfoNumber(const InfoFile* info, const char* section, const char* key, int defaultValue);

// The single keys with their defaults.
InfoRead ReadUninstallKey(const InfoFile* info, char* value, size_t cchValue);  // ""
int ReadCommonGroup(const InfoFile* info);                                      // 0
int ReadUninstSrcProcess(const InfoFile* info);                                 // -1
InfoRead ReadUninstFile(const InfoFile* info, char* value, size_t cchValue);    // ""

// Writes General/UninstFile and General/UninstSrcProcess (decimal) into the
// file; an existing General section is updated in place. Non-zero when both
// were written.
int WriteLauncherKeys(const char* infoPath, const char* uninstFile, DWORD processId);

// Writes the launcher's options for the worker into General: Quiet=1 when
// quiet, LogFile=<logPath> when logPath is not empty. A key whose option was
// not given is removed, and so is Result, so that an information block can
// never preset them. Non-zero when the file reads back, as the worker reads
// it, as written.
int WriteLauncherOptions(const char* infoPath, int quiet, const char* logPath);
int ReadQuiet(const InfoFile* info);                                        // 0

// Writes General/CloseApps=1 when closeApps (/closeapps in a quiet run),
// and removes it otherwise, so that an information block cannot preset it.
// Non-zero when the file reads back as written.
int WriteCloseAppsOption(const char* infoPath, int closeApps);
int ReadCloseApps(const InfoFile* info);                                    // 0
InfoRead ReadLogFile(const InfoFile* info, char* value, size_t cchValue);   // ""

// The name of the event that releases this run's launcher, in
// General/SyncEvent. Non-zero when the file reads back, as the worker reads
// it, with this name. A worker that finds no name opens the fixed one.
int WriteSyncEventName(const char* infoPath, const char* eventName);
InfoRead ReadSyncEventName(const InfoFile* info, char* value, size_t cchValue);   // ""

// The worker's result (a RunResult) for the launcher of a quiet run, in
// General/Result. Non-zero when written. The launcher reads it from the
// file once the worker has signalled.
int WriteRunResult(const char* infoPath, int result);
int ReadRunResult(const InfoFile* info);                                    // -1
