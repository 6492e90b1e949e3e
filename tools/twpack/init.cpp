// twpack init: the information file of a staged installation. Files are
// listed as they will be installed; directories after everything inside
// them, the installation folder last; registry exports are reduced to the
// topmost keys that are the program's own. Names are converted into the
// target code page and refused, by name, when that code page cannot hold
// them or the uninstaller could not read them whole. What is written is
// checked like any information file before it is written.

#include "init.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cli.h"
#include "codepage.h"
#include "info/ini_index.h"
#include "info/placeholders.h"
#include "info/protected_keys.h"
#include "info/value_entries.h"
#include "info_check.h"
#include "key_ownership.h"
#include "portable_paths.h"
#include "reg_export.h"

namespace fs = std::filesystem;

const char kInitUsage[] =
    "       twpack init --dir <folder> --as <installed path> [--dir ... --as ...]\n"
    "                   [--group <name>]... [--common-group] [--reg <file.reg>]...\n"
    "                   [--own-key <root\\key>]... [--key <UninstallKey>]\n"
    "                   [--codepage 1252|932] [-o <info.ini>]\n";

const char kInitHelp[] =
    "  init      Write the information file of a staged installation.\n"
    "              --dir <folder>    the files as they will be installed, and\n"
    "              --as <path>       the folder they are installed to: <app> for\n"
    "                                the installation folder, <programs>\\Sample App\n"
    "                                for shortcuts, or a full path (pairs,\n"
    "                                repeatable)\n"
    "              --group <name>    a Start-menu program group (repeatable)\n"
    "              --common-group    the groups are in the all-users Start menu\n"
    "              --reg <file.reg>  a registry export of the keys the installer\n"
    "                                creates (repeatable); each tree is listed by\n"
    "                                its topmost key that is the program's own,\n"
    "                                values in shared keys one by one, and PATH by\n"
    "                                its elements inside the installed folders\n"
    "              --own-key <key>   a key that is the program's own, such as\n"
    "                                HKEY_CURRENT_USER\\Software\\Vendor\\App\n"
    "                                (repeatable): with it, only the trees below\n"
    "                                these keys, and outside Software the trees\n"
    "                                that Windows does not claim, are listed\n"
    "              --key <name>      the installed-programs entry (UninstallKey);\n"
    "                                taken from the export when it holds exactly one\n"
    "              --codepage <cp>   1252 (Western) or 932 (Japanese): the code page\n"
    "                                of the systems you ship to\n"
    "              -o <info.ini>     where to write it (else standard output)\n"
    "            Side files that the uninstaller deletes with their file (.pif\n"
    "            beside a program, .gid and .fts beside a help file) are not listed.\n";

namespace {

const size_t kMaxValue = 259;      // a list value fills a path buffer
const size_t kMaxUninstallKey = 207;
const char kUninstallPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kWow6432Path[] = "SOFTWARE\\Wow6432Node\\";
const char* const kRootNames[] = { "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_LOCAL_MACHINE",
                                   "HKEY_USERS" };
const char* const kRootShortNames[] = { "HKCU", "HKCR", "HKLM", "HKU" };
const char* const kRegistrySections[] = { "Registry_CURRENT_USER", "Registry_CLASSES_ROOT",
                                          "Registry_LOCAL_MACHINE", "Registry_USERS" };
const char* const kValueSections[] = { TW_SECTION_VALUES_CURRENT_USER, TW_SECTION_VALUES_CLASSES_ROOT,
                                       TW_SECTION_VALUES_LOCAL_MACHINE, TW_SECTION_VALUES_USERS };

struct Options {
    std::vector<std::string> dirs, installedAs, groups, regFiles, ownKeys;   // UTF-8
    std::string key;
    bool haveKey = false;
    bool commonGroup = false;
    int codePage = 1252;
    std::string output;
    bool haveOutput = false;
};

// A registry tree to list: below root, in UTF-8 and in the code page.
struct KeyTree {
    std::string utf8;
    std::string text;
};

// A value-list entry: a value in a shared key, or a directory taken out of
// a PATH value.
struct ValueItem {
    std::string utf8;     // the entry, for the report
    std::string text;     // in the code page
    bool listElement = false;
};

struct Generated {
    std::vector<std::string> files;      // entries in the code page, in list order
    size_t fileCount = 0, directoryCount = 0;
    std::vector<std::string> groups;
    std::vector<KeyTree> trees[4];
    std::vector<ValueItem> values[4];
    std::string key;
    bool keyFromExport = false;
    std::vector<std::string> refusals;   // each names what was refused and why
    std::vector<std::string> notes;      // what was left out on purpose
    std::vector<std::string> warnings;   // what was written but may be wrong
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string s)
{
    for (char& c : s)
        c = LowerAscii(c);
    return s;
}

bool StartsWithIgnoringCase(const std::string& s, const std::string& prefix)
{
    return s.size() >= prefix.size() && LowerAscii(s.substr(0, prefix.size())) == LowerAscii(prefix);
}

// Converts a name for the information file, or records why it cannot be.
bool ToEntry(const std::string& utf8, const char* what, const Options& o, Generated* g, std::string* entry)
{
    if (!Utf8ToCodePage(utf8, o.codePage, entry)) {
        g->refusals.push_back("The " + std::string(what) + " '" + EscapedBytes(utf8) + "' cannot be written in "
                              "code page " + std::to_string(o.codePage) + ": it holds a character that the "
                              "code page does not have" + (o.codePage == 1252 ? " (Japanese names need "
                              "--codepage 932)." : ", or is no valid UTF-8."));
        return false;
    }
    // The reader trims blanks, ends a line at CR or LF, a name at NUL, and
    // drops one pair of quotes round a value: such a name would come back
    // as another one, such as a parent key.
    const std::string& e = *entry;
    bool changedByReading = e.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
                            (!e.empty() && (IsIniBlank((unsigned char)e.front()) ||
                                            IsIniBlank((unsigned char)e.back()))) ||
                            (e.size() >= 2 && (e.front() == '"' || e.front() == '\'') && e.back() == e.front());
    if (changedByReading) {
        g->refusals.push_back("The " + std::string(what) + " '" + EscapedBytes(utf8) + "' would not be read back "
                              "as it stands: it starts or ends with a blank or a quote, or holds a line end.");
        return false;
    }
    if (entry->size() > kMaxValue) {
        g->refusals.push_back("The " + std::string(what) + " '" + utf8 + "' is " + std::to_string(entry->size()) +
                              " bytes long in code page " + std::to_string(o.codePage) + "; the uninstaller "
                              "reads at most " + std::to_string(kMaxValue) + ", so it could not remove it.");
        return false;
    }
    return true;
}

// True when a file or folder name can exist on Windows.
bool IsWindowsName(const std::string& name)
{
    if (name.empty() || name.back() == '.' || name.back() == ' ')
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || std::string("<>:\"/\\|?*").find((char)c) != std::string::npos)
            return false;
    return true;
}

