// The checks of an uninstall information text. Every list is read the way
// the uninstaller reads it (keys 0, 1, 2, ... until the first empty value,
// through the portable INI reader), and each explanation says what the
// uninstaller will do with the entry as written.

#include "info_check.h"

#include <algorithm>
#include <set>
#include <stdio.h>

#include "info/placeholders.h"
#include "info/protected_groups.h"
#include "info/protected_keys.h"
#include "info/value_entries.h"
#include "ini_reader.h"
#include "portable_paths.h"

namespace {

// The longest value the uninstaller reads from a list (a path buffer of 260
// bytes with its terminator).
const size_t kMaxValue = 259;
// The installed-programs entry is opened as this path + UninstallKey in a
// path buffer, which leaves 259 - 52 characters for the key.
const char kUninstallPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const size_t kMaxUninstallKey = kMaxValue - (sizeof(kUninstallPath) - 1);

struct ListSection {
    const char* name;
    const char* what;  // what one entry names, for the messages
};
const ListSection kFiles = { "Files", "file or directory" };
const ListSection kGroup = { "Group", "program group" };
const ListSection kRegistry[] = {
    { "Registry_CURRENT_USER", "registry key" },
    { "Registry_CLASSES_ROOT", "registry key" },
    { "Registry_LOCAL_MACHINE", "registry key" },
    { "Registry_USERS", "registry key" },
};
const ListSection kValueLists[] = {
    { TW_SECTION_VALUES_CURRENT_USER, "registry value" },
    { TW_SECTION_VALUES_CLASSES_ROOT, "registry value" },
    { TW_SECTION_VALUES_LOCAL_MACHINE, "registry value" },
    { TW_SECTION_VALUES_USERS, "registry value" },
};
const char* const kRootNames[] = { "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT",
                                   "HKEY_LOCAL_MACHINE", "HKEY_USERS" };

const char* const kKnownSections[] = { "Options", "Files", "Group", "Registry_CURRENT_USER",
                                       "Registry_CLASSES_ROOT", "Registry_LOCAL_MACHINE",
                                       "Registry_USERS", TW_SECTION_VALUES_CURRENT_USER,
                                       TW_SECTION_VALUES_CLASSES_ROOT, TW_SECTION_VALUES_LOCAL_MACHINE,
                                       TW_SECTION_VALUES_USERS, "General" };

// One entry of a list as the uninstaller will see it.
struct Entry {
    unsigned index;
    std::string value;    // quotes removed, as read
    std::string raw;      // as written after "="
    int line;
};

class Checker {
public:
    explicit Checker(const std::string& text) : ini_(ParseIniText(text)) {}
    std::vector<Finding> Run(const std::string& text);

private:
    void Add(FindingLevel level, const std::string& section, const std::string& key, int line,
             const std::string& message)
    {
        Finding f;
        f.level = level;
        f.section = section;
        f.key = key;
        f.line = line;
        f.message = message;
        findings_.push_back(f);
    }
    void CheckSections();
    void CheckKeys(const IniSection& section, const std::string& canonical);
    void CheckOptions();
    void CheckCommonGroup();
    std::vector<Entry> ReadList(const char* section);
    void CheckCommonEntry(const ListSection& list, const Entry& e);
    void CheckDuplicateValues(const ListSection& list, const std::vector<Entry>& entries);
    void CheckFiles();
    void CheckGroups();
    void CheckRegistry(size_t root);
    void CheckValues(size_t root);
    void CheckNesting(const ListSection& list, const std::vector<Entry>& entries,
                      const std::vector<bool>& isFolder, const std::vector<std::string>& forms);
    bool CheckPlaceholder(const ListSection& list, const Entry& e, size_t* cchPlaceholder);
    void CheckPortable(const std::vector<Entry>& entries);
    void CheckDirectoriesInGroups();

    IniText ini_;
    std::vector<Finding> findings_;
    std::vector<Entry> trees_[4];   // the key-tree entries, for the value lists
    std::vector<Entry> files_, groups_;   // as CheckFiles and CheckGroups read them
};

std::string Quoted(const std::string& s)
{
    // Control characters would garble a terminal; show them as \xNN.
    std::string out = "'";
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out + "'";
}

std::string LineRef(int line) { return "line " + std::to_string(line); }

bool IsCanonicalNumber(const std::string& name, unsigned* value)
{
    if (name.empty() || name.size() > 9 || (name.size() > 1 && name[0] == '0'))
        return false;
    unsigned v = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (unsigned)(c - '0');
    }
    *value = v;
    return true;
}

bool LooksLikeNumber(const std::string& name)
{
    return !name.empty() && name.find_first_not_of("+-0123456789 ") == std::string::npos &&
           name.find_first_of("0123456789") != std::string::npos;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return s;
}

bool StartsWithIgnoringCase(const std::string& s, const std::string& prefix)
{
    return s.size() >= prefix.size() && EqualsIgnoringCase(s.substr(0, prefix.size()), prefix);
}

bool IsShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
int IsShiftJisLeadByte(unsigned char c) { return IsShiftJisLead(c); }

// Letters-and-digits-only lower-case form, to recognise misspelt names.
std::string Skeleton(const std::string& s)
{
    std::string out;
    for (char c : Lower(s))
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += c;
    return out;
}

size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t up = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1) });
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::string SuggestName(const std::string& name, const std::vector<std::string>& known)
{
    std::string skeleton = Skeleton(name);
    for (const std::string& k : known) {
        std::string ks = Skeleton(k);
        if (skeleton == ks || (ks.size() > 3 && EditDistance(skeleton, ks) <= 2))
            return k;
    }
    return std::string();
}

// The key names that a section may hold besides list numbers.
std::vector<std::string> NamedKeysOf(const std::string& section)
{
    if (section == "Options")
        return { "UninstallKey" };
    if (section == "Group")
        return { "CommonGroup" };
    if (section == "General")
        return { "UninstFile", "UninstSrcProcess" };
    return {};
}

bool HoldsList(const std::string& section) { return section != "Options" && section != "General"; }

std::string CanonicalSection(const std::string& name)
{
    for (const char* known : kKnownSections)
        if (EqualsIgnoringCase(name, known))
            return known;
    return std::string();
}

