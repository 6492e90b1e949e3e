// twpack plan: follows an uninstallation step by step without taking one.
// The information is read as the worker reads it, and every decision that
// the worker makes (which side files go with a file, what a group resolves
// to and whether it is protected, whether a key tree may be deleted) is
// made by the worker's own functions. What the removals would find is read
// from this machine: nothing is deleted, written or created, not even in
// the registry.

#include "plan.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <set>

#include "cli.h"
#include "common/common.h"
#include "common/guard.h"
#include "info/info.h"
#include "info/placeholders.h"
#include "info/protected_keys.h"
#include "info/value_entries.h"
#include "pack.h"
#include "worker/worker.h"

namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const size_t kHeldShown = 3;   // items named when a folder stays

// One entry of a list as the worker's reader hands it over: a value that
// fits a path buffer (INFO_OK), or a longer one that is never used as a path.
struct ListEntry {
    std::string value;
    bool fits;
};

int CollectEntry(const char* value, InfoRead result, void* context)
{
    static_cast<std::vector<ListEntry>*>(context)->push_back(ListEntry{ value, result == INFO_OK });
    return 1;
}

// Entries 0, 1, ... up to the first empty one, read as the worker reads them.
std::vector<ListEntry> ReadList(const InfoFile* info, const char* section)
{
    std::vector<ListEntry> entries;
    ForEachListEntry(info, section, CollectEntry, &entries);
    return entries;
}

struct Item {
    unsigned entry = 0;
    std::string name;              // as listed
    std::string path;              // where it is on this machine (groups, keys: full)
    std::string state;
    std::string why;               // for the text form
    bool readOnly = false;
    unsigned long keys = 0, values = 0;
    std::vector<std::string> held;  // what keeps a folder in place
    size_t heldCount = 0;
    std::vector<Item> sides;       // side files deleted with a file
    std::string valueName;         // value entries: the value, and the
    std::string directory;         // directory a list element takes out
    std::string leaves;            // what a changed list value holds then
    bool listElement = false;
};

// What a run could do without administrator rights, on a system where User
// Account Control filters them (Windows Vista and later).
struct Rights {
    bool uac = false;
    bool elevated = false;
    std::vector<std::pair<std::string, std::string>> unelevatedFails;   // kind, path
};

struct Plan {
    std::string source;
    std::string stop;              // why nothing would be removed, if so
    std::string uninstallKey;
    Item entry;
    std::string displayName;
    bool entryExists = false;
    Item uninstaller;
    std::vector<Item> files, directories, groups, keys, values, emptyKeys;
    std::string programsFolder;
    Rights rights;
    PlaceholderFolders folders;    // as the run resolves them on this machine
    bool knowsUninstaller = false; // whether <app> can be resolved at all
};

// A name in the ANSI code page as the system compares names: in Unicode,
// upper case, without final backslashes (a drive's root keeps its own).
std::wstring FoldedName(const std::string& name, size_t keep)
{
    int cch = MultiByteToWideChar(CP_ACP, 0, name.data(), (int)name.size(), NULL, 0);
    std::wstring wide((size_t)(cch > 0 ? cch : 0), L'\0');
    if (cch > 0) {
        MultiByteToWideChar(CP_ACP, 0, name.data(), (int)name.size(), &wide[0], cch);
        CharUpperBuffW(&wide[0], (DWORD)wide.size());
    }
    while (wide.size() > keep && wide.back() == L'\\')
        wide.pop_back();
    return wide;
}

typedef DWORD(WINAPI* GetLongPathNameFn)(LPCSTR, LPSTR, DWORD);

// GetLongPathNameA came with Windows 98 and 2000: on NT 4.0 and Windows 95
// paths are compared as written.
GetLongPathNameFn FindGetLongPathName()
{
    static GetLongPathNameFn s_get =
        (GetLongPathNameFn)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetLongPathNameA");
    return s_get;
}

// The comparison form of a path: full and long. Reads the file system only
// to learn long names.
std::wstring FoldedPath(const std::string& path)
{
    char full[2 * MAX_PATH];
    DWORD cch = GetFullPathNameA(path.c_str(), COUNTOF(full), full, NULL);
    std::string p = cch > 0 && cch < COUNTOF(full) ? std::string(full, cch) : path;
    char longPath[2 * MAX_PATH];
    GetLongPathNameFn getLongPathName = FindGetLongPathName();
    cch = getLongPathName ? getLongPathName(p.c_str(), longPath, COUNTOF(longPath)) : 0;
    if (cch > 0 && cch < COUNTOF(longPath))
        p.assign(longPath, cch);
    return FoldedName(p, 3);
}

// A folder or key that stays because it still holds something: up to
// kHeldShown of what it holds, named.
void DescribeHeld(Item* item, std::vector<std::string> held)
{
    item->state = "stays";
    item->heldCount = held.size();
    held.resize(held.size() < kHeldShown ? held.size() : kHeldShown);
    item->held = held;
    item->why = "still holds ";
    for (size_t i = 0; i < item->held.size(); ++i)
        item->why += (i ? ", " : "") + item->held[i];
    if (item->heldCount > item->held.size())
        item->why += " and " + std::to_string(item->heldCount - item->held.size()) + " more";
}

// The file system as the run would leave it so far: what exists now, less
// what earlier steps removed.
class Simulation {
public:
    DWORD Attributes(const std::string& path) const
    {
        DWORD attributes = GetFileAttributesA(path.c_str());
        return gone_.count(FoldedPath(path)) ? INVALID_FILE_ATTRIBUTES : attributes;
    }
    bool Exists(const std::string& path) const { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }
    bool IsFile(const std::string& path) const
    {
        DWORD a = Attributes(path);
        return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
    }
    bool IsFolder(const std::string& path) const
    {
        DWORD a = Attributes(path);
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }
    void Remove(const std::string& path) { gone_.insert(FoldedPath(path)); }

