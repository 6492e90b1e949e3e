// The portable INI reader: one pass that splits lines at line feeds, then
// look-ups that follow the profile functions' matching rules.

#include "ini_reader.h"

#include <string.h>

bool IsIniBlank(unsigned char c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == ' ';
}

static char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

// Names and values are C strings inside the profile functions, so an
// embedded NUL ends them; the trimming happened before that cut.
static std::string CutAtNul(const char* begin, const char* end)
{
    const void* nul = memchr(begin, '\0', (size_t)(end - begin));
    return std::string(begin, nul ? (const char*)nul : end);
}

static std::string TrimBlanks(const std::string& s)
{
    size_t first = 0, last = s.size();
    while (first < last && IsIniBlank((unsigned char)s[first]))
        ++first;
    while (last > first && IsIniBlank((unsigned char)s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

IniText ParseIniText(const std::string& text)
{
    IniText ini;
    ini.sections.emplace_back();

    size_t skip = 0;
    if (text.size() >= 3 && memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0) {
        ini.encoding = IniEncoding::Utf8Bom;
        skip = 3;
    } else if (text.size() >= 2 && (memcmp(text.data(), "\xFF\xFE", 2) == 0 ||
                                    memcmp(text.data(), "\xFE\xFF", 2) == 0)) {
        // Read as UTF-16 by the profile functions: nothing in it can be
        // matched byte for byte, and the check reports the mark itself.
        ini.encoding = IniEncoding::Utf16Bom;
        return ini;
    }

    const char* p = text.data() + skip;
    const char* const end = text.data() + text.size();
    int line = 0;
    bool previousKeyNameless = false;
    bool havePreviousKey = false;
    while (p < end) {
        // A line ends at a carriage return or a line feed alike; CR LF
        // counts as one line end for the line numbers.
        const char* lineStart = p;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        const char* lineEnd = p;
        if (p < end)
            p += (*p == '\r' && p + 1 < end && p[1] == '\n') ? 2 : 1;
        ++line;

        while (lineStart < lineEnd && IsIniBlank((unsigned char)*lineStart))
            ++lineStart;
        while (lineEnd > lineStart && IsIniBlank((unsigned char)lineEnd[-1]))
            --lineEnd;
        if (lineStart >= lineEnd)
            continue;

        if (*lineStart == '[') {
            // The name runs to the last "]" of the line, so text after it
            // is dropped and a "]" inside the name is kept. A line without
            // "]" is no header at all: it reads as a key.
            const char* close = nullptr;
            for (const char* q = lineEnd; q > lineStart + 1; --q) {
                if (q[-1] == ']') {
                    close = q - 1;
                    break;
                }
            }
            if (close != nullptr) {
                // Blanks inside the brackets are not part of the name.
                const char* nameStart = lineStart + 1;
                const char* nameEnd = close;
                while (nameStart < nameEnd && IsIniBlank((unsigned char)*nameStart))
                    ++nameStart;
                while (nameEnd > nameStart && IsIniBlank((unsigned char)nameEnd[-1]))
                    --nameEnd;
                IniSection section;
                section.name = CutAtNul(nameStart, nameEnd);
                section.line = line;
                ini.sections.push_back(section);
                havePreviousKey = false;
                continue;
            }
        }

        IniKey key;
        key.line = line;
        const char* equals = (const char*)memchr(lineStart, '=', (size_t)(lineEnd - lineStart));
        const char* nameEnd = lineEnd;
        if (equals != nullptr) {
            nameEnd = equals;
            while (nameEnd > lineStart && IsIniBlank((unsigned char)nameEnd[-1]))
                --nameEnd;
            const char* valueStart = equals + 1;
            while (valueStart < lineEnd && IsIniBlank((unsigned char)*valueStart))
                ++valueStart;
            key.value = CutAtNul(valueStart, lineEnd);
            key.hasEquals = true;
        }
        // Runs of lines with an empty name (a line that starts with "=")
        // keep only their first, as the profile functions do; none of them
        // can be looked up, so this only matters for reporting.
        if (nameEnd == lineStart && havePreviousKey && previousKeyNameless)
            continue;
        key.name = CutAtNul(lineStart, nameEnd);
        ini.sections.back().keys.push_back(key);
        havePreviousKey = true;
        previousKeyNameless = key.name.empty();
    }
    return ini;
}

const IniSection* FindIniSection(const IniText& ini, const std::string& name)
{
    // An empty name finds the nameless part before the first header.
    std::string wanted = TrimBlanks(name);
    for (const IniSection& section : ini.sections) {
        if (EqualsIgnoringCase(section.name, wanted))
            return &section;
    }
    return nullptr;
}

const IniKey* FindIniKey(const IniText& ini, const std::string& section, const std::string& key)
{
    const IniSection* found = FindIniSection(ini, section);
    if (found == nullptr)
        return nullptr;
    std::string wanted = TrimBlanks(key);
    for (const IniKey& k : found->keys) {
        if (EqualsIgnoringCase(k.name, wanted))
            return &k;
    }
    return nullptr;
}

std::string ReadIniString(const IniText& ini, const std::string& section,
                          const std::string& key, const std::string& defaultValue)
{
    if (key.empty())
        return std::string();
    const IniKey* found = FindIniKey(ini, section, key);
    std::string value = (found != nullptr && found->hasEquals) ? found->value : defaultValue;
    // One pair of matching quotes around the whole value goes; a lone
    // quote stays.
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
        value[value.size() - 1] == value[0])
        value = value.substr(1, value.size() - 2);
    return value;
}

unsigned ReadIniInt(const IniText& ini, const std::string& section,
                    const std::string& key, int defaultValue)
{
    std::string text = ReadIniString(ini, section, key, "");
    if (text.empty())
        return (unsigned)defaultValue;
    // The profile functions read the number from a 30-character buffer.
    if (text.size() > 29)
        text.resize(29);
    size_t i = 0;
    while (i < text.size() && (unsigned char)text[i] <= ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // The number conversion honours the prefixes 0b, 0o and 0x whatever
    // base it was asked for.
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == '0') {
        char prefix = text[i + 1];
        base = prefix == 'b' ? 2 : prefix == 'o' ? 8 : prefix == 'x' ? 16 : 10;
        if (base != 10)
            i += 2;
    }
    unsigned result = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        unsigned digit = (c >= '0' && c <= '9') ? (unsigned)(c - '0')
                       : (c >= 'a' && c <= 'z') ? (unsigned)(c - 'a' + 10)
                       : (c >= 'A' && c <= 'Z') ? (unsigned)(c - 'A' + 10) : 99u;
        if (digit >= base)
            break;
        result = result * base + digit;
    }
    return negative ? 0u - result : result;
}