// True when a key path starts with the name of a root, which its section
// already names.
bool StartsWithRootName(const std::string& path)
{
    std::string lower = Lower(path);
    static const char* const kRootPrefixes[] = { "hkey_", "hklm", "hkcu", "hkcr", "hku" };
    for (const char* p : kRootPrefixes) {
        std::string prefix = p;
        if (lower.compare(0, prefix.size(), prefix) == 0 &&
            (prefix == "hkey_" || lower.size() == prefix.size() || lower[prefix.size()] == '\\'))
            return true;
    }
    return false;
}

// The uninstaller's own judgement of a key path, under both readings of the
// bytes: the code page of the text is not known here.
KeyPathVerdict JudgeKeyPath(size_t root, const std::string& path)
{
    KeyPathVerdict verdict = ClassifyKeyPath((KeyRoot)root, path.c_str(), nullptr);
    if (verdict == KEY_PATH_DELETABLE)
        verdict = ClassifyKeyPath((KeyRoot)root, path.c_str(), IsShiftJisLeadByte);
    return verdict;
}

std::string LastComponent(const std::string& path)
{
    size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string WithoutTrailingBackslashes(std::string s)
{
    while (!s.empty() && s.back() == '\\')
        s.pop_back();
    return s;
}

}  // namespace

bool EndsInShiftJisTrailBackslash(const std::string& path)
{
    size_t n = path.size();
    if (n < 2 || (unsigned char)path[n - 1] != 0x5C)
        return false;
    // Walk from the start: only a forward scan knows which bytes pair up.
    size_t i = 0;
    while (i < n - 1) {
        if (IsShiftJisLead((unsigned char)path[i])) {
            if (i + 1 == n - 1)
                return true;
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

void Checker::CheckSections()
{
    const IniSection& nameless = ini_.sections[0];
    for (const IniKey& k : nameless.keys) {
        if (!k.name.empty() && k.name[0] == ';')
            continue;
        Add(FindingLevel::Warning, "", k.name, k.line,
            "This line comes before the first [section] header, so the uninstaller never reads it. "
            "Move it into the section it belongs to.");
    }

    std::vector<std::string> known(std::begin(kKnownSections), std::end(kKnownSections));
    for (size_t i = 1; i < ini_.sections.size(); ++i) {
        const IniSection& s = ini_.sections[i];
        std::string canonical = CanonicalSection(s.name);
        if (canonical.empty()) {
            std::string message = "The uninstaller never reads a section named " + Quoted(s.name) +
                                  ", so nothing listed in it is removed.";
            std::string suggestion = SuggestName(s.name, known);
            if (!suggestion.empty())
                message += " Did you mean [" + suggestion + "]?";
            else
                message += " The sections it reads are [Options], [Files], [Group], "
                           "[Registry_CURRENT_USER], [Registry_CLASSES_ROOT], "
                           "[Registry_LOCAL_MACHINE], [Registry_USERS] and the same four as "
                           "[RegistryValues_...].";
            Add(FindingLevel::Warning, s.name, "", s.line, message);
            continue;
        }
        const IniSection* first = FindIniSection(ini_, canonical);
        if (first != &s) {
            bool hasEntries = false;
            for (const IniKey& k : s.keys)
                hasEntries = hasEntries || (k.name.empty() || k.name[0] != ';');
            Add(hasEntries ? FindingLevel::Error : FindingLevel::Warning, canonical, "", s.line,
                "This is a second [" + canonical + "] section (the first starts on " + LineRef(first->line) +
                    "). The uninstaller reads only the first section of a name and ignores "
                    "everything in this one. Move these lines into the first [" + canonical + "].");
            continue;
        }
        if (canonical == "General") {
            Add(FindingLevel::Warning, canonical, "", s.line,
                "The uninstaller writes the [General] section itself when it starts (UninstFile and "
                "UninstSrcProcess); values given here are replaced or ignored. Leave the section out.");
        }
        CheckKeys(s, canonical);
    }
}

void Checker::CheckKeys(const IniSection& section, const std::string& canonical)
{
    std::vector<std::string> named = NamedKeysOf(canonical);
    std::vector<const IniKey*> seen;
    for (const IniKey& k : section.keys) {
        if (!k.name.empty() && k.name[0] == ';')
            continue;  // a comment
        if (!k.hasEquals) {
            if (!k.name.empty() && k.name[0] == '[') {
                Add(FindingLevel::Error, canonical, "", k.line,
                    "This line starts like a section header but has no closing ']', so it is read as an "
                    "ordinary line: the section it was meant to start does not exist, and the lines "
                    "after it still belong to [" + canonical + "].");
            } else {
                std::string message = "This line has no '=', so it is not an entry: the uninstaller ignores it.";
                if (k.name.find('\\') != std::string::npos)
                    message += " List entries are written as number=value, for example 0=" + k.name + ".";
                else
                    message += " Comment lines start with ';'.";
                Add(FindingLevel::Warning, canonical, k.name, k.line, message);
            }
        }

        // Duplicates: the uninstaller uses the first line of a name only.
        const IniKey* earlier = nullptr;
        for (const IniKey* s : seen)
            if (EqualsIgnoringCase(s->name, k.name))
                earlier = s;
        if (earlier != nullptr && !k.name.empty()) {
            std::string base = "Key " + k.name + " is already given on " + LineRef(earlier->line) +
                               ", and the uninstaller uses only that first line.";
            if (!earlier->hasEquals)
                Add(FindingLevel::Error, canonical, k.name, k.line,
                    base + " That line has no '=', so key " + k.name + " reads as empty" +
                        (HoldsList(canonical) && LooksLikeNumber(k.name)
                             ? ", which ends the list there." : "."));
            else if (k.hasEquals && k.value == earlier->value)
                Add(FindingLevel::Warning, canonical, k.name, k.line,
                    base + " This line repeats the same value and can go.");
            else
                Add(FindingLevel::Error, canonical, k.name, k.line,
                    base + " This line's value " + Quoted(k.value) + " is ignored. Give each entry its own number.");
            continue;
        }
        seen.push_back(&k);
        if (k.name.empty()) {
            Add(FindingLevel::Warning, canonical, "", k.line,
                "This line has no key name before its '=', so the uninstaller never reads it.");
            continue;
        }

        unsigned number = 0;
        bool isNamed = false;
        for (const std::string& n : named)
            isNamed = isNamed || EqualsIgnoringCase(n, k.name);
        if (isNamed || (HoldsList(canonical) && IsCanonicalNumber(k.name, &number)) || !k.hasEquals)
            continue;
        if (HoldsList(canonical) && LooksLikeNumber(k.name)) {
            Add(FindingLevel::Error, canonical, k.name, k.line,
                "The uninstaller looks for the keys 0, 1, 2, ... written without leading zeros, signs "
                "or blanks inside, so it never reads key " + Quoted(k.name) + ".");
            continue;
        }
        std::string message = "The uninstaller never reads a key named " + Quoted(k.name) + " in [" +
                              canonical + "], so this line has no effect.";
        std::string suggestion = SuggestName(k.name, named);
        if (!suggestion.empty())
            message += " Did you mean " + suggestion + "?";
        else if (HoldsList(canonical))
            message += " Entries of this list are numbered 0, 1, 2, ...";
        Add(FindingLevel::Warning, canonical, k.name, k.line, message);
    }
}

void Checker::CheckOptions()
{
    const IniKey* key = FindIniKey(ini_, "Options", "UninstallKey");
    std::string value = ReadIniString(ini_, "Options", "UninstallKey", "");
    int line = key ? key->line : 0;
    const char* consequence =
        " Without it the uninstaller cannot find the program's entry in the installed-programs list "
        "(below HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall): it shows "
        "\"Failed to initialize.\" and removes nothing.";
    if (key == nullptr) {
        Add(FindingLevel::Error, "Options", "UninstallKey", 0,
            std::string("There is no UninstallKey in an [Options] section. Give the name of the program's "
                        "installed-programs entry, for example UninstallKey=Sample App.") + consequence);
        return;
    }
    if (value.empty()) {
        Add(FindingLevel::Error, "Options", "UninstallKey", line,
            std::string("UninstallKey is empty.") + consequence);
        return;
    }
    if (value.size() > kMaxUninstallKey) {
        Add(FindingLevel::Error, "Options", "UninstallKey", line,
            "UninstallKey is " + std::to_string(value.size()) + " characters long. The uninstaller opens "
            "it as SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ followed by this name within "
            "259 characters, which leaves at most " + std::to_string(kMaxUninstallKey) +
            " for the name; a longer one cannot be used.");
    }
    if (value.find('\\') != std::string::npos) {
        Add(FindingLevel::Warning, "Options", "UninstallKey", line,
            "UninstallKey " + Quoted(value) + " contains a backslash, so it names a key nested below the "
            "installed-programs list rather than one entry of it. At the end the uninstaller deletes only "
            "the innermost key, and the keys above it stay behind.");
    }
}

void Checker::CheckCommonGroup()
{
    const IniKey* key = FindIniKey(ini_, "Group", "CommonGroup");
    if (key == nullptr || !key->hasEquals)
        return;
    std::string value = ReadIniString(ini_, "Group", "CommonGroup", "");
    unsigned number = 0;
    if (value.empty() || IsCanonicalNumber(value, &number))
        return;
    unsigned read = ReadIniInt(ini_, "Group", "CommonGroup", 0);
    Add(FindingLevel::Warning, "Group", "CommonGroup", key->line,
        "CommonGroup " + Quoted(value) + " is not a plain number; the uninstaller reads it as " +
            std::to_string((int)read) + ", which means " +
            (read == 0 ? "the current user's" : "the all-users") +
            " Start-menu Programs folder. Write 0 (current user) or 1 (all users).");
}

std::vector<Entry> Checker::ReadList(const char* section)
{
    std::vector<Entry> entries;
    unsigned n = 0;
    for (;; ++n) {
        std::string name = std::to_string(n);
        std::string value = ReadIniString(ini_, section, name, "");
        if (value.empty())
            break;
        const IniKey* key = FindIniKey(ini_, section, name);
        entries.push_back(Entry{ n, value, key->value, key->line });
    }

    // Everything numbered after the stop is never read.
    const IniSection* s = FindIniSection(ini_, section);
    if (s == nullptr)
        return entries;
    std::vector<const IniKey*> lost;
    std::set<unsigned> lostNumbers;
    for (const IniKey& k : s->keys) {
        unsigned number = 0;
        if (IsCanonicalNumber(k.name, &number) && number > n && lostNumbers.insert(number).second)
            lost.push_back(&k);
    }
    if (lost.empty())
        return entries;
    std::string names, lines;
    for (size_t i = 0; i < lost.size() && i < 8; ++i) {
        names += (i ? ", " : "") + lost[i]->name;
        lines += (i ? ", " : "") + std::to_string(lost[i]->line);
    }
    if (lost.size() > 8) {
        names += " and " + std::to_string(lost.size() - 8) + " more";
        lines += ", ...";
    }
    std::string stop = std::to_string(n);
    const IniKey* stopKey = FindIniKey(ini_, section, stop);
    std::string message;
    if (stopKey == nullptr)
        message = n == 0 ? "There is no key 0, so the uninstaller reads nothing of [" + std::string(section) + "]"
                         : "Key " + stop + " is missing, so the uninstaller stops reading [" + section +
                               "] after key " + std::to_string(n - 1);
    else
        message = "Key " + stop + " is empty, and an empty entry ends the list: the uninstaller stops "
                  "reading [" + section + "] there";
    message += lost.size() == 1
                   ? ". The entry " + names + " (line " + lines + ") is never read and will not be removed."
                   : ". The entries " + names + " (lines " + lines + ") are never read and will not be removed.";
    message += " Number the entries 0, 1, 2, ... without gaps.";
    Add(FindingLevel::Error, section, stop, stopKey ? stopKey->line : lost[0]->line, message);
    return entries;
}

void Checker::CheckCommonEntry(const ListSection& list, const Entry& e)
{
    std::string key = std::to_string(e.index);
    if (e.value.size() > kMaxValue) {
        Add(FindingLevel::Error, list.name, key, e.line,
            "This value is " + std::to_string(e.value.size()) + " characters long. The uninstaller reads "
            "at most " + std::to_string(kMaxValue) + " characters of an entry, so it cannot remove this " +
            list.what + " (a shortened name would point somewhere else).");
    }
    const std::string& raw = e.raw;
    if (!raw.empty() && (raw[0] == '"' || raw[0] == '\'') && e.value == raw) {
        Add(FindingLevel::Warning, list.name, key, e.line,
            std::string("The value starts with a quote that is not closed at its end, so the quote "
                        "stays part of the name. Quote the whole value or not at all."));
    }
    size_t semicolon = e.value.find(';');
    if (semicolon != std::string::npos && semicolon > 0 &&
        IsIniBlank((unsigned char)e.value[semicolon - 1])) {
        Add(FindingLevel::Warning, list.name, key, e.line,
            "There are no comments at the end of a line: the text from ';' on is part of the value, so "
            "this entry names " + Quoted(e.value) + ". Put comments on lines of their own.");
    }
    if (e.value.find_first_of("*?") != std::string::npos) {
        Add(FindingLevel::Error, list.name, key, e.line,
            std::string("Wildcards are not expanded: the uninstaller removes only a ") + list.what +
                " of exactly this name. List each one.");
    }
    size_t percent = e.value.find('%');
    if (percent != std::string::npos && e.value.find('%', percent + 1) != std::string::npos) {
        Add(FindingLevel::Error, list.name, key, e.line,
            "Environment variables such as %ProgramFiles% are not expanded: the uninstaller uses the text as "
            "it stands. Begin the path with a folder placeholder such as <app> or <programs>, which the "
            "uninstaller resolves on the user's machine, or write the name in full.");
    }
}

void Checker::CheckDuplicateValues(const ListSection& list, const std::vector<Entry>& entries)
{
    for (size_t j = 1; j < entries.size(); ++j) {
        for (size_t i = 0; i < j; ++i) {
            if (!EqualsIgnoringCase(entries[i].value, entries[j].value))
                continue;
            std::string message = "This repeats entry " + std::to_string(entries[i].index) + " (" +
                                  LineRef(entries[i].line) + "). The uninstaller tries it twice, and the "
                                  "second try finds nothing left";
            // Directories, groups and keys removed only when empty leave no
            // line when they are not there.
            const std::string& v = entries[j].value;
            bool emptyKey = std::string(list.what) == "registry value" && v.size() >= 2 &&
                            v.compare(v.size() - 2, 2, "\\\\") == 0;
            bool logged = std::string(list.name) != "Group" && !emptyKey &&
                          !(std::string(list.name) == "Files" && v.back() == '\\');
            message += logged ? ", which the user's log shows as \"- failed to delete.\"." : ".";
            Add(FindingLevel::Warning, list.name, std::to_string(entries[j].index), entries[j].line, message);
            break;
        }
    }
}

// Directories (and program groups) go only when empty, and in list order,
// so one listed before a folder inside it is tried while that folder is
// still there.
// Directories (and program groups) go only when empty, and in list order,
// so one listed before a folder inside it is tried while that folder is
// still there. forms are the values as compared (a group by its Programs
// folder's placeholder).
void Checker::CheckNesting(const ListSection& list, const std::vector<Entry>& entries,
                           const std::vector<bool>& isFolder, const std::vector<std::string>& forms)
{
    bool groups = std::string(list.name) == "Group";
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!isFolder[i])
            continue;
        std::string outer = groups ? forms[i] + "\\" : forms[i];
        for (size_t j = i + 1; j < entries.size(); ++j) {
            if (!isFolder[j] || forms[j].size() <= outer.size() || !StartsWithIgnoringCase(forms[j], outer))
                continue;
            std::string what = groups ? "program group" : "directory";
            Add(FindingLevel::Error, list.name, std::to_string(entries[i].index), entries[i].line,
                "The " + what + " " + Quoted(entries[i].value) + " is listed before " +
                    Quoted(entries[j].value) + " (entry " + std::to_string(entries[j].index) + ", " +
                    LineRef(entries[j].line) + "), which lies inside it. " +
                    (groups ? "Program groups are removed in list order"
                            : "Directories are removed at the very end, in list order,") +
                    " and only when empty, so when this one's turn comes the inner one is still there "
                    "and this one stays behind. List this entry after " +
                    Quoted(entries[j].value) + ".");
            break;
        }
    }
}

std::string PlaceholderNames()
{
    std::string names;
    for (int id = 0; id < PLACEHOLDER_COUNT; ++id)
        names += std::string(id == 0 ? "" : id == PLACEHOLDER_COUNT - 1 ? " and " : ", ") + "<" +
                 kFolderPlaceholderNames[id] + ">";
    return names;
}

// An entry that begins with "<" names a folder placeholder; false when it
// is not one the uninstaller knows (reported here).
bool Checker::CheckPlaceholder(const ListSection& list, const Entry& e, size_t* cchPlaceholder)
{
    int id = FindFolderPlaceholder(e.value.c_str(), cchPlaceholder);
    if (id != PLACEHOLDER_UNKNOWN)
        return true;
    size_t close = e.value.find('>');
    std::string written = e.value.substr(0, close == std::string::npos ? e.value.find('\\') : close + 1);
    std::string name = written.size() > 2 ? written.substr(1, written.size() - 2) : std::string();
    for (const char* known : kFolderPlaceholderNames) {
        if (!EqualsIgnoringCase(name, known) || close == std::string::npos)
            continue;
        Add(FindingLevel::Error, list.name, std::to_string(e.index), e.line,
            "A placeholder is followed by a backslash or ends the entry, so the uninstaller takes " +
                Quoted(e.value) + " for no placeholder at all and leaves the " + list.what +
                " alone. Write " + Quoted(written + "\\" + e.value.substr(close + 1)) + ".");
        return false;
    }
    std::string message = "No Windows path begins with '<': the uninstaller reads " + Quoted(written) +
                          " as a folder placeholder, but knows none of that name (a placeholder is followed "
                          "by a backslash or ends the entry), so the " + list.what + " is not removed" +
                          (std::string(list.name) == "Files" && e.value.back() == '\\'
                               ? "." : " and the log says it failed.");
    std::vector<std::string> known;
    for (const char* name : kFolderPlaceholderNames)
        known.push_back(name);
    std::string suggestion = SuggestName(written, known);
    message += suggestion.empty() ? " The placeholders are " + PlaceholderNames() + "."
                                  : " Did you mean <" + suggestion + ">?";
    Add(FindingLevel::Error, list.name, std::to_string(e.index), e.line, message);
    return false;
}

// Full paths into folders that lie elsewhere on other machines, or for
// other users: the placeholder that the uninstaller resolves there. One
// warning per such folder, at its first entry.
void Checker::CheckPortable(const std::vector<Entry>& entries)
{
    std::vector<std::string> folders;    // user and placeholder, one per warning
    std::vector<size_t> firsts, counts;
    std::vector<PortableForm> forms;
    for (size_t i = 0; i < entries.size(); ++i) {
        PortableForm form = FindPortableForm(entries[i].value);
        if (form.path.empty() && form.profileUser.empty())
            continue;
        std::string folder = Lower(form.profileUser) + "|" + form.path.substr(0, form.path.find('>') + 1);
        size_t at = std::find(folders.begin(), folders.end(), folder) - folders.begin();
        if (at < folders.size()) {
            ++counts[at];
            continue;
        }
        folders.push_back(folder);
        firsts.push_back(i);
        counts.push_back(0);
        forms.push_back(form);
    }
    for (size_t w = 0; w < folders.size(); ++w) {
        const PortableForm& form = forms[w];
        std::string message;
        if (!form.profileUser.empty())
            message = "This path lies in the profile of the user " + Quoted(form.profileUser) +
                      " on the machine where it was written. On a user's machine, and for any other user, it "
                      "names nothing there, so the uninstaller leaves the item and the log says it failed. ";
        else
            message = "This path names a folder that lies elsewhere on other machines (another drive, another "
                      "Windows folder, another language's name). ";
        message += form.path.empty()
            ? "Write it with the placeholder of the folder the installer used, such as <appdata> or "
              "<localappdata>, which the uninstaller resolves for the user who runs it."
            : "Write it as " + Quoted(form.path) + ": the uninstaller resolves the placeholder on the user's "
              "machine.";
        if (counts[w] > 0)
            message += " The same holds for " + std::to_string(counts[w]) + " more " +
                       (counts[w] == 1 ? "entry" : "entries") + " in that folder.";
        const Entry& e = entries[firsts[w]];
        Add(FindingLevel::Warning, kFiles.name, std::to_string(e.index), e.line, message);
    }
}

void Checker::CheckFiles()
{
    std::vector<Entry> entries = ReadList(kFiles.name);
    std::vector<bool> isDirectory;
    std::vector<std::string> forms;
    for (const Entry& e : entries) {
        CheckCommonEntry(kFiles, e);
        std::string key = std::to_string(e.index);
        const std::string& v = e.value;
        bool directory = v.back() == '\\';
        isDirectory.push_back(directory);
        forms.push_back(v);
        if (EndsInShiftJisTrailBackslash(v)) {
            Add(FindingLevel::Warning, kFiles.name, key, e.line,
                "This path ends in the byte 0x5C after a byte that starts a double-byte character in the "
                "Japanese code page (Shift-JIS). On a Japanese system the two bytes are one character and "
                "the entry names a file; elsewhere it ends in a backslash and names a directory. Make sure "
                "it means what you want on the systems you ship to.");
        }
        size_t cchPlaceholder = 0;
        if (v[0] == '<') {
            if (CheckPlaceholder(kFiles, e, &cchPlaceholder) && v.size() == cchPlaceholder)
                Add(FindingLevel::Error, kFiles.name, key, e.line,
                    "This names the placeholder's folder itself as a file, which it is not. List the folder "
                    "as " + Quoted(v + "\\") + " (a directory, removed when empty) and the files in it one by one.");
            continue;
        }
        bool drive = v.size() >= 3 && ((v[0] >= 'A' && v[0] <= 'Z') || (v[0] >= 'a' && v[0] <= 'z')) &&
                     v[1] == ':' && (v[2] == '\\' || v[2] == '/');
        bool unc = v.size() >= 3 && v[0] == '\\' && v[1] == '\\';
        if (!drive && !unc) {
            Add(FindingLevel::Error, kFiles.name, key, e.line,
                "This is not a full path. The uninstaller runs in the temporary directory, so a relative "
                "path would be looked for there; write the full path, or begin it with a folder placeholder, "
                "for example <app>\\readme.txt.");
        } else if (drive && v.size() == 3) {
            Add(FindingLevel::Error, kFiles.name, key, e.line,
                "This names the root folder of a drive, which can never be removed.");
        }
    }
    CheckPortable(entries);
    CheckDuplicateValues(kFiles, entries);
    CheckNesting(kFiles, entries, isDirectory, forms);
    files_ = entries;
}

// A group as the uninstaller places it: below the Programs folder that its
// placeholder names, or else the one CommonGroup names.
std::string GroupForm(const std::string& value, unsigned commonGroup)
{
    if (!value.empty() && value[0] == '<')
        return value;
    return (commonGroup == 0 ? "<programs>\\" : "<commonprograms>\\") + value;
}

void Checker::CheckGroups()
{
    std::vector<Entry> entries = ReadList(kGroup.name);
    std::vector<bool> isFolder(entries.size(), true);
    std::vector<std::string> forms;
    unsigned commonGroup = ReadIniInt(ini_, "Group", "CommonGroup", 0);
    for (const Entry& e : entries) {
        CheckCommonEntry(kGroup, e);
        forms.push_back(GroupForm(e.value, commonGroup));
        std::string key = std::to_string(e.index);
        std::string v = e.value;
        size_t cchPlaceholder = 0;
        if (v[0] == '<') {
            // A refused group takes no part in the order of the others.
            isFolder[forms.size() - 1] = false;
            if (!CheckPlaceholder(kGroup, e, &cchPlaceholder))
                continue;
            int id = FindFolderPlaceholder(v.c_str(), NULL);
            if ((id != PLACEHOLDER_PROGRAMS && id != PLACEHOLDER_COMMON_PROGRAMS) || v.size() <= cchPlaceholder + 1) {
                Add(FindingLevel::Error, kGroup.name, key, e.line,
                    "A program group lies in a Start-menu Programs folder: it may begin with <programs> or "
                    "<commonprograms>, followed by a backslash and the group's folder name, and with no other "
                    "placeholder. The uninstaller refuses this one, and the log says it failed.");
                continue;
            }
            // The name below the Programs folder is judged as any group's.
            isFolder[forms.size() - 1] = true;
            v = v.substr(cchPlaceholder + 1);
        }
        bool absolute = v[0] == '\\' || v[0] == '/' || (v.size() >= 2 && v[1] == ':');
        if (absolute) {
            Add(FindingLevel::Error, kGroup.name, key, e.line,
                "A program group is a folder name inside the Start menu's Programs folder, such as "
                "'Sample App' or 'Sample Vendor\\Sample App'. This looks like a full path; the uninstaller "
                "would add it to the Programs folder's path and name nothing that exists.");
            continue;
        }
        bool dotPart = false;
        for (size_t start = 0; start <= v.size();) {
            size_t cut = v.find_first_of("\\/", start);
            std::string part = v.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
            dotPart = dotPart || part == "." || part == "..";
            start = cut == std::string::npos ? v.size() + 1 : cut + 1;
        }
        if (dotPart) {
            Add(FindingLevel::Error, kGroup.name, key, e.line,
                "The group name has a '.' or '..' part. The uninstaller removes only groups that lie plainly "
                "inside the Programs folder and refuses this one, so it is not removed. Write the folder "
                "names only, such as 'Sample Vendor\\Sample App'.");
            continue;
        }
        if (v.back() == '\\' || v.back() == '/') {
            Add(FindingLevel::Warning, kGroup.name, key, e.line,
                "The group name ends in a backslash, so the uninstaller cannot tell its folder name. Write "
                "it without the final backslash.");
            continue;
        }
        if (v.size() > 150) {
            Add(FindingLevel::Warning, kGroup.name, key, e.line,
                "This group name is " + std::to_string(v.size()) + " characters long. The uninstaller puts the "
                "Programs folder's path (often 60 to 100 characters) in front of it, and the whole must stay "
                "within 259 characters.");
        }
        std::string title = LastComponent(v);
        // The uninstaller leaves a group of a protected title in place (it
        // is the user's Startup folder) and reports it as deleted.
        bool isProtected = false;
        for (size_t i = 0; i < kFixedProtectedGroupTitleCount; ++i)
            isProtected = isProtected || title == kFixedProtectedGroupTitles[i];
        if (isProtected) {
            Add(FindingLevel::Warning, kGroup.name, key, e.line,
                "A group named " + Quoted(title) + " is never removed: the uninstaller protects the user's "
                "Startup folder, leaves this folder in place and still reports it as deleted. Give the "
                "program's shortcuts a group of their own name.");
        } else if (EqualsIgnoringCase(title, "Startup") || EqualsIgnoringCase(title, "Start Up")) {
            Add(FindingLevel::Error, kGroup.name, key, e.line,
                "The uninstaller protects the Startup folder only under the exact spellings 'Startup' and "
                "'Start Up'. " + Quoted(title) + " differs only in case, and folder names ignore case, so "
                "on a system whose Startup folder is spelt 'Startup' the uninstaller would remove the "
                "user's Startup folder when it is empty. Do not list the Startup folder.");
        }
    }
    CheckDuplicateValues(kGroup, entries);
    CheckNesting(kGroup, entries, isFolder, forms);
    groups_ = entries;
}

// A directory listed inside a listed group, and not listed as a group of
// its own, goes at the groups phase, just before its group; what is left in
// it keeps the group too.
void Checker::CheckDirectoriesInGroups()
{
    unsigned commonGroup = ReadIniInt(ini_, "Group", "CommonGroup", 0);
    for (const Entry& d : files_) {
        if (d.value.back() != '\\' || d.value[0] != '<')
            continue;
        // A directory that is a listed group itself goes as that group.
        bool isGroup = false;
        for (const Entry& g : groups_)
            isGroup = isGroup || EqualsIgnoringCase(WithoutTrailingBackslashes(GroupForm(g.value, commonGroup)),
                                                    WithoutTrailingBackslashes(d.value));
        for (const Entry& g : groups_) {
            if (isGroup)
                break;
            std::string group = WithoutTrailingBackslashes(GroupForm(g.value, commonGroup)) + "\\";
            if (d.value.size() <= group.size() || !StartsWithIgnoringCase(d.value, group))
                continue;
            Add(FindingLevel::Warning, kFiles.name, std::to_string(d.index), d.line,
                "The directory " + Quoted(d.value) + " lies inside the program group " + Quoted(g.value) +
                    " ([Group] " + std::to_string(g.index) + ", " + LineRef(g.line) + "). The uninstaller "
                    "removes it at the groups phase, just before the group, instead of at the very end; if "
                    "anything that is not listed is left in it then, the group stays too, and the log says "
                    "the group failed. List every file in it.");
            break;
        }
    }
}

void Checker::CheckRegistry(size_t root)
{
    const ListSection& list = kRegistry[root];
    const std::string rootName = kRootNames[root];
    std::vector<Entry> entries = ReadList(list.name);
    for (const Entry& e : entries) {
        CheckCommonEntry(list, e);
        std::string key = std::to_string(e.index);
        const std::string& v = e.value;
        if (StartsWithRootName(v)) {
            Add(FindingLevel::Error, list.name, key, e.line,
                "The key path starts with a root's name, but the section already names the root: write "
                "the path below " + rootName + ", for example Software\\Sample Vendor\\Sample App. As "
                "written the uninstaller looks for a key of that name below " + rootName +
                " and finds none.");
            continue;
        }

        KeyPathVerdict verdict = JudgeKeyPath(root, v);
        if (verdict == KEY_PATH_EMPTY || (verdict == KEY_PATH_MALFORMED && v[0] == '\\')) {
            Add(FindingLevel::Error, list.name, key, e.line,
                "The key path starts with a backslash; the uninstaller refuses such a path and deletes "
                "nothing. Write it without the leading backslash.");
            continue;
        }
        if (verdict == KEY_PATH_MALFORMED) {
            Add(FindingLevel::Error, list.name, key, e.line,
                "The key path has an empty part (a doubled backslash) or a '.' or '..' part, so it may "
                "not name the key you mean; the uninstaller refuses it and deletes nothing. Write the key "
                "names separated by single backslashes.");
            continue;
        }
        if (verdict == KEY_PATH_WHOLE_HIVE) {
            Add(FindingLevel::Error, list.name, key, e.line,
                "Deleting " + Quoted(WithoutTrailingBackslashes(v)) + " below HKEY_USERS would delete a whole "
                "user's registry: every program's settings and the user's own. The uninstaller refuses it; "
                "list the program's own key below it.");
            continue;
        }
        if (verdict == KEY_PATH_SHARED) {
            Add(FindingLevel::Error, list.name, key, e.line,
                "Deleting " + rootName + "\\" + v + " would destroy data that other programs and Windows "
                "keep there: the uninstaller deletes a listed key with everything below it, so it refuses "
                "this one. List only the program's own keys, for example Software\\Sample Vendor\\Sample App.");
            continue;
        }
        if (v.size() >= 2 && v.compare(v.size() - 2, 2, "\\\\") == 0) {
            Add(FindingLevel::Error, list.name, key, e.line,
                "The key path ends in two backslashes, the form of a key removed only when empty; but here, "
                "in [" + std::string(list.name) + "], the uninstaller deletes " + Quoted(WithoutTrailingBackslashes(v)) +
                    " with everything below it. To remove it only once it is empty, list it in "
                    "[RegistryValues_" + rootName.substr(5) + "] instead.");
        } else if (v.back() == '\\') {
            Add(FindingLevel::Warning, list.name, key, e.line,
                "The key path has an empty part (a final backslash), so it may not name the key you mean. "
                "Write the key names separated by single backslashes.");
        }

        // Judge the path below the root; below HKEY_USERS the first level is
        // a whole user's registry, and what follows it is like HKEY_CURRENT_USER.
        std::string path = WithoutTrailingBackslashes(v);
        size_t shareRoot = root;
        if (rootName == "HKEY_USERS") {
            path = path.substr(path.find('\\') + 1);
            shareRoot = 0;
        }
        bool oneLevel = path.find('\\') == std::string::npos;
        if (shareRoot == 1 && oneLevel && path[0] == '.') {
            Add(FindingLevel::Warning, list.name, key, e.line,
                "Deleting the whole " + Quoted(path) + " key removes that file type for every program that "
                "uses it. List it only if the extension belongs to this program alone.");
        }
        size_t firstCut = path.find('\\');
        if (shareRoot != 1 && firstCut != std::string::npos && path.find('\\', firstCut + 1) == std::string::npos &&
            EqualsIgnoringCase(path.substr(0, firstCut), "Software")) {
            Add(FindingLevel::Warning, list.name, key, e.line,
                Quoted(path) + " usually holds every program of one maker. If the maker has other "
                "programs installed, their settings go too; list the program's own key below it unless "
                "this key belongs to this program alone, and list " + Quoted(path + "\\\\") + " in "
                "[RegistryValues_" + rootName.substr(5) + "], which removes the maker's key once it is empty.");
        }
        if (rootName == "HKEY_LOCAL_MACHINE" && StartsWithIgnoringCase(path, kUninstallPath)) {
            Add(FindingLevel::Warning, list.name, key, e.line,
                "The uninstaller removes the program's own entry in the installed-programs list by itself at "
                "the very end (the one named by UninstallKey). Listing an entry there removes it while "
                "the uninstallation is still running; leave it out unless it is another entry of this program.");
        }
    }
    CheckDuplicateValues(list, entries);
    trees_[root] = entries;
}

// Why an entry of a value list cannot be read, for the message.
std::string DescribeMalformedValueEntry(const std::string& v)
{
    size_t separator = v.find("\\\\");
    if (separator == std::string::npos)
        return "It has no two backslashes after the key path.";
    if (separator == 0)
        return "It has no key path before the two backslashes.";
    std::string tail = v.substr(separator + 2);
    if (tail[0] != '"')
        return "The value's name after the two backslashes is not in double quotes.";
    size_t closing = tail.rfind('"');
    if (closing == 0)
        return "The value's name has no closing quote.";
    return "After the name's closing quote only ;<directory> may follow, and a directory holds no ';'.";
}

void Checker::CheckValues(size_t root)
{
    const ListSection& list = kValueLists[root];
    const std::string rootName = kRootNames[root];
    std::vector<Entry> entries = ReadList(list.name);
    for (const Entry& e : entries) {
        std::string key = std::to_string(e.index);
        const std::string& v = e.value;
        if (v.size() > kMaxValue) {
            Add(FindingLevel::Error, list.name, key, e.line,
                "This entry is " + std::to_string(v.size()) + " characters long. The uninstaller reads at most " +
                    std::to_string(kMaxValue) + " characters of an entry: the key path, the value's name and "
                    "a directory together. It cannot act on this one; its log line says it failed.");
            continue;
        }
        ValueEntry parsed;
        if (ParseValueEntry(v.c_str(), nullptr, &parsed) == VALUE_ENTRY_MALFORMED) {
            Add(FindingLevel::Error, list.name, key, e.line,
                DescribeMalformedValueEntry(v) + " An entry here is a key path, two backslashes and the "
                "value's name in double quotes (Software\\Sample Vendor\\Sample App\\\\\"Window\"; \"\" is the "
                "default value), followed by ;<directory> to take only that directory out of a list such as "
                "PATH; or the key path and two backslashes alone, for a key removed only once it is empty. "
                "The uninstaller cannot read this entry, removes nothing for it and logs it as failed.");
            continue;
        }
        std::string path = v.substr(0, parsed.cchKeyPath);
        if (StartsWithRootName(path)) {
            Add(FindingLevel::Error, list.name, key, e.line,
                "The key path starts with a root's name, but the section already names the root: write the "
                "path below " + rootName + ". As written the uninstaller looks below " + rootName +
                " for a key of that name and finds none.");
            continue;
        }
        KeyPathVerdict verdict = JudgeKeyPath(root, path);
        if (verdict == KEY_PATH_EMPTY || verdict == KEY_PATH_MALFORMED) {
            Add(FindingLevel::Error, list.name, key, e.line,
                "The key path " + Quoted(path) + " starts with a backslash or has an empty, '.' or '..' part; "
                "the uninstaller refuses it, removes nothing and logs it as failed.");
            continue;
        }
        if (parsed.kind == VALUE_ENTRY_EMPTY_KEY) {
            if (verdict != KEY_PATH_DELETABLE)
                Add(FindingLevel::Error, list.name, key, e.line,
                    rootName + "\\" + path + (verdict == KEY_PATH_WHOLE_HIVE ? " is a user's whole registry"
                                             : " is a key that Windows and other programs keep their data in") +
                        ": the uninstaller never removes it, even when it is empty, and logs it as failed. List "
                        "the maker's own key, such as Software\\Sample Vendor\\\\.");
            continue;
        }
        if (parsed.kind == VALUE_ENTRY_LIST_ELEMENT) {
            std::string d = v.substr(parsed.directoryAt);
            bool drive = d.size() >= 3 && ((d[0] | 0x20) >= 'a' && (d[0] | 0x20) <= 'z') && d[1] == ':' &&
                         d[2] == '\\';
            bool unc = d.size() >= 3 && d[0] == '\\' && d[1] == '\\';
            if (!drive && !unc && d[0] != '%') {
                Add(FindingLevel::Error, list.name, key, e.line,
                    "The directory " + Quoted(d) + " is not a full path. The uninstaller takes out only the "
                    "elements of the value that are equal to it (ignoring case and a final backslash), so write "
                    "it as the installer added it, for example C:\\Program Files\\Sample App\\bin.");
            }
        }
        // A key-tree entry that deletes this key goes first, values and all.
        for (const Entry& tree : trees_[root]) {
            std::string treePath = WithoutTrailingBackslashes(tree.value);
            if (JudgeKeyPath(root, tree.value) != KEY_PATH_DELETABLE ||
                !(EqualsIgnoringCase(path, treePath) || StartsWithIgnoringCase(path, treePath + "\\")))
                continue;
            Add(FindingLevel::Warning, list.name, key, e.line,
                "[" + std::string(kRegistry[root].name) + "] " + std::to_string(tree.index) + " (" +
                    LineRef(tree.line) + ") deletes " + rootName + "\\" + treePath + " with everything in it before "
                    "the values are taken, so this entry finds nothing and its log line says it failed. Leave it "
                    "out.");
            break;
        }
    }
    CheckDuplicateValues(list, entries);
}

std::vector<Finding> Checker::Run(const std::string& text)
{
    if (ini_.encoding == IniEncoding::Utf16Bom) {
        Add(FindingLevel::Error, "", "", 1,
            "The file is saved as UTF-16 (it starts with a byte order mark). The uninstaller reads its "
            "information as plain ANSI text in the user's code page; save it as ANSI.");
        return findings_;
    }
    if (ini_.encoding == IniEncoding::Utf8Bom) {
        Add(FindingLevel::Error, "", "", 1,
            "The file starts with a UTF-8 byte order mark (the bytes EF BB BF). The uninstaller reads its "
            "information as plain ANSI text in the user's code page, where these bytes spoil the first "
            "line; save the file as ANSI without a byte order mark.");
    }
    size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        int line = 1 + (int)std::count(text.begin(), text.begin() + (long)nul, '\n');
        Add(FindingLevel::Error, "", "", line,
            "The file contains a NUL byte; the uninstaller stops reading a name or value there. Is this a "
            "text file?");
    }
    CheckSections();
    CheckOptions();
    CheckFiles();
    CheckCommonGroup();
    CheckGroups();
    CheckDirectoriesInGroups();
    for (size_t root = 0; root < 4; ++root)
        CheckRegistry(root);
    for (size_t root = 0; root < 4; ++root)
        CheckValues(root);
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return findings_;
}

