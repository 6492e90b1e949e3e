// The shared registry keys and the judgement of a listed key path against
// them. The worker refuses what this refuses; the vendor tool reports it.

#include "info/protected_keys.h"

#include <stddef.h>

// Keys in which the system and other programs keep their data. A path is
// refused when it names one of them or one of its ancestors (so "Software",
// "Software\Microsoft" and "...\Windows\CurrentVersion" are refused too);
// a key below one of them, such as a program's own entry below Uninstall,
// may go. Below HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE every top-level key
// belongs to the system as well (Software, Control Panel, Environment;
// SOFTWARE, SYSTEM, HARDWARE, SAM, SECURITY). Below HKEY_USERS the first
// part names a user's whole hive (.DEFAULT or a SID), and what follows it
// is judged by the user's list. The other spellings of these keys (the
// classes below the machine and the users, the numbered control sets) are
// judged as the keys they name (FindKeyPathAlias).
static const char* const kUserKeys[] = {
    "Software\\Classes",
    "Software\\Clients",
    "Software\\Policies",
    "Software\\Wow6432Node",
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "Software\\Microsoft\\Windows NT\\CurrentVersion",
};

static const char* const kMachineKeys[] = {
    "SOFTWARE\\Classes",
    "SOFTWARE\\Clients",
    "SOFTWARE\\ODBC",
    "SOFTWARE\\Policies",
    "SOFTWARE\\Wow6432Node",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
    "SYSTEM\\CurrentControlSet\\Control",
    "SYSTEM\\CurrentControlSet\\Enum",
    "SYSTEM\\CurrentControlSet\\Services",
    "SYSTEM\\MountedDevices",
    "SYSTEM\\Select",
    "SYSTEM\\Setup",
};

// Below HKEY_CLASSES_ROOT only these: most top-level keys there are file
// types and classes that belong to one program each. The file types that
// Windows itself registers, with their classes, and the protocols of the
// web and mail belong to every program.
static const char* const kClassesKeys[] = {
    "*",
    "AllFilesystemObjects",
    "AppID",
    "Applications",
    "CLSID\\{00021401-0000-0000-C000-000000000046}",  // the shortcut class
    "Directory",
    "Drive",
    "Folder",
    "Installer",
    "Interface",
    "MIME\\Database",
    "Network",
    "Protocols\\Handler",
    "SystemFileAssociations",
    "TypeLib",
    "Unknown",
    "batfile", ".bat",
    "cmdfile", ".cmd",
    "comfile", ".com",
    "exefile", ".exe",
    "lnkfile", ".lnk",
    "htmlfile", ".htm", ".html",
    "inifile", ".ini",
    "regfile", ".reg",
    "txtfile", ".txt", ".log",
    "inffile", ".inf",
    "xmlfile", ".xml",
    "Paint.Picture", ".bmp",
    "jpegfile", ".jpg", ".jpeg",
    "pngfile", ".png",
    "giffile", ".gif",
    "icofile", ".ico",
    "CompressedFolder", ".zip",
    "CABFolder", ".cab",
    "InternetShortcut", ".url",
    "dllfile", ".dll",
    "sysfile", ".sys",
    "ocxfile", ".ocx",
    "drvfile", ".drv",
    "cplfile", ".cpl",
    "scrfile", ".scr",
    "piffile", ".pif",
    "hlpfile", ".hlp",
    "chm.file", ".chm",
    "rtffile", ".rtf",
    "Msi.Package", ".msi",
    "Msp.Package", ".msp",
    "VBSFile", ".vbs",
    "JSFile", ".js",
    "WSFFile", ".wsf",
    "htafile", ".hta",
    "ttffile", ".ttf",
    "fonfile", ".fon",
    "http", "https", "ftp", "mailto", "file",
};

typedef int (*LeadByteTest)(unsigned char);

// Blanks are never the trail byte of a double-byte character, so they can
// be trimmed byte by byte; a backslash can be one (0x5C).
static int IsBlank(char c) { return c == ' ' || c == '\t'; }

static char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

// Bytes of the character at p: 2 for a lead byte that has a byte after it.
static size_t CharacterLength(const char* p, LeadByteTest isLeadByte)
{
    return isLeadByte != NULL && isLeadByte((unsigned char)p[0]) && p[1] != '\0' ? 2 : 1;
}

