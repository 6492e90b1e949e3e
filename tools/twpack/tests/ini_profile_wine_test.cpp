// The portable INI reader against the real profile functions: every file of
// a corpus of awkward texts is written to disk and every section/key pair
// that the file could be asked for is read both ways; the answers must match.

#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <set>
#include <string>
#include <vector>

#include "ini_reader.h"
#include "test_support.h"

namespace {

struct CorpusFile {
    const char* name;
    std::string text;
};

std::string Repeat(char c, size_t n) { return std::string(n, c); }

template <size_t N>
std::string WithNuls(const char (&bytes)[N]) { return std::string(bytes, N - 1); }

// Files whose bytes mean the same under every ANSI code page.
std::vector<CorpusFile> PortableCorpus()
{
    return {
        { "plain CR LF", "[Options]\r\nUninstallKey=Sample App\r\n[Files]\r\n"
                         "0=C:\\App\\a.exe\r\n1=C:\\App\\\r\n" },
        { "LF only", "[Options]\nUninstallKey=Sample App\n[Files]\n0=C:\\App\\a.exe\n" },
        { "no final newline", "[Files]\n0=C:\\App\\a.exe\n1=C:\\App\\b.exe" },
        { "no final newline after header", "[Files]\n0=a\n[Group]" },
        { "comments", "; top comment\n[Files]\n; 0=commented out\n0=C:\\a ; not a comment\n"
                      "#1=hash\n1=C:\\b\n;k=v\nk=w\n" },
        { "duplicate sections", "[Files]\n0=first\n[Other]\nx=1\n[files]\n0=second\n1=later\n" },
        { "duplicate keys", "[Files]\n0=first\n0=second\n1=x\n 1 =y\n" },
        { "key without equals first", "[Files]\n0\n0=C:\\x\n1 = \n" },
        { "blank lines and blanks", "\n\n  [Files]  \n\n   0   =   C:\\a b   \n\t1\t=\tC:\\t\t\n\n" },
        { "blanks inside brackets", "[ Files ]\n0=a\n[Files ]\n0=b\n[Files]\n0=c\n" },
        { "quotes", "[Q]\na=\"quoted\"\nb='single'\nc=\"mismatch'\nd=\"\ne=\"\"\n"
                    "f=\" padded \"\ng=\"in\"side\"\nh='\ni=  'x'  \nj=\"a\"b\n" },
        { "very long lines", "[Files]\n0=C:\\" + Repeat('x', 3000) + "\n" + Repeat('k', 400) +
                             "=long name\n1=" + Repeat('y', 20000) + "\n" },
        { "case differences", "[FILES]\nUNINSTALLKEY=x\n0=A\n[options]\nuninstallkey=y\n" },
        { "lone CR", "[Files]\r0=a\r1=b\r\n2=c\r\r\n3=d\n\r\n" },
        { "CR CR LF", "[Files]\r\r\n0=a\r\r\n\r\r\n1=b\r\r\n" },
        { "header oddities", "[Fi]les]\n0=a\n[NoClose\n0=b\n[Files] trailing\n0=c\n[]\n0=d\n"
                             "[Group\n1=e\n" },
        { "equals in value", "[S]\nk==v=w\n=nokey\n=second\n k = = \nm=\n" },
        { "keys before any section", "0=orphan\nk=v\n[Files]\n1=x\n" },
        { "control-Z and other blanks", "[S]\x1a\nk=v\x1a\n\x1ak2=v2\n\vk3=v3\f\nk4 \t=\x1a v4 \n" },
        { "embedded NUL", WithNuls("[S]\nk=ab\0cd\nn\0x=1\n[T\0U]\nz=1\n") },
        { "numbers for CommonGroup", "[Group]\nCommonGroup= 12abc\na=-5\nb=+7\nc=abc\nd=4294967297\n"
                                     "e= \"3\"\nf=0x10\ng=" + Repeat('9', 40) + "\nh= - 4\n" },
        { "UTF-8 byte order mark", "\xEF\xBB\xBF[Options]\nUninstallKey=x\n[Files]\n0=y\n" },
        { "empty file", "" },
        { "only blanks", " \r\n\t\n" },
    };
}

// High bytes that code page 1252 maps one to one.
std::vector<CorpusFile> Corpus1252()
{
    return {
        { "accented letters", "[S]\ncaf\xe9=\xe0 la carte\n[\xc9T\xc9]\nk=\xff\xfe\n" },
        { "upper and lower accented section", "[\xe9t\xe9]\nk=lower\n[\xc9T\xc9]\nk=upper\n" },
        { "no-break space at the ends", "[S]\nk=\xa0value\xa0\n" },
    };
}

// Shift-JIS texts for code page 932.
std::vector<CorpusFile> Corpus932()
{
    return {
        // "表" is 95 5C: its trail byte is a backslash.
        { "trail byte backslash", "[Files]\n0=C:\\\x95\x5C\n1=C:\\\x95\x5C\\\n" },
        // An ideographic space (81 40) at the end of a value.
        { "ideographic space", "[S]\nk=a\x81\x40\n\x81\x40m=b\n" },
        // "スタートアップ" as a key and a value.
        { "katakana", "[Group]\n0=\x83\x58\x83\x5E\x81\x5B\x83\x67\x83\x41\x83\x62\x83\x76\n"
                      "\x83\x58=\x83\x5E\n" },
        // "ゾ" is 83 5D: its trail byte closes a bracket.
        { "trail byte bracket", "[\x83\x5D]\nk=a\n[A\x83\x5D]\nk=b\n" },
    };
}

bool IsAscii(const std::string& s)
{
    for (char c : s)
        if ((unsigned char)c >= 0x80)
            return false;
    return true;
}

// Every section and key name the file could be asked for: the names as they
// stand, trimmed, with blanks around them, and the names the uninstaller
// asks for; ASCII names also in other case. (The reader folds ASCII letters
// only, which is all the uninstaller's names need: in a double-byte code
// page a trail byte may look like a letter and must not be folded.)
std::set<std::string> Variants(const std::vector<std::string>& names)
{
    std::set<std::string> all(names.begin(), names.end());
    for (const std::string& n : names) {
        all.insert(" " + n + "\t");
        if (!IsAscii(n))
            continue;
        std::string upper = n, lower = n;
        for (char& c : upper) if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
        for (char& c : lower) if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        all.insert(upper);
        all.insert(lower);
    }
    all.erase(std::string());
    return all;
}

int CompareCorpusFile(const std::string& dir, int index, const CorpusFile& file)
{
    SCOPED_TRACE(file.name);
    std::string path = dir + "corpus" + std::to_string(index) + ".ini";
    WriteFileBytes(path, file.text);
    IniText ini = ParseIniText(file.text);

    std::vector<std::string> sections = { "Options", "Files", "Group", "General", "S", "Q",
                                          "Registry_CURRENT_USER", "Other", "T" };
    std::vector<std::string> keys = { "UninstallKey", "CommonGroup", "0", "1", "2", "3", "k" };
    for (const IniSection& s : ini.sections) {
        sections.push_back(s.name);
        for (const IniKey& k : s.keys)
            keys.push_back(k.name);
    }
    std::set<std::string> sectionSet = Variants(sections);
    std::set<std::string> keySet = Variants(keys);

    std::vector<char> buffer(70000);
    int compared = 0;
    for (const std::string& section : sectionSet) {
        for (const std::string& key : keySet) {
            SCOPED_TRACE("[" + section + "] " + key.substr(0, 40));
            DWORD cch = GetPrivateProfileStringA(section.c_str(), key.c_str(), "(none)", buffer.data(),
                                                 (DWORD)buffer.size(), path.c_str());
            std::string windows(buffer.data(), cch);
            EXPECT_EQ(windows, ReadIniString(ini, section, key, "(none)"));
            UINT number = GetPrivateProfileIntA(section.c_str(), key.c_str(), -7, path.c_str());
            EXPECT_EQ(number, ReadIniInt(ini, section, key, -7));
            ++compared;
        }
    }
    EXPECT_GT(compared, 0);
    return compared;
}

void CompareCorpus(const std::string& dirName, const std::vector<CorpusFile>& corpus)
{
    std::string dir = MakeSandboxDir(dirName);
    int index = 0, compared = 0;
    for (const CorpusFile& file : corpus)
        compared += CompareCorpusFile(dir, index++, file);
    printf("[ %d files, %d section/key look-ups compared ]\n", index, compared);
}

}  // namespace

