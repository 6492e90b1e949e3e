// The uninstaller's reading of its information file against the real
// profile functions, on a corpus of awkward texts and on a few thousand
// seeded random hostile ones. Each file is compared three ways: its
// structure (the section names, and each section's keys as the profile
// functions list them), every look-up the uninstaller makes, and look-ups
// of the file's own names in other case and with blanks around.

#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "common/common.h"
#include "info/info.h"
#include "test_support.h"

namespace {

// Writes the file and dates it back: the profile functions parse a file
// written in the last two seconds again on every call.
void WriteSettled(const std::string& path, const std::string& text)
{
    WriteFileBytes(path, text);
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t = { { ft.dwLowDateTime, ft.dwHighDateTime } };
    t.QuadPart -= 600000000ULL;
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    SetFileTime(h, NULL, NULL, &ft);
    CloseHandle(h);
}

// The characters that the bytes of the file mean.
std::wstring Wide(const InfoFile& info, const char* p, size_t cch)
{
    UINT codePage = info.valueCodePage != 0 ? info.valueCodePage : CP_ACP;
    int cchWide = MultiByteToWideChar(codePage, 0, p, (int)cch, NULL, 0);
    std::wstring wide(cchWide, L'\0');
    MultiByteToWideChar(codePage, 0, p, (int)cch, &wide[0], cchWide);
    return wide;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] | (a[i] >= 'A' && a[i] <= 'Z' ? 0x20 : 0)) != (b[i] | (b[i] >= 'A' && b[i] <= 'Z' ? 0x20 : 0)))
            return false;
    return true;
}

// Section names, and the keys of the first section of each name, in the
// form GetPrivateProfileSectionW lists them (without comments, nor lines
// that have neither name nor "=").
std::wstring ReaderStructure(const InfoFile& info)
{
    std::wstring out;
    std::vector<std::wstring> seen;
    for (unsigned i = 1; i < info.index.sectionCount; ++i) {
        const IniSectionEntry& s = info.index.sections[i];
        std::wstring name = Wide(info, info.index.text + s.nameAt, s.cchName);
        if (name.empty())
            continue;
        out += L"[" + name + L"]\n";
        bool first = true;
        for (const std::wstring& n : seen)
            first = first && !SameName(n, name);
        seen.push_back(name);
        for (unsigned k = s.firstKey; first && k < s.firstKey + s.keyCount; ++k) {
            const IniKeyEntry& key = info.index.keys[k];
            const char* keyName = info.index.text + key.nameAt;
            if (keyName[0] == ';' || (key.cchName == 0 && key.cchValue == INI_NO_VALUE))
                continue;
            out += Wide(info, keyName, key.cchName);
            if (key.cchValue != INI_NO_VALUE)
                out += L"=" + Wide(info, info.index.text + key.valueAt, key.cchValue);
            out += L"\n";
        }
    }
    return out;
}

std::wstring ProfileStructure(const std::string& path, size_t cchBuffer)
{
    std::wstring widePath(path.begin(), path.end());
    std::vector<wchar_t> names(cchBuffer), keys(cchBuffer);
    GetPrivateProfileSectionNamesW(names.data(), (DWORD)cchBuffer, widePath.c_str());
    std::wstring out;
    std::vector<std::wstring> seen;
    for (const wchar_t* n = names.data(); *n; n += wcslen(n) + 1) {
        out += L"[" + std::wstring(n) + L"]\n";
        bool first = true;
        for (const std::wstring& s : seen)
            first = first && !SameName(s, n);
        seen.push_back(n);
        if (!first)
            continue;
        GetPrivateProfileSectionW(n, keys.data(), (DWORD)cchBuffer, widePath.c_str());
        for (const wchar_t* k = keys.data(); *k; k += wcslen(k) + 1)
            out += std::wstring(k) + L"\n";
    }
    return out;
}

void CompareLookUp(const InfoFile& info, const std::string& path, const std::string& section,
                   const std::string& key, size_t cchBuffer)
{
    SCOPED_TRACE("[" + section + "] " + key.substr(0, 40));
    std::vector<char> profile(cchBuffer), ours(cchBuffer);
    DWORD cch = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", profile.data(), (DWORD)cchBuffer,
                                         path.c_str());
    ReadInfoString(&info, section.c_str(), key.c_str(), ours.data(), cchBuffer);
    EXPECT_EQ(std::string(profile.data(), cch), std::string(ours.data()));
    EXPECT_EQ((int)GetPrivateProfileIntA(section.c_str(), key.c_str(), -7, path.c_str()),
              ReadInfoNumber(&info, section.c_str(), key.c_str(), -7));
}