    // What the folder still holds; folders are named with a final backslash.
    std::vector<std::string> Held(const std::string& folder) const
    {
        std::vector<std::string> held;
        char pattern[2 * MAX_PATH];
        if (!CopyText(pattern, COUNTOF(pattern), folder.c_str()) || !AppendBackslash(pattern, COUNTOF(pattern)))
            return held;
        std::string base = pattern;
        if (!AppendText(pattern, COUNTOF(pattern), "*"))
            return held;
        WIN32_FIND_DATAA fd;
        HANDLE hFind = FindFirstFileA(pattern, &fd);
        if (hFind == INVALID_HANDLE_VALUE)
            return held;
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == ".." || gone_.count(FoldedPath(base + name)))
                continue;
            held.push_back(name + ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : ""));
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
        return held;
    }

    // Removing a folder that may be removed only when empty.
    void RemoveFolder(Item* item, const std::string& path)
    {
        if (!IsFolder(path)) {
            item->state = Exists(path) ? "stays" : "missing";
            item->why = Exists(path) ? "is a file, not a folder"
                      : GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? "removed earlier in the run"
                                                                                   : "not there";
            return;
        }
        std::vector<std::string> held = Held(path);
        if (held.empty()) {
            item->state = "remove";
            Remove(path);
            return;
        }
        DescribeHeld(item, held);
    }

private:
    std::set<std::wstring> gone_;
};

// Why the run leaves an entry with a placeholder alone.
std::string UnresolvedReason(const Plan& plan, const std::string& value)
{
    int id = FindFolderPlaceholder(value.c_str(), NULL);
    if (id < 0)
        return "no such placeholder";
    if (id == PLACEHOLDER_APP && !plan.knowsUninstaller)
        return "<app> is known only from the installed uninstaller: plan that one";
    if (id == PLACEHOLDER_APP)
        return "the installed-programs entry names another uninstaller, or none, so <app> is not this one's folder";
    return "this machine has no such folder";
}

void PlanFiles(const InfoFile* info, Simulation* sim, Plan* plan)
{
    unsigned n = 0;
    for (const ListEntry& listed : ReadList(info, TW_SECTION_FILES)) {
        Item item;
        item.entry = n++;
        item.name = item.path = listed.value;
        bool isFolder = EndsWithBackslash(listed.value.c_str()) != 0;
        char expanded[MAX_PATH];
        PathExpansion expansion = listed.fits
            ? ExpandListedPath(&plan->folders, listed.value.c_str(), expanded, COUNTOF(expanded)) : PATH_TOO_LONG;
        if (expansion == PATH_TOO_LONG || expansion == PATH_UNRESOLVED) {
            // Never cut into another path, nor guess a folder: a file is
            // logged as failed, a directory is left without a line.
            item.state = "refused";
            item.why = expansion == PATH_TOO_LONG ? "longer than 259 characters" : UnresolvedReason(*plan, item.name);
            item.why += isFolder ? ": left alone" : ": left alone; the log says it failed";
            (isFolder ? plan->directories : plan->files).push_back(item);
            continue;
        }
        item.path = expanded;
        const std::string& value = item.path;
        if (isFolder) {
            plan->directories.push_back(item);
            continue;
        }
        const char* extensions[2];
        int count = ListSideFileExtensions(value.c_str(), extensions);
        for (int i = 0; i < count; ++i) {
            char sideName[MAX_PATH];
            if (!ComposeSideFileName(value.c_str(), extensions[i], sideName, COUNTOF(sideName)) ||
                !sim->IsFile(sideName))
                continue;
            Item side;
            side.name = side.path = sideName;
            side.state = "delete";
            side.readOnly = (sim->Attributes(sideName) & FILE_ATTRIBUTE_READONLY) != 0;
            sim->Remove(sideName);
            item.sides.push_back(side);
        }
        DWORD attributes = GetFileAttributesA(value.c_str());
        if (sim->IsFile(value)) {
            item.state = "delete";
            item.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
            sim->Remove(value);
        } else if (sim->IsFolder(value)) {
            item.state = "stays";
            item.why = "is a folder, not a file (a folder is listed with a final backslash); the log says it failed";
        } else {
            item.state = "missing";
            item.why = attributes != INVALID_FILE_ATTRIBUTES ? "deleted earlier in the run; the log says it failed"
                                                             : "not there; the log says it failed";
        }
        plan->files.push_back(item);
    }
}

bool IsInsideFolder(const std::string& path, const std::string& folder)
{
    char bare[MAX_PATH];
    return CopyText(bare, COUNTOF(bare), path.c_str()) && (StripTrailingBackslashes(bare), IsBelowFolder(bare, folder.c_str()));
}

// A group that stays at the groups phase only because listed directories
// are still inside it: the run removes those (in list order, when empty)
// and tries the group again. The directories it removes there are not
// tried again at the end.
void RemoveDirectoriesInside(Simulation* sim, Plan* plan, Item* group)
{
    bool found = false;
    for (Item& dir : plan->directories) {
        if (!dir.state.empty() || !IsInsideFolder(dir.path, group->path))
            continue;
        found = true;
        Item tried = dir;
        sim->RemoveFolder(&tried, dir.path);
        if (tried.state == "remove") {
            dir.state = "remove";
            dir.why = "at the groups phase, with the group " + group->name;
        }
    }
    if (!found)
        return;
    group->why.clear();
    group->held.clear();
    group->heldCount = 0;
    sim->RemoveFolder(group, group->path);
    if (group->state == "remove")
        group->why = "once the listed directories inside it are gone";
}

