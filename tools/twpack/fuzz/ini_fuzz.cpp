// libFuzzer target: the INI reader and the information check on arbitrary
// texts. Besides surviving every input, the reader's structure must agree
// with its own look-ups, and both report formats must come out whole.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "info_check.h"
#include "ini_reader.h"

static void Require(bool condition)
{
    if (!condition)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    IniText ini = ParseIniText(text);
    Require(!ini.sections.empty());

    int lastLine = 0;
    for (const IniSection& s : ini.sections) {
        Require(s.line >= lastLine);
        lastLine = s.line;
        // A name cut at a NUL may end in a blank, and then no look-up finds
        // it (nor does one with the profile functions); any other name is
        // found, at this section or an earlier one of the same name.
        const IniSection* found = FindIniSection(ini, s.name);
        bool findable = s.name.empty() ||
                        (!IsIniBlank((unsigned char)s.name.front()) && !IsIniBlank((unsigned char)s.name.back()));
        Require(!findable || (found != nullptr && found <= &s));
        for (const IniKey& k : s.keys) {
            Require(k.line >= lastLine && k.line > 0);
            lastLine = k.line;
            Require(k.name.find('\0') == std::string::npos && k.value.find('\0') == std::string::npos);
            Require(k.hasEquals || k.value.empty());
            std::string value = ReadIniString(ini, s.name, k.name, "\x01");
            if (found == &s && !k.name.empty() && FindIniKey(ini, s.name, k.name) == &k && k.hasEquals)
                Require(value.size() <= k.value.size());
            (void)ReadIniInt(ini, s.name, k.name, 0);
        }
    }

    std::vector<Finding> findings = CheckInfoText(text);
    for (const Finding& f : findings)
        Require(!f.message.empty() && f.line >= 0);
    std::string report = FormatFindingsText(findings, "fuzz.ini");
    Require(!report.empty() && report.back() == '\n');
    std::string json = FormatFindingsJson(findings, "fuzz.ini");
    Require(json.size() >= 2 && json.compare(json.size() - 2, 2, "}\n") == 0);
    for (unsigned char c : json)
        Require(c >= 0x20 ? c < 0x80 : c == '\n');
    return 0;
}