// True for a side file that the uninstaller deletes together with a listed
// file of the same folder and stem (a program's .pif, a help file's .gid and
// .fts); *owner is that file's name. names are the folder's files.
bool IsSideFileOf(const std::string& name, const std::vector<std::string>& names, std::string* owner)
{
    std::string lower = LowerAscii(name);
    if (lower.size() < 5)
        return false;
    std::string stem = lower.substr(0, lower.size() - 4), ext = lower.substr(lower.size() - 4);
    std::vector<std::string> owners;
    if (ext == ".pif")
        owners = { stem + ".exe", stem + ".com" };
    else if (ext == ".gid" || ext == ".fts")
        owners = { stem + ".hlp" };
    for (const std::string& candidate : owners) {
        for (const std::string& n : names) {
            if (LowerAscii(n) == candidate) {
                *owner = n;
                return true;
            }
        }
    }
    return false;
}

// Lists one folder of the staged tree below `installed` (UTF-8, no trailing
// backslash): its files, then each subfolder in full, then the folder.
void AddFolder(const fs::path& folder, const std::string& installed, const Options& o, Generated* g)
{
    std::vector<std::pair<std::string, bool>> children;   // name, is a folder
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().u8string();
        fs::file_status status = it->status(ec);
        if (ec)
            break;
        if (fs::is_symlink(it->symlink_status(ec)) && fs::is_directory(status)) {
            g->refusals.push_back("'" + it->path().u8string() + "' is a link to a folder; stage the folder "
                                  "itself so that its files can be listed.");
            continue;
        }
        if (!fs::is_directory(status) && !fs::is_regular_file(status)) {
            g->refusals.push_back("'" + it->path().u8string() + "' is neither a file nor a folder.");
            continue;
        }
        children.emplace_back(name, fs::is_directory(status));
    }
    if (ec) {
        g->refusals.push_back("The folder '" + folder.u8string() + "' cannot be read: " + ec.message() + ".");
        return;
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        std::string la = LowerAscii(a.first), lb = LowerAscii(b.first);
        return la != lb ? la < lb : a.first < b.first;
    });
    std::vector<std::string> fileNames;
    for (const auto& child : children)
        if (!child.second)
            fileNames.push_back(child.first);

    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& child : children) {
            if (child.second != (pass == 1))
                continue;
            std::string path = installed + "\\" + child.first;
            if (!IsWindowsName(child.first)) {
                g->refusals.push_back("'" + EscapedBytes(path) + "' is no valid Windows file name (it holds one of "
                                      "< > : \" / \\ | ? * or a control character, or ends in a dot or a blank).");
                continue;
            }
            if (child.second) {
                AddFolder(folder / fs::u8path(child.first), path, o, g);
                continue;
            }
            std::string owner;
            if (IsSideFileOf(child.first, fileNames, &owner)) {
                g->notes.push_back(path + " (deleted with " + owner + ")");
                continue;
            }
            std::string entry;
            if (ToEntry(path, "path", o, g, &entry)) {
                g->files.push_back(entry);
                ++g->fileCount;
            }
        }
    }
    std::string entry;
    if (ToEntry(installed + "\\", "path", o, g, &entry)) {
        g->files.push_back(entry);
        ++g->directoryCount;
    }
}

// An --as folder as it is compared: backslashes, no final one.
std::string InstalledFolder(std::string installed)
{
    std::replace(installed.begin(), installed.end(), '/', '\\');
    while (installed.size() > 1 && installed.back() == '\\')
        installed.pop_back();
    return installed;
}