void PlanGroups(const InfoFile* info, Simulation* sim, Plan* plan)
{
    int commonGroup = ReadCommonGroup(info);
    char programs[MAX_PATH];
    if (TakeProgramsFolder(commonGroup, programs))
        plan->programsFolder = programs;
    unsigned n = 0;
    for (const ListEntry& listed : ReadList(info, TW_SECTION_GROUP)) {
        Item item;
        item.entry = n++;
        item.name = listed.value;
        char folder[MAX_PATH];
        GroupVerdict verdict = listed.fits
            ? ResolveListedGroup(&plan->folders, commonGroup, listed.value.c_str(), folder, COUNTOF(folder))
            : GROUP_REFUSED;
        if (verdict == GROUP_REFUSED) {
            item.state = "refused";
            item.why = FindFolderPlaceholder(item.name.c_str(), NULL) == PLACEHOLDER_NONE
                ? "no folder inside the Programs folder: left alone; the log says it failed"
                : "no folder inside the Programs folder that <programs> or <commonprograms> names on this "
                  "machine: left alone; the log says it failed";
        } else if (verdict == GROUP_PROTECTED) {
            item.path = folder;
            item.state = "protected";
            item.why = "named like the Startup folder: never removed; the log says it was deleted";
        } else {
            item.path = folder;
            sim->RemoveFolder(&item, folder);
            if (item.state == "stays")
                RemoveDirectoriesInside(sim, plan, &item);
            if (item.state == "stays")
                item.why += "; the log says it failed";
            else if (item.state == "missing")
                item.why += "; no log line";
        }
        plan->groups.push_back(item);
    }
}

struct RegistryList {
    const char* section;
    HKEY root;
    const char* name;
};
const RegistryList kRegistryLists[] = {
    { TW_SECTION_REG_CURRENT_USER, HKEY_CURRENT_USER, "HKEY_CURRENT_USER" },
    { TW_SECTION_REG_CLASSES_ROOT, HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT" },
    { TW_SECTION_REG_LOCAL_MACHINE, HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE" },
    { TW_SECTION_REG_USERS, HKEY_USERS, "HKEY_USERS" },
};

// A key as the registry holds it, whichever spelling a list gives it.
struct RealKey {
    HKEY root;            // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_USERS
    std::wstring folded;  // its path, upper case, without final backslashes
};

// A deleted tree, for the keys listed later inside it.
struct DeletedTree {
    RealKey key;
    std::string listed;   // as its entry named it, with its root
};

bool IsInDeletedTree(const std::vector<DeletedTree>& deleted, const RealKey& key, std::string* by)
{
    for (const DeletedTree& d : deleted) {
        const std::wstring& tree = d.key.folded;
        if (d.key.root == key.root &&
            (key.folded == tree || key.folded.compare(0, tree.size() + 1, tree + L"\\") == 0)) {
            *by = d.listed;
            return true;
        }
    }
    return false;
}

// The key that root\path names as the run finds it after the deletions so
// far. HKEY_CLASSES_ROOT shows the user's classes where they hold the key,
// otherwise the machine's; the other spellings of the classes that the
// registry guard knows name the same keys (a user's <SID>_Classes hive is
// that user's Software\Classes).
RealKey FindRealKey(HKEY root, const std::string& path, const std::vector<DeletedTree>& deleted)
{
    if (root == HKEY_CLASSES_ROOT) {
        std::string user = "Software\\Classes\\" + path;
        RealKey key = { HKEY_CURRENT_USER, FoldedName(user, 0) };
        std::string by;
        KeyGuard hKey;
        if (!IsInDeletedTree(deleted, key, &by) &&
            RegOpenKeyExA(HKEY_CURRENT_USER, user.c_str(), 0, KEY_QUERY_VALUE, hKey.Out()) == ERROR_SUCCESS)
            return key;
        return RealKey{ HKEY_LOCAL_MACHINE, FoldedName("SOFTWARE\\Classes\\" + path, 0) };
    }
    // Below HKEY_USERS the alias that takes only the first part is the
    // <SID>_Classes hive.
    KeyPathAlias alias;
    size_t firstPart = path.find('\\');
    const size_t cchHive = sizeof("_Classes") - 1;
    if (root == HKEY_USERS && firstPart != std::string::npos && firstPart > cchHive &&
        FindKeyPathAlias(KEY_ROOT_USERS, path.c_str(), IsLeadByteOfAnsiCodePage, &alias) &&
        alias.rest == path.c_str() + firstPart + 1)
        return RealKey{ root, FoldedName(path.substr(0, firstPart - cchHive) + "\\Software\\Classes\\" +
                                         alias.rest, 0) };
    return RealKey{ root, FoldedName(path, 0) };
}

bool IsInDeletedTree(const std::vector<DeletedTree>& deleted, HKEY root, const std::string& path,
                     std::string* by)
{
    return IsInDeletedTree(deleted, FindRealKey(root, path, deleted), by);
}

// Counts the keys and values of the tree root\path that the run has not
// deleted yet, reading only.
void CountTree(HKEY root, HKEY hKey, const std::string& path, const std::vector<DeletedTree>& deleted,
               unsigned long* keys, unsigned long* values)
{
    DWORD subkeys = 0, valueCount = 0;
    ++*keys;
    if (RegQueryInfoKeyA(hKey, NULL, NULL, NULL, &subkeys, NULL, NULL, &valueCount, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS)
        return;
    *values += valueCount;
    for (DWORD i = 0; i < subkeys; ++i) {
        char name[MAX_PATH];
        DWORD cchName = COUNTOF(name);
        std::string by;
        if (RegEnumKeyExA(hKey, i, name, &cchName, NULL, NULL, NULL, NULL) != ERROR_SUCCESS ||
            IsInDeletedTree(deleted, root, path + "\\" + name, &by))
            continue;
        KeyGuard sub;
        if (RegOpenKeyExA(hKey, name, 0, KEY_READ, sub.Out()) == ERROR_SUCCESS)
            CountTree(root, sub.Get(), path + "\\" + name, deleted, keys, values);
    }
}

// Why the worker refuses a key path, in words.
const char* RefusalReason(HKEY root, const std::string& path)
{
    static const HKEY kRoots[] = { HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS };
    for (int i = 0; i < 4; ++i) {
        if (root != kRoots[i])
            continue;
        switch (ClassifyKeyPath((KeyRoot)i, path.c_str(), IsLeadByteOfAnsiCodePage)) {
        case KEY_PATH_SHARED:
            return "a key that Windows and other programs keep their data in";
        case KEY_PATH_WHOLE_HIVE:
            return "a user's whole registry";
        default:
            break;
        }
    }
    return "an empty or malformed key path";
}

// What deleting root\path (\subkey) would do; *deleted gains the tree.
void PlanKeyTree(HKEY root, const std::string& rootName, const std::string& path, const char* subkey,
                 std::vector<DeletedTree>* deleted, Item* item)
{
    std::string keyPath = subkey ? path + "\\" + subkey : path;
    item->path = rootName + "\\" + keyPath;
    std::string by;
    KeyGuard key;
    if (!IsDeletableTree(root, path.c_str(), subkey)) {
        item->state = "refused";
        item->why = std::string(RefusalReason(root, keyPath)) + ": never deleted; the log says it failed";
    } else if (IsInDeletedTree(*deleted, root, keyPath, &by)) {
        item->state = "missing";
        item->why = "deleted earlier in the run with " + by + "; the log says it failed";
    } else if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) {
        item->state = "missing";
        item->why = "not there; the log says it failed";
    } else {
        CountTree(root, key.Get(), keyPath, *deleted, &item->keys, &item->values);
        KeyGuard probe;
        // The access the deletion opens the key with; opening changes nothing.
        if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_SET_VALUE, probe.Out()) !=
            ERROR_SUCCESS) {
            item->state = "denied";
            item->why = "cannot be opened for deletion by this user; the log says it failed";
        } else {
            item->state = "delete";
            deleted->push_back(DeletedTree{ FindRealKey(root, keyPath, *deleted), rootName + "\\" + keyPath });
        }
    }
}

