// Registry exports: the header lines name the keys, the value lines below a
// header what is set in it; comments are stepped over, and the continuation
// lines of long hexadecimal values are joined to their value's line.

#include "reg_export.h"

#include <cctype>
#include <cstdlib>

#include "codepage.h"

namespace {

const char kRegedit4[] = "REGEDIT4";
const char kVersion5[] = "Windows Registry Editor Version 5.00";

std::string TrimmedLine(const std::string& line)
{
    size_t first = line.find_first_not_of(" \t");
    size_t last = line.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
}

// Reads the quoted string that starts at s[at] ('"'); the Registry Editor
// writes '\\' and '"' inside it with a backslash in front. Returns the index
// past the closing quote, or npos when there is none.
size_t ReadQuoted(const std::string& s, size_t at, std::string* out)
{
    out->clear();
    for (size_t i = at + 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size())
            *out += s[++i];
        else if (s[i] == '"')
            return i + 1;
        else
            *out += s[i];
    }
    return std::string::npos;
}

// The bytes of "hh,hh,..." data.
bool ReadHexBytes(const std::string& s, std::string* bytes)
{
    bytes->clear();
    for (size_t at = 0; at < s.size();) {
        size_t comma = s.find(',', at);
        std::string h = TrimmedLine(s.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        at = comma == std::string::npos ? s.size() : comma + 1;
        if (h.empty() && comma == std::string::npos)
            break;
        if (h.size() != 2 || !isxdigit((unsigned char)h[0]) || !isxdigit((unsigned char)h[1]))
            return false;
        *bytes += (char)std::stoi(h, nullptr, 16);
    }
    return true;
}

// One value line ("name"=data or @=data). False when it is no value line
// that sets a value (a deletion, "name"=-, sets none); a string of a type
// that holds one gets its text in UTF-8.
bool ReadValueLine(const std::string& s, bool ansi, int codePage, RegExportValue* value)
{
    size_t at = 0;
    if (s[0] == '@') {
        value->name.clear();
        at = 1;
    } else if ((at = ReadQuoted(s, 0, &value->name)) == std::string::npos) {
        return false;
    }
    at = s.find_first_not_of(" \t", at);
    if (at == std::string::npos || s[at] != '=')
        return false;
    std::string data = TrimmedLine(s.substr(at + 1));
    if (data.empty() || data == "-")
        return false;
    if (data[0] == '"') {
        value->type = 1;
        return ReadQuoted(data, 0, &value->text) != std::string::npos;
    }
    if (data.compare(0, 6, "dword:") == 0) {
        value->type = 4;
        return true;
    }
    size_t colon = data.find(':');
    if (colon == std::string::npos || data.compare(0, 3, "hex") != 0)
        return false;
    value->type = 3;
    if (data[3] == '(')
        value->type = (unsigned)std::strtoul(data.c_str() + 4, nullptr, 16);
    std::string bytes;
    if (!ReadHexBytes(data.substr(colon + 1), &bytes))
        return false;
    if (value->type == 1 || value->type == 2) {
        // The string as stored: ANSI in a REGEDIT4 file, UTF-16 in the other.
        if (ansi) {
            bytes = bytes.substr(0, bytes.find('\0'));
            return CodePageToUtf8(bytes, codePage, &value->text);
        }
        size_t end = 0;
        while (end + 1 < bytes.size() && (bytes[end] != '\0' || bytes[end + 1] != '\0'))
            end += 2;
        return Utf16LeToUtf8(bytes.substr(0, end), &value->text);
    }
    return true;
}

}  // namespace

bool ReadRegExport(const std::string& bytes, int codePage, std::vector<RegExportKey>* keys,
                   std::string* problem)
{
    keys->clear();
    std::string text;
    if (bytes.size() >= 2 && (unsigned char)bytes[0] == 0xFF && (unsigned char)bytes[1] == 0xFE) {
        if (!Utf16LeToUtf8(bytes.substr(2), &text)) {
            *problem = "it starts like UTF-16 text but is no valid UTF-16";
            return false;
        }
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = bytes.substr(3);
    } else {
        text = bytes;
    }

    size_t firstEnd = text.find('\n');
    std::string first = TrimmedLine(text.substr(0, firstEnd));
    bool ansi = first == kRegedit4;
    if (!ansi && first != kVersion5) {
        *problem = "it does not start with \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\"";
        return false;
    }
    if (ansi && !CodePageToUtf8(text, codePage, &text)) {
        *problem = "a REGEDIT4 file is text in the ANSI code page, and this one holds bytes that are no "
                   "text in code page " + std::to_string(codePage);
        return false;
    }

    RegExportKey* current = nullptr;   // the key the value lines below belong to
    int line = 0;
    for (size_t at = 0; at < text.size();) {
        // One logical line: a value whose line ends in a backslash goes on
        // in the next line.
        std::string s;
        int first = line + 1;
        for (;;) {
            size_t end = text.find('\n', at);
            std::string raw = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? text.size() : end + 1;
            ++line;
            s += TrimmedLine(raw);
            if (s.empty() || s[0] == '[' || s.back() != '\\' || at >= text.size())
                break;
            s.pop_back();
        }
        if (s.empty() || s[0] == ';')
            continue;
        if (s[0] != '[') {
            RegExportValue value;
            value.line = first;
            if (current != nullptr && (s[0] == '"' || s[0] == '@') && ReadValueLine(s, ansi, codePage, &value))
                current->values.push_back(value);
            continue;
        }
        size_t close = s.rfind(']');
        if (close == std::string::npos) {
            *problem = "line " + std::to_string(line) + " starts a key with '[' but has no closing ']'";
            return false;
        }
        std::string name = s.substr(1, close - 1);
        current = nullptr;
        if (!name.empty() && name[0] == '-')
            continue;
        RegExportKey key;
        size_t cut = name.find('\\');
        key.root = name.substr(0, cut);
        key.path = cut == std::string::npos ? std::string() : name.substr(cut + 1);
        key.line = line;
        keys->push_back(key);
        current = &keys->back();
    }
    return true;
}
