// The vendor tool's view of the information text: the uninstaller's index,
// turned into strings and line numbers once, and look-ups that go back to
// the index.

#include "ini_reader.h"

#include <string.h>

struct IniTextStore {
    std::string text;
    IniIndex index;
    IniTextStore() { memset(&index, 0, sizeof(index)); }
    ~IniTextStore() { FreeIniIndex(&index); }
    IniTextStore(const IniTextStore&) = delete;
    IniTextStore& operator=(const IniTextStore&) = delete;
};

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

// Line numbers of text offsets, asked in increasing order: a CR, an LF or a
// CR LF each end one line.
class LineCounter {
public:
    explicit LineCounter(const std::string& text) : text_(text) {}
    int LineOf(size_t offset)
    {
        for (; at_ < offset && at_ < text_.size(); ++at_) {
            char c = text_[at_];
            if (c == '\n' || (c == '\r' && (at_ + 1 >= text_.size() || text_[at_ + 1] != '\n')))
                ++line_;
        }
        return line_;
    }
private:
    const std::string& text_;
    size_t at_ = 0;
    int line_ = 1;
};

IniText ParseIniText(const std::string& text, const unsigned char* leadBytes)
{
    std::shared_ptr<IniTextStore> store = std::make_shared<IniTextStore>();
    store->text = text;
    // Without memory for the index the text reads as empty, as it would
    // for the uninstaller.
    BuildIniIndex(&store->index, store->text.data(), store->text.size(), leadBytes);
    const IniIndex& index = store->index;

    IniText ini;
    ini.encoding = index.encoding == INI_UTF8_BOM ? IniEncoding::Utf8Bom
                 : index.encoding == INI_UTF16_BOM ? IniEncoding::Utf16Bom : IniEncoding::Ansi;
    LineCounter lines(store->text);
    const char* base = store->text.data();
    for (unsigned i = 0; i < index.sectionCount; ++i) {
        const IniSectionEntry& e = index.sections[i];
        IniSection section;
        section.name.assign(base + e.nameAt, e.cchName);
        section.line = i == 0 ? 0 : lines.LineOf(e.nameAt);
        for (unsigned k = e.firstKey; k < e.firstKey + e.keyCount; ++k) {
            const IniKeyEntry& entry = index.keys[k];
            IniKey key;
            key.name.assign(base + entry.nameAt, entry.cchName);
            key.hasEquals = entry.cchValue != INI_NO_VALUE;
            if (key.hasEquals)
                key.value.assign(base + entry.valueAt, entry.cchValue);
            key.line = lines.LineOf(entry.nameAt);
            section.keys.push_back(key);
        }
        ini.sections.push_back(section);
    }
    ini.store = store;
    return ini;
}

const IniSection* FindIniSection(const IniText& ini, const std::string& name)
{
    if (!ini.store)
        return nullptr;
    const IniSectionEntry* found = FindIniSection(&ini.store->index, name.c_str());
    return found != nullptr ? &ini.sections[(size_t)(found - ini.store->index.sections)] : nullptr;
}

const IniKey* FindIniKey(const IniText& ini, const std::string& section, const std::string& key)
{
    const IniSection* s = FindIniSection(ini, section);
    if (s == nullptr)
        return nullptr;
    const IniKeyEntry* found = FindIniKey(&ini.store->index, section.c_str(), key.c_str());
    if (found == nullptr)
        return nullptr;
    const IniSectionEntry& e = ini.store->index.sections[(size_t)(s - &ini.sections[0])];
    return &s->keys[(size_t)(found - ini.store->index.keys) - e.firstKey];
}

std::string ReadIniString(const IniText& ini, const std::string& section,
                          const std::string& key, const std::string& defaultValue)
{
    if (!ini.store)
        return std::string();
    const char* value = nullptr;
    size_t cchValue = 0;
    if (FindIniValue(&ini.store->index, section.c_str(), key.c_str(), &value, &cchValue))
        return std::string(value, cchValue);
    // The default loses one pair of matching quotes as well.
    std::string fallback = defaultValue;
    if (fallback.size() >= 2 && (fallback[0] == '"' || fallback[0] == '\'') &&
        fallback[fallback.size() - 1] == fallback[0])
        fallback = fallback.substr(1, fallback.size() - 2);
    return fallback;
}

unsigned ReadIniInt(const IniText& ini, const std::string& section,
                    const std::string& key, int defaultValue)
{
    if (!ini.store)
        return (unsigned)defaultValue;
    return ReadIniNumber(&ini.store->index, section.c_str(), key.c_str(), defaultValue);
}