void PlanRegistry(const InfoFile* info, std::vector<DeletedTree>* deleted, Plan* plan)
{
    for (const RegistryList& list : kRegistryLists) {
        unsigned n = 0;
        for (const ListEntry& listed : ReadList(info, list.section)) {
            const std::string& value = listed.value;
            Item item;
            item.entry = n++;
            item.name = value;
            if (!listed.fits) {
                item.path = std::string(list.name) + "\\" + value;
                item.state = "refused";
                item.why = "longer than 259 characters: left alone; the log says it failed";
            } else {
                PlanKeyTree(list.root, list.name, value, NULL, deleted, &item);
            }
            plan->keys.push_back(item);
        }
    }
}

// The values as the run leaves them so far: deleted ones, and list values
// with directories taken out. Names compare without regard to case.
struct ValueChanges {
    std::set<std::wstring> deleted;
    std::map<std::wstring, std::string> changed;   // the text a list value holds now

    static std::wstring Id(const RealKey& key, const std::string& name)
    {
        return std::to_wstring((size_t)(ULONG_PTR)key.root) + L"|" + key.folded + L"|" + FoldedName(name, 0);
    }
};

// The key path's parts, counted as the worker orders keys that go when empty.
unsigned CountParts(const std::string& keyPath)
{
    unsigned parts = 1;
    for (const char* p = keyPath.c_str(); *p != '\0'; p = CharNextA(p))
        parts += *p == '\\';
    return parts;
}

// What one value or list-element entry would do.
void PlanValue(HKEY root, const std::string& keyPath, const std::vector<DeletedTree>& deleted,
               ValueChanges* changes, Item* item)
{
    std::string by;
    KeyGuard key;
    std::wstring id = ValueChanges::Id(FindRealKey(root, keyPath, deleted), item->valueName);
    DWORD type = 0;
    if (!IsValueKeyPath(root, keyPath.c_str())) {
        item->state = "refused";
        item->why = "an empty or malformed key path: left alone; the log says it failed";
    } else if (IsInDeletedTree(deleted, root, keyPath, &by)) {
        item->state = "missing";
        item->why = "deleted earlier in the run with " + by + "; the log says it failed";
    } else if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) {
        item->state = "missing";
        item->why = "the key is not there; the log says it failed";
    } else if (changes->deleted.count(id) ||
               RegQueryValueExA(key.Get(), item->valueName.c_str(), NULL, &type, NULL, NULL) != ERROR_SUCCESS) {
        item->state = "missing";
        item->why = std::string(changes->deleted.count(id) ? "deleted earlier in the run" : "not there") +
                    "; the log says it failed";
    } else {
        KeyGuard probe;
        REGSAM access = item->listElement ? KEY_QUERY_VALUE | KEY_SET_VALUE : KEY_SET_VALUE;
        if (RegOpenKeyExA(root, keyPath.c_str(), 0, access, probe.Out()) != ERROR_SUCCESS) {
            item->state = "denied";
            item->why = "cannot be opened for a change by this user; the log says it failed";
        } else if (!item->listElement) {
            item->state = "delete";
            changes->deleted.insert(id);
            changes->changed.erase(id);
        } else {
            char* data = NULL;
            DWORD cbData = 0;
            LONG error = ReadListValue(key.Get(), item->valueName.c_str(), &type, &data, &cbData);
            HeapGuard block(data);
            std::string now = changes->changed.count(id) ? changes->changed[id] : std::string(data ? data : "");
            std::string left(now.size() + 1, '\0');
            if (error == ERROR_INVALID_DATATYPE) {
                item->state = "stays";
                item->why = "not a text value (type " + std::to_string(type) + "): left alone; the log says it failed";
            } else if (error != ERROR_SUCCESS) {
                item->state = "stays";
                item->why = "holds characters that this code page cannot: left alone; the log says it failed";
            } else if (DropListElements(now.c_str(), item->directory.c_str(), &left[0]) == 0) {
                item->state = "missing";
                item->why = "holds no such element; the log says it failed";
            } else {
                item->state = "change";
                item->leaves = left.c_str();
                changes->changed[id] = item->leaves;
            }
        }
    }
}