void AddInstalledTree(const std::string& dir, const std::string& installed, const Options& o, Generated* g)
{
    bool drive = installed.size() >= 3 && ((installed[0] | 0x20) >= 'a' && (installed[0] | 0x20) <= 'z') &&
                 installed[1] == ':' && installed[2] == '\\';
    bool unc = installed.size() >= 3 && installed.compare(0, 2, "\\\\") == 0 && installed[2] != '\\';
    int placeholder = FindFolderPlaceholder(installed.c_str(), NULL);
    if (placeholder == PLACEHOLDER_UNKNOWN || (placeholder == PLACEHOLDER_NONE && !drive && !unc)) {
        g->refusals.push_back("--as '" + installed + "' is neither a full Windows path nor a folder placeholder "
                              "such as <app> (the installation folder) or <programs>\\Sample App; give the "
                              "folder the files are installed to.");
        return;
    }
    PortableForm form = placeholder == PLACEHOLDER_NONE ? FindPortableForm(installed) : PortableForm();
    if (!form.profileUser.empty() || !form.path.empty()) {
        std::string where = form.profileUser.empty()
            ? "lies in a folder that is elsewhere on other machines"
            : "lies in the profile of the user '" + form.profileUser + "' of this machine: on the user's "
              "machine, and for any other user, the entries name nothing";
        g->warnings.push_back("--as '" + installed + "' " + where + ". " +
                              (form.path.empty() ? std::string("Give it with a folder placeholder such as <appdata>")
                                                 : "Give it as --as \"" + form.path + "\"") +
                              ", which the uninstaller resolves on the user's machine.");
    }
    std::error_code ec;
    if (!fs::is_directory(fs::u8path(dir), ec)) {
        g->refusals.push_back("--dir '" + dir + "' is not a folder.");
        return;
    }
    AddFolder(fs::u8path(dir), installed, o, g);
}

// The pairs of --dir and --as, innermost --as first, each tree followed by
// the directories between its folder and the next --as that holds it, so
// that the outer folder's turn comes after everything inside it. A
// directory listed twice keeps its last place, a file its first.
void AddInstalledTrees(const Options& o, Generated* g)
{
    std::vector<size_t> order;
    std::vector<std::string> folders;
    for (size_t i = 0; i < o.dirs.size(); ++i) {
        order.push_back(i);
        folders.push_back(InstalledFolder(o.installedAs[i]));
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::count(folders[a].begin(), folders[a].end(), '\\') >
               std::count(folders[b].begin(), folders[b].end(), '\\');
    });
    for (size_t i : order) {
        size_t before = g->refusals.size();
        AddInstalledTree(o.dirs[i], folders[i], o, g);
        if (g->refusals.size() != before)
            continue;
        std::string outer;
        for (const std::string& f : folders)
            if (f.size() > outer.size() && StartsWithIgnoringCase(folders[i], f + "\\"))
                outer = f;
        if (outer.empty())
            continue;
        for (std::string between = folders[i]; (between = between.substr(0, between.rfind('\\'))).size() > outer.size();) {
            std::string entry;
            if (ToEntry(between + "\\", "path", o, g, &entry)) {
                g->files.push_back(entry);
                ++g->directoryCount;
            }
        }
    }
    std::vector<std::string> kept;
    for (size_t i = 0; i < g->files.size(); ++i) {
        const std::string& e = g->files[i];
        bool directory = e.back() == '\\';
        bool repeated = false;
        size_t from = directory ? i + 1 : 0, to = directory ? g->files.size() : i;
        for (size_t j = from; j < to && !repeated; ++j)
            repeated = LowerAscii(g->files[j]) == LowerAscii(e);
        if (!repeated)
            kept.push_back(e);
        else
            --(directory ? g->directoryCount : g->fileCount);
    }
    g->files = kept;
}

void AddGroupName(const std::string& name, std::vector<std::string>* names)
{
    for (const std::string& n : *names)
        if (LowerAscii(n) == LowerAscii(name))
            return;
    names->push_back(name);
}

// The subfolders of a group whose shortcuts are staged (an --as of
// <programs>\<group>, or <commonprograms>\<group> for the all-users Start
// menu): each one a group of its own, since the group goes only once they
// have gone. Shortcuts staged for the other Start menu are refused.
void AddStagedSubgroups(const std::string& group, const Options& o, Generated* g, std::vector<std::string>* names)
{
    for (size_t i = 0; i < o.dirs.size(); ++i) {
        std::string installed = InstalledFolder(o.installedAs[i]);
        PortableForm form = FindPortableForm(installed);
        if (!form.path.empty())
            installed = form.path;
        for (int common = 0; common < 2; ++common) {
            std::string folder = std::string(common ? "<commonprograms>" : "<programs>") + "\\" + group;
            if (LowerAscii(installed) != LowerAscii(folder))
                continue;
            if (common != (o.commonGroup ? 1 : 0)) {
                g->refusals.push_back("The shortcuts of the group '" + group + "' are installed to " + folder +
                                      ", but the groups are listed for the " +
                                      (o.commonGroup ? "all-users" : "user's") + " Start menu; " +
                                      (common ? "add" : "leave out") + " --common-group.");
                continue;
            }
            std::error_code ec;
            for (fs::recursive_directory_iterator it(fs::u8path(o.dirs[i]), ec), end; !ec && it != end;
                 it.increment(ec)) {
                if (!it->is_directory(ec))
                    continue;
                std::string below = it->path().lexically_relative(fs::u8path(o.dirs[i])).u8string();
                std::replace(below.begin(), below.end(), '/', '\\');
                AddGroupName(group + "\\" + below, names);
            }
        }
    }
}

