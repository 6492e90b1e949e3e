// The table of Windows' and well-known keys, and the reading of a key path
// for its maker. The uninstaller's own guard (info/protected_keys) refuses
// to delete the keys that everybody's data lies below; this table names the
// keys below those that no program's installer creates whole, so that an
// export of them is never taken for the program's.

#include "key_ownership.h"

#include "info/protected_keys.h"
#include "ini_reader.h"

namespace {

// Below a user's registry (HKEY_CURRENT_USER, or a user of HKEY_USERS).
const char* const kUserKeys[] = {
    "AppEvents", "Console", "Control Panel", "Environment", "Keyboard Layout", "Network", "Printers",
    "System", "Volatile Environment", "Software\\Microsoft", "Software\\Wine",
    "Software\\Wow6432Node\\Microsoft", "Software\\Wow6432Node\\Wine",
};

// Below HKEY_LOCAL_MACHINE.
const char* const kMachineKeys[] = {
    "SOFTWARE\\Microsoft", "SOFTWARE\\Wine", "SOFTWARE\\Wow6432Node\\Microsoft", "SOFTWARE\\Wow6432Node\\Wine",
    "SYSTEM", "HARDWARE", "SAM", "SECURITY", "BCD00000000",
};

// Below the classes: the registrations that every program shares (a
// program's own class below them is named with --own-key), and the file
// types and classes that Windows registers.
const char* const kClassKeys[] = {
    "CLSID", "Interface", "TypeLib", "AppID", "MIME", "Wow6432Node", "Applications", "SystemFileAssociations",
    "Installer", "Local Settings", "*", "Unknown", "Folder", "Directory", "Drive", "AllFilesystemObjects",
    "http", "https", "ftp", "file", "mailto", "news", "telnet",
    ".bat", ".bmp", ".cab", ".chm", ".cmd", ".com", ".cpl", ".dll", ".exe", ".gif", ".hlp", ".htm", ".html",
    ".ico", ".inf", ".ini", ".jpeg", ".jpg", ".js", ".lnk", ".log", ".msi", ".pif", ".png", ".reg", ".rtf",
    ".scr", ".sys", ".txt", ".url", ".vbs", ".wav", ".xml", ".zip",
    "batfile", "cmdfile", "comfile", "dllfile", "exefile", "giffile", "hlpfile", "htmlfile", "icofile",
    "inffile", "inifile", "jpegfile", "lnkfile", "pngfile", "regfile", "rtffile", "scrfile", "sysfile",
    "txtfile", "wavfile", "xmlfile", "InternetShortcut", "Paint.Picture", "Shell.Application",
};

bool StartsWithPart(const std::string& path, const std::string& prefix, std::string* rest)
{
    if (!IsAtOrBelow(path, prefix))
        return false;
    *rest = path.size() > prefix.size() ? path.substr(prefix.size() + 1) : std::string();
    return true;
}

std::string FirstPart(const std::string& path) { return path.substr(0, path.find('\\')); }

// A user's registry below HKEY_USERS: the first part names the user (a SID,
// .DEFAULT), or that user's classes (<SID>_Classes).
bool IsClassesOfUser(const std::string& user)
{
    const std::string suffix = "_Classes";
    return user.size() > suffix.size() && EqualsIgnoringCase(user.substr(user.size() - suffix.size()), suffix);
}

// The path below a user's registry, when the key lies in one.
bool UserPart(int root, const std::string& path, std::string* rest)
{
    if (root == KEY_ROOT_CURRENT_USER) {
        *rest = path;
        return true;
    }
    if (root != KEY_ROOT_USERS || path.empty() || IsClassesOfUser(FirstPart(path)))
        return false;
    size_t cut = path.find('\\');
    *rest = cut == std::string::npos ? std::string() : path.substr(cut + 1);
    return true;
}

// The path below the classes, when the key lies in them.
bool ClassesPart(int root, const std::string& path, std::string* rest)
{
    std::string user;
    if (root == KEY_ROOT_CLASSES_ROOT) {
        *rest = path;
        return true;
    }
    if (root == KEY_ROOT_LOCAL_MACHINE)
        return StartsWithPart(path, "SOFTWARE\\Classes", rest);
    if (root == KEY_ROOT_USERS && !path.empty() && IsClassesOfUser(FirstPart(path))) {
        size_t cut = path.find('\\');
        *rest = cut == std::string::npos ? std::string() : path.substr(cut + 1);
        return true;
    }
    return UserPart(root, path, &user) && StartsWithPart(user, "Software\\Classes", rest);
}

// The path below Software (or Software\Wow6432Node) of the machine or a user.
bool SoftwarePart(int root, const std::string& path, std::string* rest)
{
    std::string below;
    bool machine = root == KEY_ROOT_LOCAL_MACHINE;
    if (!machine && !UserPart(root, path, &below))
        return false;
    if (!StartsWithPart(machine ? path : below, "Software", rest))
        return false;
    std::string wow;
    if (StartsWithPart(*rest, "Wow6432Node", &wow))
        *rest = wow;
    return true;
}

}  // namespace

bool IsAtOrBelow(const std::string& path, const std::string& ancestor)
{
    if (ancestor.empty())
        return true;
    return path.size() >= ancestor.size() && EqualsIgnoringCase(path.substr(0, ancestor.size()), ancestor) &&
           (path.size() == ancestor.size() || path[ancestor.size()] == '\\');
}

std::string ClaimedKey(int root, const std::string& path)
{
    std::string rest;
    if (ClassesPart(root, path, &rest)) {
        for (const char* key : kClassKeys)
            if (!rest.empty() && IsAtOrBelow(rest, key))
                return std::string(key[0] == '.' ? "a file type that Windows registers, "
                                                 : "a class or registration that Windows or every program shares, ") +
                       key;
        return std::string();
    }
    if (UserPart(root, path, &rest)) {
        for (const char* key : kUserKeys)
            if (IsAtOrBelow(rest, key))
                return std::string("a user's key of Windows or Wine, ") + key;
        return std::string();
    }
    if (root == KEY_ROOT_LOCAL_MACHINE) {
        for (const char* key : kMachineKeys)
            if (IsAtOrBelow(path, key))
                return std::string("a key of Windows or Wine, ") + key;
    }
    return std::string();
}

std::string MakerOf(int root, const std::string& path)
{
    std::string rest, classes;
    if (ClassesPart(root, path, &classes) || !SoftwarePart(root, path, &rest) || rest.empty())
        return std::string();
    // A maker's policies lie below Policies; the programs below Clients are
    // named by their kind, not by their maker.
    std::string policies;
    if (StartsWithPart(rest, "Policies", &policies))
        rest = policies;
    return EqualsIgnoringCase(FirstPart(rest), "Clients") ? std::string() : FirstPart(rest);
}

bool IsContainerKey(int root, const std::string& path)
{
    std::string rest;
    if (path.empty() || (ClassesPart(root, path, &rest) && rest.empty()))
        return true;
    if (root == KEY_ROOT_USERS && path.find('\\') == std::string::npos)
        return true;   // a user's whole registry
    return SoftwarePart(root, path, &rest) && rest.empty();
}