// What a key that goes only when empty holds once the run got there:
// subkeys and values that the run has not removed by then.
std::vector<std::string> HeldByKey(HKEY root, HKEY hKey, const std::string& keyPath,
                                   const std::vector<DeletedTree>& deleted, const ValueChanges& changes)
{
    std::vector<std::string> held;
    char name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD cchName = COUNTOF(name);
        if (RegEnumKeyExA(hKey, i, name, &cchName, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        std::string by;
        if (!IsInDeletedTree(deleted, root, keyPath + "\\" + name, &by))
            held.push_back(std::string(name) + "\\");
    }
    for (DWORD i = 0;; ++i) {
        DWORD cchName = COUNTOF(name);
        if (RegEnumValueA(hKey, i, name, &cchName, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (!changes.deleted.count(ValueChanges::Id(FindRealKey(root, keyPath, deleted), name)))
            held.push_back("\"" + std::string(name) + "\"");
    }
    return held;
}

void PlanEmptyKey(HKEY root, const std::string& rootName, const std::string& keyPath, std::vector<DeletedTree>* deleted,
                  const ValueChanges& changes, Item* item)
{
    std::string by;
    KeyGuard key;
    if (JudgeKeyPath(root, keyPath.c_str()) != KEY_PATH_DELETABLE) {
        item->state = "refused";
        item->why = std::string(RefusalReason(root, keyPath)) + ": never removed; the log says it failed";
    } else if (IsInDeletedTree(*deleted, root, keyPath, &by)) {
        item->state = "missing";
        item->why = "deleted earlier in the run with " + by + "; no log line";
    } else if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) {
        item->state = "missing";
        item->why = "not there; no log line";
    } else {
        std::vector<std::string> held = HeldByKey(root, key.Get(), keyPath, *deleted, changes);
        KeyGuard probe;
        if (!held.empty()) {
            DescribeHeld(item, held);
            item->why += "; no log line";
        } else if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_QUERY_VALUE | DELETE, probe.Out()) != ERROR_SUCCESS) {
            item->state = "denied";
            item->why = "cannot be removed by this user; the log says it failed";
        } else {
            item->state = "remove";
            deleted->push_back(DeletedTree{ FindRealKey(root, keyPath, *deleted), rootName + "\\" + keyPath });
        }
    }
}

// The value lists: values and list elements in list order, then the keys
// that go only when empty, innermost first.
void PlanValues(const InfoFile* info, std::vector<DeletedTree>* deleted, Plan* plan)
{
    static const char* const kSections[] = { TW_SECTION_VALUES_CURRENT_USER, TW_SECTION_VALUES_CLASSES_ROOT,
                                             TW_SECTION_VALUES_LOCAL_MACHINE, TW_SECTION_VALUES_USERS };
    ValueChanges changes;
    struct EmptyKey {
        size_t list;
        Item item;
        std::string keyPath;
        unsigned parts;
    };
    std::vector<EmptyKey> emptyKeys;
    for (size_t l = 0; l < COUNTOF(kRegistryLists); ++l) {
        const RegistryList& list = kRegistryLists[l];
        unsigned n = 0;
        for (const ListEntry& listed : ReadList(info, kSections[l])) {
            Item item;
            item.entry = n++;
            item.name = listed.value;
            item.path = std::string(list.name) + "\\" + listed.value;
            ValueEntry parsed;
            ValueEntryKind kind = listed.fits ? ParseValueEntry(listed.value.c_str(), IsLeadByteOfAnsiCodePage, &parsed)
                                              : VALUE_ENTRY_MALFORMED;
            if (kind == VALUE_ENTRY_MALFORMED) {
                item.state = "refused";
                item.why = listed.fits ? "no key path, two backslashes and a quoted name: left alone; the log says it failed"
                                       : "longer than 259 characters: left alone; the log says it failed";
                plan->values.push_back(item);
                continue;
            }
            std::string keyPath = listed.value.substr(0, parsed.cchKeyPath);
            item.path = std::string(list.name) + "\\" + keyPath;
            if (kind == VALUE_ENTRY_EMPTY_KEY) {
                emptyKeys.push_back(EmptyKey{ l, item, keyPath, CountParts(keyPath) });
                continue;
            }
            item.valueName = listed.value.substr(parsed.nameAt, parsed.cchName);
            item.directory = listed.value.substr(parsed.directoryAt, parsed.cchDirectory);
            item.listElement = kind == VALUE_ENTRY_LIST_ELEMENT;
            PlanValue(list.root, keyPath, *deleted, &changes, &item);
            plan->values.push_back(item);
        }
    }
    std::stable_sort(emptyKeys.begin(), emptyKeys.end(),
                     [](const EmptyKey& a, const EmptyKey& b) { return a.parts > b.parts; });
    for (EmptyKey& k : emptyKeys) {
        PlanEmptyKey(kRegistryLists[k.list].root, kRegistryLists[k.list].name, k.keyPath, deleted, changes, &k.item);
        plan->emptyKeys.push_back(k.item);
    }
}

// The installed-programs entry as the worker opens it, read only, and the
// placeholders' folders as the worker resolves them with it.
bool PlanEntry(const InfoFile* info, const std::string& uninstFile, Plan* plan)
{
    char key[MAX_PATH];
    InfoRead keyRead = ReadUninstallKey(info, key, COUNTOF(key));
    plan->uninstallKey = key;
    std::string entryPath = std::string(kUninstallRoot) + "\\" + key;
    if (keyRead != INFO_OK || entryPath.size() >= MAX_PATH) {
        plan->stop = keyRead == INFO_EMPTY ? "[Options] UninstallKey is missing or empty"
                                           : "[Options] UninstallKey is too long for the entry's path";
        plan->stop += ": the uninstaller shows \"Failed to initialize.\" and removes nothing";
        return false;
    }
    KeyGuard hEntry;
    plan->entryExists =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, entryPath.c_str(), 0, KEY_QUERY_VALUE, hEntry.Out()) == ERROR_SUCCESS;
    plan->knowsUninstaller = !uninstFile.empty() && uninstFile.size() < TW_CCH_UNINST_FILE;
    ResolvePlaceholderFolders(plan->knowsUninstaller ? uninstFile.c_str() : "", hEntry.Get(), &plan->folders);
    if (plan->entryExists) {
        char displayName[200];
        ReadDisplayName(hEntry.Get(), displayName, COUNTOF(displayName));
        plan->displayName = displayName;
        return true;
    }
    // The uninstaller creates a missing entry; opening its parent with the
    // right to do so tells whether it can, and creates nothing.
    KeyGuard hParent;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_CREATE_SUB_KEY, hParent.Out()) != ERROR_SUCCESS) {
        plan->stop = "the installed-programs entry " + plan->uninstallKey + " is not there and this user cannot create it: the "
                     "uninstaller shows \"Failed to initialize.\" and removes nothing";
        return false;
    }
    return true;
}