void AddGroups(const Options& o, Generated* g)
{
    std::vector<std::string> names;
    for (std::string name : o.groups) {
        std::replace(name.begin(), name.end(), '/', '\\');
        bool valid = !name.empty() && name[0] != '\\' && name.back() != '\\' && name.find(':') == std::string::npos;
        for (size_t start = 0; valid && start <= name.size();) {
            size_t cut = name.find('\\', start);
            std::string part = name.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
            valid = IsWindowsName(part);
            start = cut == std::string::npos ? name.size() + 1 : cut + 1;
        }
        if (!valid) {
            g->refusals.push_back("The group '" + EscapedBytes(name) + "' is no folder name inside the Programs "
                                  "folder; give names such as \"Sample App\" or \"Sample Vendor\\Sample App\".");
            continue;
        }
        AddGroupName(name, &names);
        AddStagedSubgroups(name, o, g, &names);
    }
    // Groups, too, go only when empty and in list order: inner ones first.
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::count(a.begin(), a.end(), '\\') > std::count(b.begin(), b.end(), '\\');
    });
    for (const std::string& name : names) {
        std::string entry;
        if (ToEntry(name, "group", o, g, &entry))
            g->groups.push_back(entry);
    }
}

int RootIndex(const std::string& name)
{
    for (int i = 0; i < 4; ++i)
        if (LowerAscii(name) == LowerAscii(kRootNames[i]) || LowerAscii(name) == LowerAscii(kRootShortNames[i]))
            return i;
    return -1;
}

void AddNote(Generated* g, const std::string& note)
{
    if (std::find(g->notes.begin(), g->notes.end(), note) == g->notes.end())
        g->notes.push_back(note);
}

// True when the key path's last part is "Environment": the key whose
// values are every program's environment, never the program's own tree.
bool IsEnvironmentKey(const std::string& path)
{
    size_t cut = path.rfind('\\');
    return LowerAscii(cut == std::string::npos ? path : path.substr(cut + 1)) == "environment";
}

// A folder path for comparison: backslashes, no final one, lower case.
std::string FolderKey(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 1 && path.back() == '\\')
        path.pop_back();
    return LowerAscii(path);
}

// True when the PATH element is an installed folder or lies inside one.
bool IsInstalledFolder(const std::string& element, const Options& o)
{
    std::string e = FolderKey(element);
    for (const std::string& as : o.installedAs) {
        std::string folder = FolderKey(as);
        if (e == folder || StartsWithIgnoringCase(e, folder + "\\"))
            return true;
    }
    return false;
}

void AddValueItem(int root, const std::string& entry, bool listElement, const Options& o, Generated* g)
{
    for (const ValueItem& v : g->values[root])
        if (LowerAscii(v.utf8) == LowerAscii(entry))
            return;
    ValueItem item;
    item.utf8 = entry;
    item.listElement = listElement;
    if (ToEntry(entry, "registry value entry", o, g, &item.text))
        g->values[root].push_back(item);
}

// The values that an export sets in a key that is not the program's own:
// each becomes an entry of its own, and a PATH value in an Environment key
// gives its elements that lie in the installed folders. True when any
// entry came of them.
bool AddSharedKeyValues(int root, const std::string& path, const RegExportKey& k, const Options& o, Generated* g)
{
    bool listed = false;
    for (const RegExportValue& v : k.values) {
        std::string key = path + "\\\\\"" + v.name + "\"";
        if (IsEnvironmentKey(path) && LowerAscii(v.name) == "path" && (v.type == 1 || v.type == 2)) {
            bool any = false;
            for (size_t at = 0; at <= v.text.size();) {
                size_t cut = v.text.find(';', at);
                std::string element = v.text.substr(at, cut == std::string::npos ? std::string::npos : cut - at);
                at = cut == std::string::npos ? v.text.size() + 1 : cut + 1;
                if (!element.empty() && IsInstalledFolder(element, o)) {
                    AddValueItem(root, key + ";" + element, true, o, g);
                    any = true;
                }
            }
            if (!any)
                AddNote(g, std::string(kRootNames[root]) + "\\" + key + " (no element of it lies in an installed "
                           "folder: nothing of it is the program's)");
            listed = listed || any;
            continue;
        }
        AddValueItem(root, key, false, o, g);
        listed = true;
    }
    return listed;
}

// One key of the exports as init judges it.
struct ExportedKey {
    int root;
    std::string path;        // UTF-8, below the root
    std::string where;       // "file:line: "
    const RegExportKey* key;
};

