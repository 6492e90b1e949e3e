// Where the folders that differ from machine to machine lie on the vendor's
// own machine, in the layouts that Windows has used for them.

#include "portable_paths.h"

#include "ini_reader.h"

namespace {

struct KnownFolder {
    const char* below;        // the folder's path below its base
    const char* placeholder;
};

// Below a user's profile folder, longest first.
const KnownFolder kProfileFolders[] = {
    { "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", "<programs>" },
    { "Start Menu\\Programs", "<programs>" },
    { "Local Settings\\Application Data", "<localappdata>" },
    { "AppData\\Roaming", "<appdata>" },
    { "AppData\\Local", "<localappdata>" },
    { "Application Data", "<appdata>" },
    { "Desktop", "<desktop>" },
};

// Below a drive's root: the shared folders (looked at before the profiles,
// since "All Users" and "Public" are no user's).
const KnownFolder kSharedFolders[] = {
    { "ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "<commonprograms>" },
    { "Documents and Settings\\All Users\\Start Menu\\Programs", "<commonprograms>" },
    { "Documents and Settings\\All Users\\Desktop", "<commondesktop>" },
    { "Users\\Public\\Desktop", "<commondesktop>" },
};

// The Windows folder, and the one user's folders inside it where the 9x
// family keeps no profiles (looked at after the profiles below it).
const KnownFolder kWindowsFolders[] = {
    { "Windows\\Start Menu\\Programs", "<programs>" },
    { "Windows\\Desktop", "<desktop>" },
    { "Windows\\Application Data", "<appdata>" },
    { "Windows\\System32", "<system>" },
    { "Windows\\System", "<system>" },
    { "WINNT\\System32", "<system>" },
    { "Windows", "<windows>" },
    { "WINNT", "<windows>" },
};

// Profile folders that belong to no one user.
const char* const kSharedProfiles[] = { "All Users", "Public", "Default", "Default User" };

// Where the users' profiles lie below a drive's root.
const char* const kProfileRoots[] = {
    "Users\\", "Documents and Settings\\", "Windows\\Profiles\\", "WINNT\\Profiles\\",
};

bool StartsWith(const std::string& s, size_t at, const std::string& prefix)
{
    return s.size() - at >= prefix.size() && EqualsIgnoringCase(s.substr(at, prefix.size()), prefix);
}

// Non-zero length when path[at..] begins with the folder `below`, followed by
// the end or a backslash.
size_t MatchFolder(const std::string& path, size_t at, const char* below)
{
    std::string folder = below;
    if (!StartsWith(path, at, folder))
        return 0;
    size_t end = at + folder.size();
    return end == path.size() || path[end] == '\\' ? folder.size() : 0;
}

std::string Rewrite(const std::string& path, size_t end, const char* placeholder)
{
    return placeholder + path.substr(end);
}

// The known folder of a table that path[3..] begins with, rewritten.
bool RewriteKnown(const std::string& path, const KnownFolder* table, size_t count, PortableForm* form)
{
    for (size_t i = 0; i < count; ++i) {
        size_t n = MatchFolder(path, 3, table[i].below);
        if (n != 0) {
            form->path = Rewrite(path, 3 + n, table[i].placeholder);
            return true;
        }
    }
    return false;
}

}  // namespace

PortableForm FindPortableForm(const std::string& path)
{
    PortableForm form;
    bool drive = path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
                 path[2] == '\\';
    if (!drive || RewriteKnown(path, kSharedFolders, sizeof kSharedFolders / sizeof kSharedFolders[0], &form))
        return form;
    for (const char* root : kProfileRoots) {
        if (!StartsWith(path, 3, root))
            continue;
        size_t user = 3 + std::string(root).size();
        size_t cut = path.find('\\', user);
        std::string name = path.substr(user, cut == std::string::npos ? std::string::npos : cut - user);
        bool shared = false;
        for (const char* s : kSharedProfiles)
            shared = shared || EqualsIgnoringCase(name, s);
        if (shared || name.empty())
            return form;
        form.profileUser = name;
        for (const KnownFolder& f : kProfileFolders) {
            size_t n = cut == std::string::npos ? 0 : MatchFolder(path, cut + 1, f.below);
            if (n != 0) {
                form.path = Rewrite(path, cut + 1 + n, f.placeholder);
                break;
            }
        }
        return form;
    }
    RewriteKnown(path, kWindowsFolders, sizeof kWindowsFolders / sizeof kWindowsFolders[0], &form);
    return form;
}