// The steps after the dialog is closed: the entry, the installed
// uninstaller, then the directories in list order.
void PlanEnd(const std::string& uninstFile, std::vector<DeletedTree>* deleted, Simulation* sim, Plan* plan)
{
    plan->entry.name = plan->uninstallKey;
    PlanKeyTree(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", kUninstallRoot, plan->uninstallKey.c_str(), deleted,
                &plan->entry);
    // The end logs nothing; an entry that is not there is made on the way.
    size_t logged = plan->entry.why.find("; the log says");
    if (logged != std::string::npos)
        plan->entry.why.erase(logged);
    if (!plan->entryExists) {
        plan->entry.state = "delete";
        plan->entry.why = "not there now: the uninstaller creates it empty, asks with an empty name and deletes "
                          "it at the end";
    }
    plan->uninstaller.name = plan->uninstaller.path = uninstFile;
    if (uninstFile.empty() || uninstFile.size() >= TW_CCH_UNINST_FILE) {
        plan->uninstaller.state = "none";
        plan->uninstaller.why = "no installed uninstaller is named: only a launcher names it";
    } else if (sim->IsFile(uninstFile)) {
        plan->uninstaller.state = "delete";
        sim->Remove(uninstFile);
    } else {
        plan->uninstaller.state = "missing";
        plan->uninstaller.why = "not there";
    }
    for (Item& dir : plan->directories)
        if (dir.state.empty())
            sim->RemoveFolder(&dir, dir.path);
}

// ---- Rights -----------------------------------------------------------------
// The uninstaller asks for administrator rights when it starts. Run without
// them (the elevation refused, or an older uninstaller that does not ask),
// it could not delete what by Windows's default rights only administrators
// may: the machine's keys, those of other users and of the default user,
// and what lies in the Windows folder, the program folders and the data and
// Start menu shared by all users.

// True on a system with User Account Control, which then tells in
// *elevated whether this process has its administrator rights. Windows XP
// and older do not know the question.
bool QueryElevation(bool* elevated)
{
    HANDLE hToken = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return false;
    HandleGuard token(hToken);
    TOKEN_ELEVATION_TYPE type;
    TOKEN_ELEVATION elevation;
    DWORD cb = 0;
    if (!GetTokenInformation(hToken, TokenElevationType, &type, sizeof(type), &cb) ||
        !GetTokenInformation(hToken, TokenElevation, &elevation, sizeof(elevation), &cb))
        return false;
    *elevated = elevation.TokenIsElevated != 0;
    return true;
}

// The folders that only administrators may change, in comparison form.
std::vector<std::wstring> AdministratorsFolders()
{
    static const int kFolders[] = { CSIDL_WINDOWS, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
                                    CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
                                    CSIDL_COMMON_APPDATA, CSIDL_COMMON_PROGRAMS };
    std::vector<std::wstring> folders;
    for (int csidl : kFolders) {
        // Through the item list, as every system offers it:
        // SHGetSpecialFolderPathA came with the shell of Internet Explorer
        // 4.0, which NT 4.0 and Windows 95 lack.
        TaskMemGuard<ITEMIDLIST> idList;
        char path[MAX_PATH];
        if (SUCCEEDED(SHGetSpecialFolderLocation(NULL, csidl, idList.Out())) &&
            SHGetPathFromIDListA(idList.Get(), path) && path[0] != '\0')
            folders.push_back(FoldedPath(path));
    }
    return folders;
}

bool IsForAdministrators(const std::string& path, const std::vector<std::wstring>& folders)
{
    std::wstring folded = FoldedPath(path);
    for (const std::wstring& f : folders)
        if (folded == f || folded.compare(0, f.size() + 1, f + L"\\") == 0)
            return true;
    return false;
}

// A key tree below HKEY_CLASSES_ROOT is the user's when the user's classes
// hold it, otherwise the machine's.
bool IsMachineKey(const Item& key)
{
    auto below = [&](const std::string& root) { return key.path.compare(0, root.size(), root) == 0; };
    const std::string classes = "HKEY_CLASSES_ROOT\\";
    if (below(classes)) {
        KeyGuard hKey;
        return RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\Classes\\" + key.path.substr(classes.size())).c_str(),
                             0, KEY_QUERY_VALUE, hKey.Out()) != ERROR_SUCCESS;
    }
    return below("HKEY_LOCAL_MACHINE\\") || below("HKEY_USERS\\");
}

void PlanRights(Plan* plan)
{
    Rights& rights = plan->rights;
    rights.uac = QueryElevation(&rights.elevated);
    if (!rights.uac)
        return;
    std::vector<std::wstring> folders = AdministratorsFolders();
    auto add = [&](const char* kind, const Item& item, const char* goes) {
        if (item.state == goes && IsForAdministrators(item.path.empty() ? item.name : item.path, folders))
            rights.unelevatedFails.emplace_back(kind, item.path.empty() ? item.name : item.path);
    };
    for (const Item& f : plan->files) {
        add("file", f, "delete");
        for (const Item& side : f.sides)
            add("side file", side, "delete");
    }
    for (const Item& g : plan->groups)
        add("group", g, "remove");
    for (const Item& k : plan->keys)
        if (k.state == "delete" && IsMachineKey(k))
            rights.unelevatedFails.emplace_back("key tree", k.path);
    for (const Item& v : plan->values)
        if ((v.state == "delete" || v.state == "change") && IsMachineKey(v))
            rights.unelevatedFails.emplace_back("value", v.path + "\\" + v.valueName);
    for (const Item& k : plan->emptyKeys)
        if (k.state == "remove" && IsMachineKey(k))
            rights.unelevatedFails.emplace_back("empty key", k.path);
    if (plan->entry.state == "delete")
        rights.unelevatedFails.emplace_back("entry", plan->entry.path);
    add("uninstaller", plan->uninstaller, "delete");
    for (const Item& d : plan->directories)
        add("directory", d, "remove");
}