// A user of the staging machine (S-1-5-21-...), whom no user's machine has.
bool IsUserSid(const std::string& name)
{
    return StartsWithIgnoringCase(name, "S-1-5-21-") && name.find('\\') == std::string::npos;
}

// Keys below HKEY_USERS\<SID> of a user of the staging machine: that user is
// the one who installs, so on the user's machine the keys are below
// HKEY_CURRENT_USER (and <SID>_Classes is its Software\Classes). A service
// account's SID is refused. False when the key is refused.
bool ReadUsersKey(ExportedKey* k, std::vector<std::string>* sids, Generated* g)
{
    size_t cut = k->path.find('\\');
    std::string user = k->path.substr(0, cut), rest = cut == std::string::npos ? "" : k->path.substr(cut + 1);
    bool classes = user.size() > 8 && LowerAscii(user.substr(user.size() - 8)) == "_classes";
    std::string sid = classes ? user.substr(0, user.size() - 8) : user;
    if (!StartsWithIgnoringCase(sid, "S-1-"))
        return true;
    if (!IsUserSid(sid)) {
        g->refusals.push_back(k->where + "the key HKEY_USERS\\" + k->path + " lies in the registry of an account of "
                              "this machine (" + sid + "), not of the user who installs; leave it out of the export.");
        return false;
    }
    bool known = false;
    for (const std::string& s : *sids)
        known = known || LowerAscii(s) == LowerAscii(sid);
    if (!known)
        sids->push_back(sid);
    AddNote(g, "HKEY_USERS\\" + user + " (the user who made the export, whom the user's machine does not have: "
               "its keys are listed below HKEY_CURRENT_USER, the user who uninstalls)");
    k->root = KEY_ROOT_CURRENT_USER;
    k->path = classes ? "Software\\Classes" + (rest.empty() ? "" : "\\" + rest) : rest;
    return true;
}

// The --own-key options: a root's name and a key path below it that the
// uninstaller may delete. False (with the reason) for anything else.
bool ReadOwnKeys(const Options& o, std::vector<std::pair<int, std::string>>* own, std::string* problem)
{
    for (const std::string& named : o.ownKeys) {
        std::string path = named.substr(named.find('\\') == std::string::npos ? named.size() : named.find('\\') + 1);
        int root = RootIndex(named.substr(0, named.find('\\')));
        while (!path.empty() && path.back() == '\\')
            path.pop_back();
        if (root < 0 || ClassifyKeyPath((KeyRoot)root, path.c_str(), nullptr) != KEY_PATH_DELETABLE) {
            *problem = "--own-key '" + named + "' names no key that the uninstaller may delete: give a root and "
                       "the program's own key below it, such as HKEY_CURRENT_USER\\Software\\Sample Vendor\\Sample App.";
            return false;
        }
        own->emplace_back(root, path);
    }
    return true;
}

