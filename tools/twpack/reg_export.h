// Reading a registry export as the Registry Editor writes it, for the keys
// that importing it creates: "REGEDIT4" files in the ANSI code page and
// "Windows Registry Editor Version 5.00" files in UTF-16 (or UTF-8).
#pragma once

#include <string>
#include <vector>

// A value that importing the export sets.
struct RegExportValue {
    std::string name;   // UTF-8; empty for the default value ("@")
    unsigned type = 0;  // REG_SZ 1, REG_EXPAND_SZ 2, REG_BINARY 3, REG_DWORD 4, ...
    std::string text;   // for REG_SZ and REG_EXPAND_SZ: the string, UTF-8
    int line = 0;
};

struct RegExportKey {
    std::string root;   // the root as written before the first backslash
    std::string path;   // below the root, UTF-8; empty for the root itself
    int line = 0;       // 1-based line of the key's header
    std::vector<RegExportValue> values;   // in file order; deletions ("name"=-) left out
};

// Collects the key of every header line ("[ROOT\path]") in file order,
// with the values set below it; headers that delete a key ("[-ROOT\path]")
// create nothing and are left out with their lines. A REGEDIT4 text is read
// in codePage (its hex(2) strings too). False, with the reason in *problem,
// when the text is no registry export or cannot be read.
bool ReadRegExport(const std::string& bytes, int codePage, std::vector<RegExportKey>* keys,
                   std::string* problem);