// JSON string of text in the ANSI code page: every character that is not
// printable ASCII as a \u escape of its UTF-16 code.
std::string Json(const std::string& text)
{
    int cch = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide((size_t)(cch > 0 ? cch : 0), L'\0');
    if (cch > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], cch);
    std::string out = "\"";
    for (wchar_t c : wide) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            wsprintfA(hex, "\\u%04X", (unsigned)c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

std::string JsonItem(const Item& item, bool isKey)
{
    std::string s = "{\"entry\": " + std::to_string(item.entry) + ", \"name\": " + Json(item.name) +
                    ", \"path\": " + Json(item.path) + ", \"state\": " + Json(item.state);
    if (isKey)
        s += ", \"keys\": " + std::to_string(item.keys) + ", \"values\": " + std::to_string(item.values);
    else
        s += ", \"read_only\": " + std::string(item.readOnly ? "true" : "false");
    if (!item.held.empty() || item.heldCount) {
        s += ", \"holds\": [";
        for (size_t i = 0; i < item.held.size(); ++i)
            s += (i ? ", " : "") + Json(item.held[i]);
        s += "], \"holds_count\": " + std::to_string(item.heldCount);
    }
    if (!item.sides.empty()) {
        s += ", \"side_files\": [";
        for (size_t i = 0; i < item.sides.size(); ++i)
            s += (i ? ", " : "") + JsonItem(item.sides[i], false);
        s += "]";
    }
    return s + "}";
}

// A value entry: the key in "path", the value's name, and for a list
// element the directory and what the value holds afterwards.
std::string JsonValueItem(const Item& item)
{
    std::string s = "{\"entry\": " + std::to_string(item.entry) + ", \"name\": " + Json(item.name) +
                    ", \"path\": " + Json(item.path) + ", \"value\": " + Json(item.valueName) +
                    ", \"state\": " + Json(item.state);
    if (item.listElement)
        s += ", \"directory\": " + Json(item.directory) + ", \"leaves\": " + Json(item.leaves);
    return s + "}";
}

std::string JsonList(const char* name, const std::vector<Item>& items, bool isKey, bool isValue = false)
{
    std::string s = ",\n \"" + std::string(name) + "\": [";
    for (size_t i = 0; i < items.size(); ++i)
        s += std::string(i ? "," : "") + "\n  " + (isValue ? JsonValueItem(items[i]) : JsonItem(items[i], isKey));
    return s + (items.empty() ? "]" : "\n ]");
}

std::string FormatJson(const Plan& plan)
{
    std::string s = "{\"source\": " + Json(plan.source) + ", \"removes\": " + (plan.stop.empty() ? "true" : "false") +
                    ", \"stop\": " + Json(plan.stop) + ", \"uninstall_key\": " + Json(plan.uninstallKey);
    if (plan.stop.empty()) {
        s += ",\n \"entry\": " + JsonItem(plan.entry, true) + ",\n \"entry_exists\": " +
             (plan.entryExists ? "true" : "false") + ", \"display_name\": " + Json(plan.displayName) +
             ",\n \"uninstaller\": " + JsonItem(plan.uninstaller, false) +
             ",\n \"programs_folder\": " + Json(plan.programsFolder) + JsonList("files", plan.files, false) +
             JsonList("directories", plan.directories, false) + JsonList("groups", plan.groups, false) +
             JsonList("registry", plan.keys, true) + JsonList("values", plan.values, false, true) +
             JsonList("empty_keys", plan.emptyKeys, true);
        const Rights& r = plan.rights;
        s += ",\n \"rights\": {\"uac\": " + std::string(r.uac ? "true" : "false") + ", \"elevated\": " +
             (r.elevated ? "true" : "false") + ", \"unelevated_fails\": [";
        for (size_t i = 0; i < r.unelevatedFails.size(); ++i)
            s += std::string(i ? ", " : "") + "{\"kind\": " + Json(r.unelevatedFails[i].first) +
                 ", \"path\": " + Json(r.unelevatedFails[i].second) + "}";
        s += "]}";
    }
    return s + "\n}\n";
}

std::string TextLine(const Item& item, const std::string& shown)
{
    std::string line = "  " + item.state + std::string(item.state.size() < 10 ? 10 - item.state.size() : 1, ' ') +
                       shown;
    if (item.keys)
        line += "  (" + std::to_string(item.keys) + (item.keys == 1 ? " key, " : " keys, ") +
                std::to_string(item.values) + (item.values == 1 ? " value)" : " values)");
    if (item.readOnly)
        line += "  (read-only: the attribute is cleared first)";
    if (!item.why.empty())
        line += "\n              " + item.why;
    return line + "\n";
}

std::string Count(size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

size_t CountState(const std::vector<Item>& items, const char* state)
{
    size_t n = 0;
    for (const Item& i : items)
        n += i.state == state;
    return n;
}

// An item as the log names it: an entry with a placeholder by the path it
// resolved to, any other as listed.
std::string Shown(const Item& item)
{
    return FindFolderPlaceholder(item.name.c_str(), NULL) >= 0 && !item.path.empty() ? item.path : item.name;
}

std::string FormatText(const Plan& plan)
{
    std::string s = "twpack plan: what " + plan.source + " would do on this machine now\n"
                    "(nothing has been changed)\n\n";
    if (!plan.stop.empty())
        return s + "Nothing would be removed: " + plan.stop + ".\n";
    s += "Installed-programs entry " + plan.entry.path + "\n";
    s += plan.entryExists ? "  the question names \"" + plan.displayName + "\"\n" : "";
    s += TextLine(plan.entry, "at the very end, after the user closes the dialog");

    size_t sides = 0;
    s += "\nFiles: " + Count(plan.files.size(), "file", "files") + " listed, deleted in the first phase\n";
    for (const Item& f : plan.files) {
        s += TextLine(f, Shown(f));
        for (const Item& side : f.sides)
            s += TextLine(side, "+ " + side.name);
        sides += f.sides.size();
    }
    s += "\nProgram groups: " + Count(plan.groups.size(), "group", "groups") + " listed, in " +
         (plan.programsFolder.empty() ? std::string("(no Programs folder)") : plan.programsFolder) + "\n";
    for (const Item& g : plan.groups)
        s += TextLine(g, Shown(g));
    unsigned long keys = 0, values = 0;
    s += "\nRegistry: " + Count(plan.keys.size(), "key tree", "key trees") + "\n";
    for (const Item& k : plan.keys) {
        s += TextLine(k, k.path);
        if (k.state == "delete") {
            keys += k.keys;
            values += k.values;
        }
    }
    if (!plan.values.empty())
        s += "\nRegistry values: " + Count(plan.values.size(), "entry", "entries") + ", after the key trees\n";
    for (const Item& v : plan.values) {
        s += TextLine(v, v.path.substr(0, v.path.find('\\') + 1) + v.name);
        if (v.state == "change")
            s += "              leaves \"" + v.leaves + "\"\n";
    }
    if (!plan.emptyKeys.empty())
        s += "\nKeys removed only when empty: " + Count(plan.emptyKeys.size(), "entry", "entries") +
             ", innermost first, after the values\n";
    for (const Item& k : plan.emptyKeys)
        s += TextLine(k, k.path);
    s += "\nThe installed uninstaller\n" + TextLine(plan.uninstaller, plan.uninstaller.name);
    s += "\nDirectories: " + Count(plan.directories.size(), "directory", "directories") +
         " listed, removed at the very end in this order, only when empty\n"
         "(what keeps one is not removed by this uninstallation: often the user's own files)\n";
    for (const Item& d : plan.directories)
        s += TextLine(d, Shown(d));

    size_t failed = plan.files.size() - CountState(plan.files, "delete") + plan.keys.size() -
                    CountState(plan.keys, "delete") + plan.values.size() - CountState(plan.values, "delete") -
                    CountState(plan.values, "change") + CountState(plan.emptyKeys, "refused") +
                    CountState(plan.emptyKeys, "denied") + CountState(plan.groups, "stays") +
                    CountState(plan.groups, "refused");
    std::string valueParts;
    if (!plan.values.empty())
        valueParts += ", " + std::to_string(CountState(plan.values, "delete") + CountState(plan.values, "change")) +
                      " of " + Count(plan.values.size(), "registry value", "registry values") + " deleted or changed";
    if (!plan.emptyKeys.empty())
        valueParts += ", " + std::to_string(CountState(plan.emptyKeys, "remove")) + " of " +
                      Count(plan.emptyKeys.size(), "key", "keys") + " removed as empty";
    s += "\nIn all: " + Count(CountState(plan.files, "delete"), "file", "files") + " and " +
         Count(sides, "side file", "side files") + " deleted, " + std::to_string(CountState(plan.directories, "remove")) +
         " of " + Count(plan.directories.size(), "directory", "directories") + " and " +
         std::to_string(CountState(plan.groups, "remove")) + " of " + Count(plan.groups.size(), "group", "groups") +
         " removed, " + Count(CountState(plan.keys, "delete"), "key tree", "key trees") + " (" +
         Count(keys, "key", "keys") + ", " + Count(values, "value", "values") + ") deleted" + valueParts + "; " +
         Count(failed, "log line says", "log lines say") + " \"failed to delete\".\n";
    if (plan.rights.uac) {
        const Rights& r = plan.rights;
        s += std::string("\nRights: this plan runs ") + (r.elevated ? "elevated" : "without elevation") +
             ". The uninstaller asks for administrator rights when it starts; a run without them (elevation "
             "refused) would fail to remove ";
        if (r.unelevatedFails.empty())
            s += "nothing of the above.\n";
        else
            s += Count(r.unelevatedFails.size(), "item", "items") + ":\n";
        for (const auto& fail : r.unelevatedFails)
            s += "  " + fail.first + std::string(fail.first.size() < 12 ? 12 - fail.first.size() : 1, ' ') +
                 fail.second + "\n";
    }
    return s;
}

}  // namespace

int RunPlan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> files;
    bool json = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            err << "twpack plan: unknown option '" << args[i] << "'.\n";
            return TWPACK_FAILED;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 1) {
        err << "twpack plan: name one uninstaller or information file.\n"
               "usage: twpack plan <uninstaller.exe | info.ini> [--json]\n";
        return TWPACK_FAILED;
    }
    std::string data, problem;
    if (!ReadWholeFile(files[0], &data, &problem)) {
        err << "twpack plan: cannot read '" << files[0] << "': " << problem << ".\n";
        return TWPACK_FAILED;
    }

    Plan plan;
    plan.source = files[0];
    std::string text = data;
    std::string uninstFile;
    bool fromExecutable = LooksLikeExecutable(data);
    if (fromExecutable && !ExtractInfoText(data, &text)) {
        plan.stop = "the program carries no uninstall information: the uninstaller shows \"Could not read "
                    "uninstall information.\"";
    }
    InfoFile info;
    LoadInfoText(text.data(), text.size(), &info);
    if (fromExecutable) {
        // The launcher names itself as the installed uninstaller.
        char full[MAX_PATH];
        DWORD cch = GetFullPathNameA(files[0].c_str(), COUNTOF(full), full, NULL);
        uninstFile = cch > 0 && cch < COUNTOF(full) ? full : files[0];
    } else {
        char named[TW_CCH_UNINST_FILE];
        if (ReadUninstFile(&info, named, COUNTOF(named)) == INFO_OK)
            uninstFile = named;
    }

    if (plan.stop.empty() && PlanEntry(&info, uninstFile, &plan)) {
        Simulation sim;
        std::vector<DeletedTree> deleted;
        PlanFiles(&info, &sim, &plan);
        PlanGroups(&info, &sim, &plan);
        PlanRegistry(&info, &deleted, &plan);
        PlanValues(&info, &deleted, &plan);
        PlanEnd(uninstFile, &deleted, &sim, &plan);
        PlanRights(&plan);
    }
    FreeInfoFile(&info);
    std::string shown = json ? FormatJson(plan) : FormatText(plan);
    out.write(shown.data(), (std::streamsize)shown.size());
    return plan.stop.empty() ? TWPACK_OK : TWPACK_PROBLEMS;
}