// Reduces the keys of the exports to the topmost trees that are the
// program's own; finds the installed-programs entry on the way. A tree is
// the program's when it lies below an --own-key, or when the exports create
// it whole and neither the uninstaller's guard nor the table of Windows'
// and well-known keys claims it; without --own-key, exports that hold the
// keys of several makers (or all of a key that holds many programs' keys)
// are refused. Everything left out is named in the report.
bool AddRegistry(const Options& o, Generated* g, std::ostream& err)
{
    std::vector<std::pair<int, std::string>> own;
    std::string problem;
    if (!ReadOwnKeys(o, &own, &problem)) {
        err << "twpack init: " << Utf8ForConsole(problem) << "\n";
        return false;
    }
    std::vector<std::vector<RegExportKey>> files(o.regFiles.size());
    std::vector<ExportedKey> exported;
    std::vector<ExportedKey> containers;   // keys exported with everything below them
    std::vector<std::string> sids;
    for (size_t f = 0; f < o.regFiles.size(); ++f) {
        const std::string& file = o.regFiles[f];
        std::string bytes;
        if (!ReadWholeFile(file, &bytes, &problem)) {
            err << "twpack init: cannot read the registry export '" << file << "': " << problem << ".\n";
            return false;
        }
        if (!ReadRegExport(bytes, o.codePage, &files[f], &problem)) {
            err << "twpack init: '" << file << "' is no registry export that twpack can read: " << problem << ".\n";
            return false;
        }
        for (const RegExportKey& k : files[f]) {
            ExportedKey e{ RootIndex(k.root), k.path, file + ":" + std::to_string(k.line) + ": ", &k };
            if (e.root < 0) {
                g->refusals.push_back(e.where + "the key " + k.root + "\\" + k.path + " lies below a root the "
                                      "uninstaller does not remove keys from (only HKEY_CURRENT_USER, "
                                      "HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE and HKEY_USERS).");
                continue;
            }
            while (!e.path.empty() && e.path.back() == '\\')
                e.path.pop_back();
            // A 32-bit installer's keys as a 64-bit system exports them: the
            // uninstaller, a 32-bit program, finds them without Wow6432Node.
            if (e.root == KEY_ROOT_LOCAL_MACHINE && StartsWithIgnoringCase(e.path, kWow6432Path))
                e.path = "SOFTWARE\\" + e.path.substr(sizeof kWow6432Path - 1);
            if (e.root == KEY_ROOT_USERS && !ReadUsersKey(&e, &sids, g))
                continue;
            (IsContainerKey(e.root, e.path) ? containers : exported).push_back(e);
        }
    }
    if (sids.size() > 1)
        g->refusals.push_back("The exports hold the keys of " + std::to_string(sids.size()) + " users below "
                              "HKEY_USERS; export those of the user who installs, from HKEY_CURRENT_USER.");

    // Whether a key was exported with all of a key that holds many makers'
    // or programs' keys; *container then names that key.
    auto exportedWhole = [&](const ExportedKey& e, std::string* container) {
        for (const ExportedKey& c : containers) {
            if (c.root == e.root && IsAtOrBelow(e.path, c.path)) {
                *container = std::string(kRootNames[c.root]) + (c.path.empty() ? "" : "\\" + c.path);
                return true;
            }
        }
        return false;
    };
    auto isOwn = [&](const ExportedKey& e) {
        for (const auto& k : own)
            if (k.first == e.root && IsAtOrBelow(e.path, k.second))
                return true;
        return false;
    };
    std::vector<std::string> ownMakers;
    for (const auto& k : own)
        ownMakers.push_back(LowerAscii(MakerOf(k.first, k.second)));

    std::vector<KeyTree> candidates[4];
    std::vector<std::string> entries;    // installed-programs entries in the exports
    std::vector<std::string> makers;     // the makers of the trees listed without --own-key
    std::vector<std::string> wholes;     // a key exported whole that gives a tree of no maker
    for (const ExportedKey& e : exported) {
        const std::string& path = e.path;
        int root = e.root;
        std::string full = std::string(kRootNames[root]) + "\\" + path, container;
        bool whole = exportedWhole(e, &container);
        if (root == KEY_ROOT_LOCAL_MACHINE && StartsWithIgnoringCase(path, kUninstallPath)) {
            std::string entry = path.substr(sizeof kUninstallPath - 1);
            entry = entry.substr(0, entry.find('\\'));
            bool known = false;
            for (const std::string& n : entries)
                known = known || LowerAscii(n) == LowerAscii(entry);
            // Every program's entry is in an export of all of SOFTWARE: only
            // the one --key names counts there.
            if (!known && !(whole && o.haveKey && LowerAscii(entry) != LowerAscii(o.key)))
                entries.push_back(entry);
            continue;
        }
        std::string text;
        if (!ToEntry(path, "registry key", o, g, &text))
            continue;
        KeyPathVerdict verdict =
            ClassifyKeyPath((KeyRoot)root, text.c_str(), o.codePage == 932 ? IsShiftJisLeadByte : nullptr);
        // An Environment key holds every program's environment: what the
        // program sets there goes value by value, never as a tree.
        bool shared = verdict == KEY_PATH_SHARED || verdict == KEY_PATH_WHOLE_HIVE ||
                      (verdict == KEY_PATH_DELETABLE && IsEnvironmentKey(path));
        bool mine = isOwn(e);
        std::string claim = mine ? std::string() : ClaimedKey(root, path);
        std::string maker = MakerOf(root, path);
        if (verdict == KEY_PATH_MALFORMED) {
            g->refusals.push_back(e.where + "the key path '" + path + "' has an empty, '.' or '..' part; the "
                                  "uninstaller refuses to delete such a path.");
        } else if (shared && whole && !own.empty()) {
            // Every program's values are in an export of all of the key; with
            // --own-key, only the keys named are the program's.
            AddNote(g, full + " (shared; its values are every program's in the export of all of " + container + ")");
        } else if (shared && !path.empty() && AddSharedKeyValues(root, path, *e.key, o, g)) {
            continue;
        } else if (verdict != KEY_PATH_DELETABLE || shared) {
            AddNote(g, full + (verdict == KEY_PATH_WHOLE_HIVE ? " (a user's whole registry)" : " (shared)"));
        } else if (!claim.empty()) {
            AddNote(g, full + " (" + claim + ")");
        } else if (!mine && !own.empty() &&
                   (whole || (!maker.empty() &&
                              std::find(ownMakers.begin(), ownMakers.end(), LowerAscii(maker)) == ownMakers.end()))) {
            AddNote(g, full + " (not below an --own-key" + (whole ? ", in the export of all of " + container : "") + ")");
        } else {
            bool seen = false;
            for (const KeyTree& t : candidates[root])
                seen = seen || LowerAscii(t.utf8) == LowerAscii(path);
            if (seen)
                continue;
            candidates[root].push_back(KeyTree{ path, text });
            if (!mine && !maker.empty() &&
                std::find(makers.begin(), makers.end(), maker) == makers.end())
                makers.push_back(maker);
            // Only a maker's key tells whose it is among every program's.
            if (!mine && whole && maker.empty() && wholes.empty())
                wholes.push_back(container + ", every program's keys below it (such as " + full + ")");
        }
    }
    for (const ExportedKey& c : containers)
        AddNote(g, std::string(kRootNames[c.root]) + (c.path.empty() ? "" : "\\" + c.path) +
                       " (holds the keys of many programs)");

    // Without --own-key, init cannot tell which of several makers' keys, or
    // which of the many keys below a key exported whole, are the program's.
    bool several = false;
    for (size_t i = 0; i < makers.size() && !several; ++i)
        for (size_t j = i + 1; j < makers.size() && !several; ++j)
            several = LowerAscii(makers[i]) != LowerAscii(makers[j]);
    if (own.empty() && (several || !wholes.empty())) {
        std::string names;
        for (const std::string& m : makers)
            names += (names.empty() ? "" : ", ") + m;
        g->refusals.push_back(
            (several ? "The exports hold the keys of several makers below Software (" + names + ")"
                     : "The exports hold all of " + wholes[0]) +
            ": twpack init cannot tell which are this program's. Name each of the program's own keys with "
            "--own-key (repeatable), such as --own-key \"HKEY_CURRENT_USER\\Software\\Sample Vendor\\Sample App\"; "
            "keys outside them are left out.");
    }

    if (o.haveKey) {
        g->key = o.key;
        for (const std::string& e : entries) {
            if (LowerAscii(e) != LowerAscii(o.key))
                g->refusals.push_back("The exports create the installed-programs entry '" + e + "', but --key names '" +
                                      o.key + "'; the uninstaller removes only the entry that UninstallKey names.");
        }
    } else if (entries.size() == 1) {
        g->key = entries[0];
        g->keyFromExport = true;
    } else {
        g->refusals.push_back(entries.empty()
            ? "Say which installed-programs entry the uninstaller removes: --key <UninstallKey>."
            : "The exports hold " + std::to_string(entries.size()) + " installed-programs entries; say which one "
              "belongs to this program with --key <UninstallKey>.");
        return true;
    }
    // The uninstaller removes its own entry by itself, at the very end.
    if (!entries.empty())
        AddNote(g, "HKEY_LOCAL_MACHINE\\" + std::string(kUninstallPath) + g->key +
                       " (removed by the uninstaller itself at the end)");
    for (int root = 0; root < 4; ++root) {
        for (const KeyTree& t : candidates[root]) {
            bool inside = false;
            for (const KeyTree& outer : candidates[root])
                inside = inside || StartsWithIgnoringCase(t.utf8, outer.utf8 + "\\");
            if (!inside)
                g->trees[root].push_back(t);
        }
    }
    return true;
}

