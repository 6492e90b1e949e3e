// Registry exports: the header lines name the keys; value lines, comments
// and the continuation lines of long hexadecimal values are stepped over.

#include "reg_export.h"

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

    bool continued = false;
    int line = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        std::string raw = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        ++line;
        std::string s = TrimmedLine(raw);
        // A value whose line ends in a backslash goes on in the next line.
        bool wasContinued = continued;
        continued = !s.empty() && s.back() == '\\' && s[0] != '[';
        if (wasContinued || s.empty() || s[0] != '[')
            continue;
        size_t close = s.rfind(']');
        if (close == std::string::npos) {
            *problem = "line " + std::to_string(line) + " starts a key with '[' but has no closing ']'";
            return false;
        }
        std::string name = s.substr(1, close - 1);
        if (!name.empty() && name[0] == '-')
            continue;
        RegExportKey key;
        size_t cut = name.find('\\');
        key.root = name.substr(0, cut);
        key.path = cut == std::string::npos ? std::string() : name.substr(cut + 1);
        key.line = line;
        keys->push_back(key);
    }
    return true;
}
