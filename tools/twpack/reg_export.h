// Reading a registry export as the Registry Editor writes it, for the keys
// that importing it creates: "REGEDIT4" files in the ANSI code page and
// "Windows Registry Editor Version 5.00" files in UTF-16 (or UTF-8).
#pragma once

#include <string>
#include <vector>

struct RegExportKey {
    std::string root;   // the root as written before the first backslash
    std::string path;   // below the root, UTF-8; empty for the root itself
    int line = 0;       // 1-based line of the key's header
};

// Collects the key of every header line ("[ROOT\path]") in file order;
// headers that delete a key ("[-ROOT\path]") create nothing and are left
// out. A REGEDIT4 text is read in codePage. False, with the reason in
// *problem, when the text is no registry export or cannot be read.
bool ReadRegExport(const std::string& bytes, int codePage, std::vector<RegExportKey>* keys,
                   std::string* problem);