bool ParseInitArguments(const std::vector<std::string>& args, Options* o, std::ostream& err)
{
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool takesValue = a == "--dir" || a == "--as" || a == "--group" || a == "--reg" || a == "--key" ||
                          a == "--own-key" || a == "--codepage" || a == "-o" || a == "--output";
        if (takesValue && i + 1 >= args.size()) {
            err << "twpack init: '" << a << "' needs a value after it.\n";
            return false;
        }
        if (a == "--common-group") {
            o->commonGroup = true;
            continue;
        }
        if (!takesValue) {
            err << "twpack init: unknown " << (a.size() > 1 && a[0] == '-' ? "option" : "word") << " '" << a
                << "'.\nusage:\n" << kInitUsage;
            return false;
        }
        std::string value = args[++i];
        if (a == "--dir")
            o->dirs.push_back(ArgumentToUtf8(value));   // read through UTF-8 paths
        else if (a == "--as")
            o->installedAs.push_back(ArgumentToUtf8(value));
        else if (a == "--group")
            o->groups.push_back(ArgumentToUtf8(value));
        else if (a == "--reg")
            o->regFiles.push_back(value);
        else if (a == "--own-key")
            o->ownKeys.push_back(ArgumentToUtf8(value));
        else if (a == "--key") {
            o->key = ArgumentToUtf8(value);
            o->haveKey = true;
        } else if (a == "--codepage") {
            if (value != "1252" && value != "932") {
                err << "twpack init: --codepage is 1252 (Western) or 932 (Japanese), not '" << value << "'.\n";
                return false;
            }
            o->codePage = std::stoi(value);
        } else {
            o->output = value;
            o->haveOutput = true;
        }
    }
    if (o->dirs.size() != o->installedAs.size()) {
        err << "twpack init: give each --dir its --as: the folder its files are installed to.\n";
        return false;
    }
    if (o->dirs.empty() && o->regFiles.empty() && o->groups.empty()) {
        err << "twpack init: nothing to list; give --dir and --as, --group or --reg.\nusage:\n" << kInitUsage;
        return false;
    }
    return true;
}

// A comment line's text: the name converted when the code page holds it.
std::string CommentText(const std::string& utf8, int codePage)
{
    std::string text;
    return Utf8ToCodePage(utf8, codePage, &text) ? text : EscapedBytes(utf8);
}