TEST(IniReaderAgainstProfile, PortableCorpus)
{
    CompareCorpus("ini-portable", PortableCorpus());
}

TEST(IniReaderAgainstProfile, CodePage1252Corpus)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs code page 1252";
    CompareCorpus("ini-1252", Corpus1252());
}

TEST(IniReaderAgainstProfile, CodePage932Corpus)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "needs code page 932";
    CompareCorpus("ini-932", Corpus932());
}

// What a list looks like to both readers: the uninstaller reads keys 0, 1,
// ... until the first empty value.
TEST(IniReaderAgainstProfile, ListsEndAtTheSameEntry)
{
    std::string dir = MakeSandboxDir("ini-lists");
    const CorpusFile cases[] = {
        { "gap", "[Files]\n0=a\n1=b\n3=d\n" },
        { "empty value", "[Files]\n0=a\n1=\n2=c\n" },
        { "empty quotes", "[Files]\n0=a\n1=\"\"\n2=c\n" },
        { "leading zero", "[Files]\n0=a\n01=b\n" },
        { "value-less first", "[Files]\n0=a\n1\n1=b\n" },
        { "split section", "[Files]\n0=a\n[Files]\n1=b\n" },
    };
    int index = 0;
    for (const CorpusFile& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir + "list" + std::to_string(index++) + ".ini";
        WriteFileBytes(path, c.text);
        IniText ini = ParseIniText(c.text);
        unsigned windowsCount = 0, portableCount = 0;
        char value[MAX_PATH];
        while (GetPrivateProfileStringA("Files", std::to_string(windowsCount).c_str(), "", value,
                                        MAX_PATH, path.c_str()) > 0)
            ++windowsCount;
        while (!ReadIniString(ini, "Files", std::to_string(portableCount), "").empty())
            ++portableCount;
        EXPECT_EQ(windowsCount, portableCount);
        EXPECT_GE(portableCount, 1u);
    }
}