// One part of a key path, without the blanks around it.
struct KeyPart {
    const char* text;
    size_t cch;
};

// Walks the parts of path[0..end). next is NULL once the last part is out.
struct PartCursor {
    const char* next;
    const char* end;
    LeadByteTest isLeadByte;
};

// Takes the next part into *part. 0 when no part is left.
static int NextPart(PartCursor* cursor, KeyPart* part)
{
    if (cursor->next == NULL)
        return 0;
    const char* start = cursor->next;
    const char* stop = start;
    while (stop < cursor->end && *stop != '\\')
        stop += CharacterLength(stop, cursor->isLeadByte);
    cursor->next = stop < cursor->end ? stop + 1 : NULL;
    while (start < stop && IsBlank(*start))
        ++start;
    while (stop > start && IsBlank(stop[-1]))
        --stop;
    part->text = start;
    part->cch = (size_t)(stop - start);
    return 1;
}

// The end of the path once trailing backslashes and blanks are cut off:
// just past its last character that is neither.
static const char* FindSignificantEnd(const char* path, LeadByteTest isLeadByte)
{
    const char* end = path;
    for (const char* p = path; *p != '\0';) {
        size_t cch = CharacterLength(p, isLeadByte);
        if (cch == 2 || (*p != '\\' && !IsBlank(*p)))
            end = p + cch;
        p += cch;
    }
    return end;
}

static int IsDotPart(const KeyPart& part)
{
    return (part.cch == 1 && part.text[0] == '.') ||
           (part.cch == 2 && part.text[0] == '.' && part.text[1] == '.');
}

// True when the part is the ASCII name, without regard to case.
static int PartIs(const KeyPart& part, const char* name)
{
    size_t i = 0;
    for (; i < part.cch; ++i)
        if (name[i] == '\0' || LowerAscii(part.text[i]) != LowerAscii(name[i]))
            return 0;
    return name[i] == '\0';
}

// True when the part ends in the ASCII text, without regard to case, and
// has something before it.
static int PartEndsWith(const KeyPart& part, const char* text)
{
    size_t cchText = 0;
    while (text[cchText] != '\0')
        ++cchText;
    if (part.cch <= cchText)
        return 0;
    KeyPart tail = { part.text + part.cch - cchText, cchText };
    return PartIs(tail, text);
}

// "ControlSet" followed by digits only: a numbered control set.
static int IsNumberedControlSet(const KeyPart& part)
{
    static const char kControlSet[] = "ControlSet";
    const size_t cchName = sizeof(kControlSet) - 1;
    if (part.cch <= cchName)
        return 0;
    KeyPart head = { part.text, cchName };
    if (!PartIs(head, kControlSet))
        return 0;
    for (size_t i = cchName; i < part.cch; ++i)
        if (part.text[i] < '0' || part.text[i] > '9')
            return 0;
    return 1;
}

// The rest of the path once the cursor's parts so far are taken.
static const char* RestOf(const PartCursor& cursor)
{
    return cursor.next != NULL ? cursor.next : "";
}

