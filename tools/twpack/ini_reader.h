// The uninstall information text as the vendor tool sees it: the
// uninstaller's own reader (info/ini_index.h) with its sections and keys
// turned into strings with line numbers for the reports. Every look-up goes
// through that reader, so the tool checks exactly what the uninstaller
// reads. No Windows headers; built everywhere.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "info/ini_index.h"

// What the text starts with. The profile functions read a text that starts
// with a byte order mark as Unicode and hand the uninstaller converted
// bytes; the uninstaller's information is meant to be plain ANSI.
enum class IniEncoding { Ansi, Utf8Bom, Utf16Bom };

struct IniKey {
    std::string name;    // trimmed, cut at an embedded NUL as the lookup sees it
    std::string value;   // trimmed, quotes still on; empty when !hasEquals
    bool hasEquals = false;
    int line = 0;        // 1-based line number in the text
};

struct IniSection {
    std::string name;    // between "[" and the last "]", trimmed
    int line = 0;        // 0 for the nameless part before the first header
    std::vector<IniKey> keys;
};

struct IniTextStore;     // the text and the uninstaller's index of it

struct IniText {
    IniEncoding encoding = IniEncoding::Ansi;
    // sections[0] is always the nameless part before the first header;
    // only a look-up with an empty section name reaches it.
    std::vector<IniSection> sections;
    std::shared_ptr<const IniTextStore> store;
};

// Splits the text into sections and keys, stepping over double-byte
// characters when leadBytes (256 flags) is given. Never fails: every byte
// string gives some structure, as it does for the profile functions.
IniText ParseIniText(const std::string& text, const unsigned char* leadBytes = nullptr);

// The section that a look-up of `name` uses: the first one whose name
// matches without regard to ASCII case, after blanks around the asked
// name are dropped (an empty name finds the nameless part). Later sections
// of the same name are never read. nullptr when there is none.
const IniSection* FindIniSection(const IniText& ini, const std::string& name);

// The key that a look-up uses: the first matching key in the section that
// FindIniSection picks. nullptr when there is none.
const IniKey* FindIniKey(const IniText& ini, const std::string& section, const std::string& key);

// The value as GetPrivateProfileString returns it with an ample buffer:
// the default when the key is missing or has no "=", otherwise the value
// with one pair of matching surrounding quotes (' or ") removed. An empty
// key name finds only a key whose name is empty.
std::string ReadIniString(const IniText& ini, const std::string& section,
                          const std::string& key, const std::string& defaultValue);

// The value as GetPrivateProfileInt returns it: the default for a missing
// or empty value, otherwise the leading number of the first 29 characters
// (blanks, an optional sign, an optional 0b/0o/0x prefix, then digits;
// wrapping like a 32-bit unsigned); 0 when no digit follows.
unsigned ReadIniInt(const IniText& ini, const std::string& section,
                    const std::string& key, int defaultValue);

// Compares two names without regard to ASCII case. Bytes above 0x7F are
// compared as they are: the uninstaller's own names are ASCII, and in a
// double-byte code page a trail byte may look like an ASCII letter.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);