// Entries 0, 1, ... as the worker reads them, and as the profile functions
// give them (every entry, or only the first `limit`).
void CompareList(const InfoFile& info, const std::string& path, const char* section, size_t cchBuffer,
                 size_t limit)
{
    SCOPED_TRACE(section);
    std::vector<std::string> ours;
    ForEachListEntry(&info, section, [](const char* value, InfoRead, void* context) -> int {
        static_cast<std::vector<std::string>*>(context)->push_back(value);
        return 1;
    }, &ours);
    std::vector<char> value(cchBuffer);
    for (size_t n = 0; n <= ours.size() && n < limit; ++n) {
        DWORD cch = GetPrivateProfileStringA(section, std::to_string(n).c_str(), "", value.data(),
                                             (DWORD)cchBuffer, path.c_str());
        ASSERT_EQ(n < ours.size() ? ours[n] : std::string(), std::string(value.data(), cch)) << "entry " << n;
    }
}

class Random {
public:
    explicit Random(unsigned seed) : state_(seed) {}
    unsigned Below(unsigned n)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ % n;
    }
    template <size_t N>
    const char* Pick(const char* const (&pool)[N]) { return pool[Below(N)]; }
private:
    unsigned state_;
};

const char* const kSections[] = { "Options", "Files", "Group", "General", "Registry_CURRENT_USER",
                                  "Registry_USERS", "s", "" };
const char* const kKeys[] = { "UninstallKey", "CommonGroup", "UninstFile", "UninstSrcProcess",
                              "0", "1", "2", "3", "01", "k" };

// A file the uninstaller could be handed, with every means of going wrong.
std::string RandomFile(Random& r, const std::vector<std::string>& ansiPieces)
{
    // After a UTF-8 mark, valid UTF-8 only (see the reader's header).
    static const std::vector<std::string> kUtf8Pieces = { "a", "Z", "0", " ", "=", "]", "[", ";", "\"", "\r",
                                                          "\xC3\xA9", "\xC3\x89", "\xE3\x82\xA2",
                                                          "\xEF\xBC\xBB" };
    const bool utf8 = r.Below(30) == 0;
    const std::vector<std::string>& pieces = utf8 ? kUtf8Pieces : ansiPieces;
    static const char* const kEnds[] = { "\r\n", "\n", "\r", "\r\r\n", "\n\n", "" };
    static const char* const kBlanks[] = { "", "", " ", "\t", " \x1A", "\x0B\x0C" };
    auto blank = [&] { return std::string(r.Pick(kBlanks)); };
    auto text = [&](unsigned most) {
        std::string s;
        for (unsigned n = r.Below(most); n > 0; --n)
            s += pieces[r.Below((unsigned)pieces.size())];
        return s;
    };
    auto name = [&](const char* const* pool, size_t count) {
        std::string s = r.Below(4) ? pool[r.Below((unsigned)count)] : text(4);
        for (char& c : s)
            if (r.Below(5) == 0 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'))
                c ^= 0x20;
        return s;
    };
    std::string file = utf8 ? "\xEF\xBB\xBF" : "";
    for (unsigned lines = r.Below(14); lines > 0; --lines) {
        std::string value = text(7);
        if (r.Below(6) == 0)
            value = (r.Below(2) ? "\"" : "'") + value + (r.Below(2) ? "\"" : "'");
        if (r.Below(200) == 0)
            value += std::string(3000 + r.Below(40000), 'x');
        switch (r.Below(7)) {
        case 0: file += blank() + "[" + blank() + name(kSections, 8) + blank() + "]" + (r.Below(4) ? "" : text(3)); break;
        case 1: file += "[" + name(kSections, 8); break;
        case 2: file += blank() + name(kKeys, 10); break;
        case 3: file += text(5); break;
        default: file += blank() + name(kKeys, 10) + blank() + "=" + blank() + value + blank(); break;
        }
        file += r.Pick(kEnds);
    }
    return file;
}

// The names of the file in the forms a look-up may use: as they stand, in
// other case (trail bytes of double-byte characters included, which must
// then not match) and with blanks around. Names whose bytes do not stand
// for characters of their own are left out (see the reader's header).
std::vector<std::string> AskedNames(const InfoFile& info, bool sections, Random& r)
{
    std::vector<std::string> names(sections ? kSections : kKeys, (sections ? kSections : kKeys) + (sections ? 8 : 10));
    unsigned count = sections ? info.index.sectionCount : info.index.keyCount;
    for (unsigned i = 0; i < count; ++i) {
        unsigned at = sections ? info.index.sections[i].nameAt : info.index.keys[i].nameAt;
        unsigned cch = sections ? info.index.sections[i].cchName : info.index.keys[i].cchName;
        std::string name(info.index.text + at, cch);
        std::wstring wide = Wide(info, name.data(), name.size());
        char back[4096] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, back, sizeof(back), NULL, NULL);
        if (name != back)
            continue;
        names.push_back(name);
        for (char& c : name)
            if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z' && r.Below(2))
                c ^= 0x20;
        names.push_back(" " + name + "\t");
    }
    return names;
}