int FindKeyPathAlias(KeyRoot root, const char* keyPath, int (*isLeadByte)(unsigned char), KeyPathAlias* alias)
{
    if (keyPath == NULL)
        return 0;
    PartCursor cursor = { keyPath, FindSignificantEnd(keyPath, isLeadByte), isLeadByte };
    KeyPart part;
    if (!NextPart(&cursor, &part))
        return 0;
    if (root == KEY_ROOT_USERS) {
        // A user's own classes hive, <SID>_Classes.
        if (PartEndsWith(part, "_Classes")) {
            KeyPathAlias found = { KEY_ROOT_CLASSES_ROOT, "", RestOf(cursor) };
            *alias = found;
            return 1;
        }
        // Otherwise the user's hive, read like HKEY_CURRENT_USER.
        if (!NextPart(&cursor, &part))
            return 0;
    }
    KeyPart second;
    if (root != KEY_ROOT_CLASSES_ROOT && PartIs(part, "Software") && NextPart(&cursor, &second) &&
        PartIs(second, "Classes")) {
        KeyPathAlias found = { KEY_ROOT_CLASSES_ROOT, "", RestOf(cursor) };
        *alias = found;
        return 1;
    }
    if (root == KEY_ROOT_LOCAL_MACHINE && PartIs(part, "SYSTEM") && NextPart(&cursor, &second) &&
        IsNumberedControlSet(second)) {
        KeyPathAlias found = { KEY_ROOT_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet", RestOf(cursor) };
        *alias = found;
        return 1;
    }
    return 0;
}

// True when the parts left in cursor name the listed key or one of its
// ancestors.
static int IsAtOrAbove(PartCursor cursor, const char* listed)
{
    KeyPart part;
    while (NextPart(&cursor, &part)) {
        if (*listed == '\0')
            return 0;  // the path goes on below the listed key
        size_t cch = 0;
        while (listed[cch] != '\0' && listed[cch] != '\\')
            ++cch;
        if (cch != part.cch)
            return 0;
        // The listed names are ASCII: a lead byte never matches one of
        // their bytes, so a double-byte character cannot pass for them.
        for (size_t i = 0; i < cch; ++i)
            if (LowerAscii(part.text[i]) != LowerAscii(listed[i]))
                return 0;
        listed += listed[cch] == '\\' ? cch + 1 : cch;
    }
    return 1;
}

// The listed name after prefix and its backslash (the whole name for an
// empty prefix); NULL when the name does not lie below prefix.
static const char* SkipPrefix(const char* listed, const char* prefix)
{
    if (prefix[0] == '\0')
        return listed;
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i)
        if (LowerAscii(listed[i]) != LowerAscii(prefix[i]))
            return NULL;
    return listed[i] == '\\' ? listed + i + 1 : NULL;
}

KeyPathVerdict ClassifyKeyPath(KeyRoot root, const char* keyPath, int (*isLeadByte)(unsigned char))
{
    if (keyPath == NULL)
        return KEY_PATH_EMPTY;
    const char* end = FindSignificantEnd(keyPath, isLeadByte);
    if (end == keyPath)
        return KEY_PATH_EMPTY;

    // A leading backslash gives an empty first part.
    PartCursor cursor = { keyPath, end, isLeadByte };
    size_t count = 0;
    KeyPart part;
    while (NextPart(&cursor, &part)) {
        if (part.cch == 0 || IsDotPart(part))
            return KEY_PATH_MALFORMED;
        ++count;
    }

    if (root == KEY_ROOT_USERS && count == 1)
        return KEY_PATH_WHOLE_HIVE;

    // Another spelling is judged as the key it names, prefix\rest: the
    // parts of rest against what the list names below prefix.
    PartCursor below = { keyPath, end, isLeadByte };
    const char* prefix = "";
    KeyPathAlias alias = { root, "", NULL };
    if (FindKeyPathAlias(root, keyPath, isLeadByte, &alias)) {
        PartCursor rest = { alias.rest, FindSignificantEnd(alias.rest, isLeadByte), isLeadByte };
        if (rest.end == alias.rest)
            rest.next = NULL;
        below = rest;
        prefix = alias.prefix;
        root = alias.root;
    } else {
        if (root == KEY_ROOT_USERS) {
            NextPart(&below, &part);
            --count;
        }
        if (root != KEY_ROOT_CLASSES_ROOT && count == 1)
            return KEY_PATH_SHARED;
    }

    const char* const* listed = kUserKeys;
    size_t listedCount = sizeof(kUserKeys) / sizeof(kUserKeys[0]);
    if (root == KEY_ROOT_LOCAL_MACHINE) {
        listed = kMachineKeys;
        listedCount = sizeof(kMachineKeys) / sizeof(kMachineKeys[0]);
    } else if (root == KEY_ROOT_CLASSES_ROOT) {
        listed = kClassesKeys;
        listedCount = sizeof(kClassesKeys) / sizeof(kClassesKeys[0]);
    }
    for (size_t i = 0; i < listedCount; ++i) {
        const char* name = SkipPrefix(listed[i], prefix);
        if (name != NULL && IsAtOrAbove(below, name))
            return KEY_PATH_SHARED;
    }
    return KEY_PATH_DELETABLE;
}