std::string ComposeText(const Options& o, const Generated& g, const std::string& key)
{
    std::string cp = std::to_string(o.codePage);
    std::string t = "; Uninstall information written by twpack init for code page " + cp + ".\r\n";
    for (size_t i = 0; i < o.dirs.size(); ++i)
        t += ";   files: " + CommentText(o.dirs[i], o.codePage) + " as " +
             CommentText(o.installedAs[i], o.codePage) + "\r\n";
    for (const std::string& r : o.regFiles)
        t += ";   registry: " + CommentText(r, o.codePage) + "\r\n";
    t += "; Write it again with twpack init when the installation changes.\r\n";
    t += "[Options]\r\nUninstallKey=" + key + "\r\n";
    if (!g.files.empty()) {
        t += "\r\n[Files]\r\n";
        for (size_t i = 0; i < g.files.size(); ++i)
            t += std::to_string(i) + "=" + g.files[i] + "\r\n";
    }
    if (!g.groups.empty()) {
        t += "\r\n[Group]\r\nCommonGroup=" + std::string(o.commonGroup ? "1" : "0") + "\r\n";
        for (size_t i = 0; i < g.groups.size(); ++i)
            t += std::to_string(i) + "=" + g.groups[i] + "\r\n";
    }
    for (int root = 0; root < 4; ++root) {
        if (g.trees[root].empty())
            continue;
        t += "\r\n[" + std::string(kRegistrySections[root]) + "]\r\n";
        for (size_t i = 0; i < g.trees[root].size(); ++i)
            t += std::to_string(i) + "=" + g.trees[root][i].text + "\r\n";
    }
    for (int root = 0; root < 4; ++root) {
        if (g.values[root].empty())
            continue;
        t += "\r\n[" + std::string(kValueSections[root]) + "]\r\n";
        for (size_t i = 0; i < g.values[root].size(); ++i)
            t += std::to_string(i) + "=" + g.values[root][i].text + "\r\n";
    }
    return t;
}

std::string Plural(size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

int RunInit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Options o;
    if (!ParseInitArguments(args, &o, err))
        return TWPACK_FAILED;
    Generated g;
    AddInstalledTrees(o, &g);
    AddGroups(o, &g);
    if (!AddRegistry(o, &g, err))
        return TWPACK_FAILED;
    std::string key;
    if (!g.key.empty() && ToEntry(g.key, "UninstallKey", o, &g, &key) &&
        (key.size() > kMaxUninstallKey || key.find('\\') != std::string::npos)) {
        g.refusals.push_back("UninstallKey '" + g.key + "' must be one name of at most " +
                             std::to_string(kMaxUninstallKey) + " bytes, without a backslash.");
    }
    if (!g.refusals.empty()) {
        for (const std::string& r : g.refusals)
            err << "twpack init: " << Utf8ForConsole(r) << "\n";
        err << "twpack init: nothing written (" << Plural(g.refusals.size(), "problem", "problems") << ").\n";
        return TWPACK_PROBLEMS;
    }

    std::string text = ComposeText(o, g, key);
    std::string name = o.haveOutput ? o.output : "<standard output>";
    std::vector<Finding> findings = CheckInfoText(text);
    size_t errors = CountFindings(findings, FindingLevel::Error);
    if (errors > 0) {
        err << CodePageForConsole(FormatFindingsText(findings, name), o.codePage)
            << "twpack init: nothing written: the check finds errors in what init would write (above).\n";
        return TWPACK_PROBLEMS;
    }
    std::string problem;
    if (o.haveOutput) {
        if (!WriteWholeFile(o.output, text, &problem)) {
            err << "twpack init: cannot write '" << o.output << "': " << problem << ".\n";
            return TWPACK_FAILED;
        }
    } else {
        out.write(text.data(), (std::streamsize)text.size());
    }

    // The report goes beside the information, never into it.
    std::ostream& report = o.haveOutput ? out : err;
    size_t trees = 0, values = 0;
    for (const std::vector<KeyTree>& t : g.trees)
        trees += t.size();
    for (const std::vector<ValueItem>& v : g.values)
        values += v.size();
    report << "twpack init: wrote " << name << " (code page " << o.codePage << "): "
           << Plural(g.fileCount, "file", "files") << ", " << Plural(g.directoryCount, "directory", "directories")
           << ", " << Plural(g.groups.size(), "program group", "program groups") << ", "
           << Plural(trees, "registry tree", "registry trees")
           << (values ? ", " + Plural(values, "registry value entry", "registry value entries") : std::string())
           << ".\n";
    if (g.keyFromExport)
        report << "  UninstallKey=" << Utf8ForConsole(g.key) << ": the installed-programs entry that the export creates\n";
    for (int element = 0; element < 2; ++element) {
        bool first = true;
        for (int root = 0; root < 4; ++root) {
            for (const ValueItem& v : g.values[root]) {
                if (v.listElement != (element == 1))
                    continue;
                if (first)
                    report << (element ? "  directories taken out of PATH, the rest of it stays:\n"
                                       : "  values in shared keys, deleted one by one (the keys stay):\n");
                first = false;
                report << "    " << kRootNames[root] << "\\" << Utf8ForConsole(v.utf8) << "\n";
            }
        }
    }
    for (const std::string& w : g.warnings)
        report << "twpack init: warning: " << Utf8ForConsole(w) << "\n";
    if (!g.notes.empty()) {
        report << "  not listed on purpose:\n";
        for (const std::string& n : g.notes)
            report << "    " << Utf8ForConsole(n) << "\n";
    }
    size_t warnings = CountFindings(findings, FindingLevel::Warning);
    report << "twpack check: no errors" << (warnings ? ", " + Plural(warnings, "warning", "warnings") + ":" : ".")
           << "\n";
    if (warnings)
        report << CodePageForConsole(FormatFindingsText(findings, name), o.codePage);
    return TWPACK_OK;
}