void CompareFile(const std::string& path, const std::string& text, Random& r, size_t listLimit = 1000)
{
    WriteSettled(path, text);
    InfoFile info;
    ASSERT_NE(0, LoadInfoFile(path.c_str(), &info));
    size_t cchBuffer = text.size() * 2 + 1024;
    EXPECT_EQ(ProfileStructure(path, cchBuffer), ReaderStructure(info));
    static const char* const kLists[] = { TW_SECTION_FILES, TW_SECTION_GROUP, TW_SECTION_REG_CURRENT_USER,
                                          TW_SECTION_REG_USERS };
    for (const char* list : kLists)
        CompareList(info, path, list, cchBuffer, listLimit);
    std::vector<std::string> sections = AskedNames(info, true, r), keys = AskedNames(info, false, r);
    for (int n = 0; n < 6; ++n)
        CompareLookUp(info, path, sections[r.Below((unsigned)sections.size())],
                      keys[r.Below((unsigned)keys.size())], cchBuffer);
    FreeInfoFile(&info);
}

template <size_t N>
std::string Bytes(const char (&bytes)[N]) { return std::string(bytes, N - 1); }

struct CorpusFile {
    const char* name;
    std::string text;
};

// Files whose bytes mean the same under every ANSI code page.
std::vector<CorpusFile> PortableCorpus()
{
    return {
        { "plain CR LF", "[Options]\r\nUninstallKey=Sample App\r\n[Files]\r\n"
                         "0=C:\\App\\a.exe\r\n1=C:\\App\\\r\n" },
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
        { "very long lines", "[Files]\n0=C:\\" + std::string(3000, 'x') + "\n" + std::string(400, 'k') +
                             "=long name\n1=" + std::string(20000, 'y') + "\n" },
        { "lone CR", "[Files]\r0=a\r1=b\r\n2=c\r\r\n3=d\n\r\n" },
        { "header oddities", "[Fi]les]\n0=a\n[NoClose\n0=b\n[Files] trailing\n0=c\n[]\n0=d\n[Group\n1=e\n" },
        { "equals in value", "[S]\nk==v=w\n=nokey\n=second\n k = = \nm=\n" },
        { "keys before any section", "0=orphan\nk=v\n[Files]\n1=x\n" },
        { "control-Z and other blanks", "[S]\x1a\nk=v\x1a\n\x1ak2=v2\n\vk3=v3\f\nk4 \t=\x1a v4 \n" },
        { "embedded NUL", Bytes("[S]\nk=ab\0cd\nn\0x=1\n[T\0U]\nz=1\n[ V \0W]\nv=1\n") },
        { "numbers", "[Group]\nCommonGroup= 12abc\na=-5\nb=+7\nc=abc\nd=4294967297\ne= \"3\"\nf=0x10\n"
                     "g=" + std::string(40, '9') + "\nh= - 4\ni=\"" + std::string(29, '1') + "\"\n" },
        { "lists with gaps", "[Files]\n0=a\n1=b\n3=d\n[Group]\n0=a\n1=\"\"\n2=c\n[Registry_USERS]\n0=a\n01=b\n" },
        { "UTF-8 byte order mark", "\xEF\xBB\xBF[Options]\nUninstallKey=x\n[Files]\n0=y\n" },
        { "empty file", "" },
    };
}

// High bytes that code page 1252 maps one to one, and Shift-JIS texts for
// code page 932 (the reader steps over double-byte characters there).
std::vector<CorpusFile> CodePageCorpus()
{
    if (GetACP() == 1252)
        return {
            { "accented letters", "[S]\ncaf\xe9=\xe0 la carte\n[\xc9T\xc9]\nk=\xff\xfe\n" },
            { "upper and lower accented section", "[\xe9t\xe9]\nk=lower\n[\xc9T\xc9]\nk=upper\n" },
            { "UTF-8 values", "\xEF\xBB\xBF[S]\nk=caf\xc3\xa9\n" },
        };
    return {
        // "表" is 95 5C: its trail byte is a backslash.
        { "trail byte backslash", "[Files]\n0=C:\\\x95\x5C\n1=C:\\\x95\x5C\\\n" },
        // An ideographic space (81 40) at the end of a value.
        { "ideographic space", "[S]\nk=a\x81\x40\n\x81\x40m=b\n" },
        // "ゾ" is 83 5D: its trail byte looks like a closing bracket.
        { "trail byte bracket", "[\x83\x5D]\nk=a\n[A\x83\x5D]\nk=b\n[Files]\n0=a\n[\x83\x5D\n1=b\n" },
        // "ア" (83 41) and "ャ" (83 61) differ only in a trail byte's case.
        { "trail byte letters", "[\x83\x41]\nk=a\n[\x83\x61]\nk=b\n" },
        // A lead byte takes whatever follows: a line end, a quote, a NUL.
        { "lone lead bytes", Bytes("[Files]\n0=a\x83\n1=b\n2=c\x83\r\n3='x\x83'\n4=d\x83\0e\n5=f\x83") },
        // "≒" has two codes; the profile functions give back the usual one.
        { "two codes", "[S]\nk=\x87\x90\n" },
    };
}

