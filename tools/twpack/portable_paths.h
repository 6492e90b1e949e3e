// The folders that a path written on the vendor's machine may point into
// although they lie elsewhere on the user's: a user's profile, the shared
// Start menu and desktop, the Windows folder. For each, the folder
// placeholder that the uninstaller resolves on the user's machine.
#pragma once

#include <string>

struct PortableForm {
    std::string path;         // the path written with the placeholder, or
                              // empty when none fits
    std::string profileUser;  // the user whose profile the path lies in, or
                              // empty when it lies in no user's profile
};

// Reads a full path as written on the vendor's machine (case ignored, in any
// of the profile layouts of Windows 95 to today). A path in no such folder,
// or already written with a placeholder, gives an empty form.
PortableForm FindPortableForm(const std::string& path);
