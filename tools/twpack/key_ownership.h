// Whose a key of a registry export is, as far as twpack init can tell from
// its path: the keys of Windows and of well-known programs (which no
// installer creates whole), the maker a key below Software belongs to, and
// the keys that hold many makers' or programs' keys (an export of one of
// them takes in every program's). Roots are indexed as KeyRoot; paths are
// below the root, without final backslashes.
#pragma once

#include <string>

// What claims the key, for the report ("a file type that Windows
// registers, .txt"), or empty when nothing in the table does.
std::string ClaimedKey(int root, const std::string& path);

// The maker a key below a Software key belongs to (the part below
// Software, or below Software\Wow6432Node), in any user's or the machine's
// registry; empty for any other key.
std::string MakerOf(int root, const std::string& path);

// True for a key whose subkeys are many makers' or programs' own: a root,
// a user's whole registry, Software and Software\Wow6432Node, and the
// classes (HKEY_CLASSES_ROOT and every Software\Classes).
bool IsContainerKey(int root, const std::string& path);

// True when path is ancestor itself or lies below it (case ignored).
bool IsAtOrBelow(const std::string& path, const std::string& ancestor);