// Pieces of names and values: the characters that matter to the syntax,
// and in each code page letters that fold or must not, and bytes that are
// no character of their own.
std::vector<std::string> Pieces(bool dbcs)
{
    std::vector<std::string> pieces = { "a", "Z", "0", "9", "_", " ", "\t", "=", "]", "[", ";", "\"", "'",
                                        "\\", "-", "x", "\r", "\n", std::string(1, '\0') };
    std::vector<std::string> more = dbcs
        ? std::vector<std::string>{ "\x95\x5C", "\x83\x5D", "\x83\x41", "\x83\x61", "\x82\x60",
                                    "\x81\x40", "\xB1", "\x87\x90", "\x83", "\x85\x40" }
        : std::vector<std::string>{ "\xe9", "\xc9", "\xa0", "\xff", "\x81", "\x1A" };
    pieces.insert(pieces.end(), more.begin(), more.end());
    return pieces;
}

}  // namespace

TEST(InfoFileAgainstProfile, Corpus)
{
    std::string dir = MakeSandboxDir("profile-corpus");
    std::vector<CorpusFile> corpus = PortableCorpus();
    for (const CorpusFile& file : CodePageCorpus())
        corpus.push_back(file);
    Random r(1);
    int index = 0;
    for (const CorpusFile& file : corpus) {
        SCOPED_TRACE(file.name);
        CompareFile(dir + "corpus" + std::to_string(index++) + ".ini", file.text, r);
    }
}

TEST(InfoFileAgainstProfile, RandomHostileFiles)
{
    const bool dbcs = GetACP() == 932;
    ASSERT_TRUE(dbcs || GetACP() == 1252) << "the pieces are made for code pages 1252 and 932";
    std::string dir = MakeSandboxDir("profile-random");
    const std::vector<std::string> pieces = Pieces(dbcs);
    const unsigned kFiles = 2000, kSeed = 20240601;
    Random r(kSeed);
    for (unsigned n = 0; n < kFiles; ++n) {
        std::string text = RandomFile(r, pieces);
        SCOPED_TRACE("file " + std::to_string(n) + " of seed " + std::to_string(kSeed));
        // The profile functions keep ten files; a new name each time.
        CompareFile(dir + "r" + std::to_string(n) + ".ini", text, r);
        if (HasFailure())
            break;
    }
    printf("[ %u random files compared ]\n", kFiles);
}

TEST(InfoFileAgainstProfile, FileOfSeveralMegabytes)
{
    std::string dir = MakeSandboxDir("profile-large");
    std::string text = "[Options]\r\nUninstallKey=Large\r\n[Files]\r\n";
    for (int n = 0; n < 70000; ++n)
        text += std::to_string(n) + "=C:\\Program Files\\Large\\Part " + std::to_string(n % 97) + "\\file" +
                std::to_string(n) + (n % 5000 == 7 ? std::string(9000, 'x') : ".dat") + "\r\n";
    text += "[Group]\r\n0=Large\r\n";
    ASSERT_GT(text.size(), 3u * 1024 * 1024);
    Random r(7);
    // Every entry through the structure; the list by look-ups only in part,
    // as each look-up makes the profile functions search the whole file.
    CompareFile(dir + "large.ini", text, r, 300);
}

// The one text the two read differently on purpose: UTF-16, which the
// profile functions of the NT family decode and the uninstaller (like the
// 9x family, and twpack check) does not read at all.
TEST(InfoFileAgainstProfile, Utf16TextIsNotRead)
{
    std::string dir = MakeSandboxDir("profile-utf16");
    WriteSettled(dir + "utf16.ini", Bytes("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0v\0"));
    char value[16] = "";
    GetPrivateProfileStringA("S", "k", "", value, COUNTOF(value), (dir + "utf16.ini").c_str());
    ASSERT_STREQ("v", value) << "the profile functions here do not read UTF-16";
    InfoFile info;
    LoadInfoFile((dir + "utf16.ini").c_str(), &info);
    EXPECT_EQ(INFO_EMPTY, ReadInfoString(&info, "S", "k", value, COUNTOF(value)));
    FreeInfoFile(&info);
}