std::vector<Finding> CheckInfoText(const std::string& text)
{
    Checker checker(text);
    return checker.Run(text);
}

size_t CountFindings(const std::vector<Finding>& findings, FindingLevel level)
{
    return (size_t)std::count_if(findings.begin(), findings.end(),
                                 [level](const Finding& f) { return f.level == level; });
}

static std::string Wrap(const std::string& text, size_t width, const std::string& indent)
{
    std::string out, line;
    size_t at = 0;
    while (at < text.size()) {
        size_t space = text.find(' ', at);
        std::string word = text.substr(at, space == std::string::npos ? std::string::npos : space - at);
        at = space == std::string::npos ? text.size() : space + 1;
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += indent + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty())
        out += indent + line + "\n";
    return out;
}

std::string FormatFindingsText(const std::vector<Finding>& findings, const std::string& fileName)
{
    std::string out;
    for (const Finding& f : findings) {
        out += fileName + (f.line > 0 ? ":" + std::to_string(f.line) : std::string()) + ": " +
               (f.level == FindingLevel::Error ? "error" : "warning");
        if (!f.section.empty() || !f.key.empty()) {
            out += ":";
            if (!f.section.empty())
                out += " [" + f.section + "]";
            if (!f.key.empty())
                out += " " + f.key;
        }
        out += "\n" + Wrap(f.message, 72, "    ");
    }
    size_t errors = CountFindings(findings, FindingLevel::Error);
    size_t warnings = CountFindings(findings, FindingLevel::Warning);
    if (findings.empty())
        out += fileName + ": no problems found\n";
    else
        out += fileName + ": " + std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
               std::to_string(warnings) + (warnings == 1 ? " warning\n" : " warnings\n");
    return out;
}

static std::string JsonString(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\u%04X", c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

std::string FormatFindingsJson(const std::vector<Finding>& findings, const std::string& fileName)
{
    std::string out = "{\"file\": " + JsonString(fileName) +
                      ", \"errors\": " + std::to_string(CountFindings(findings, FindingLevel::Error)) +
                      ", \"warnings\": " + std::to_string(CountFindings(findings, FindingLevel::Warning)) +
                      ", \"findings\": [";
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        out += std::string(i ? "," : "") + "\n  {\"level\": " +
               (f.level == FindingLevel::Error ? "\"error\"" : "\"warning\"") +
               ", \"section\": " + JsonString(f.section) + ", \"key\": " + JsonString(f.key) +
               ", \"line\": " + std::to_string(f.line) + ", \"message\": " + JsonString(f.message) + "}";
    }
    out += findings.empty() ? "]}\n" : "\n]}\n";
    return out;
}
