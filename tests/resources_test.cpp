// The resources of the built uninstaller, read from twuninst.exe loaded as a
// data file: the progress dialog and the string table in both languages, the
// indicator bitmaps, the icon, the manifest and the version resource.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string.h>
#include <string>
#include <vector>

#include "common/common.h"
#include "res/resource.h"
#include "test_support.h"

namespace {

const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

// The Japanese texts in Shift-JIS, each named by its English counterpart.
// Strings 1 to 11.
const char kJaCannotRead[] =  // "Could not read uninstall information."
    "\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x8F\xEE\x95\xF1\x82\xCC\x93\xC7"
    "\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
const char kJaErrorReading[] =  // "An error occured while reading uninstall information."
    "\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x8F\xEE\x95\xF1\x82\xCC\x93\xC7"
    "\x82\xDD\x8D\x9E\x82\xDD\x82\xCC\x8D\xDB\x82\xC9\x83\x47\x83\x89\x81\x5B\x82\xAA\x94\xAD\x90\xB6"
    "\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
const char kJaCannotRun[] =  // "Failed to run uninstaller."
    "\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x83\x76\x83\x8D\x83\x4F\x83\x89"
    "\x83\x80\x82\xCC\x8B\x4E\x93\xAE\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
const char kJaCannotInit[] =  // "Failed to initialize."
    "\x8F\x89\x8A\xFA\x89\xBB\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
const char kJaUseControlPanel[] =  // "Uninstaller must be run from Control Panel.\n..." (133 bytes)
    "\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x82\xCD\x81\x41\x83\x52\x83\x93"
    "\x83\x67\x83\x8D\x81\x5B\x83\x8B\x83\x70\x83\x6C\x83\x8B\x82\xCC\x81\x75\x83\x41\x83\x76\x83\x8A"
    "\x83\x50\x81\x5B\x83\x56\x83\x87\x83\x93\x82\xCC\x92\xC7\x89\xC1\x82\xC6\x8D\xED\x8F\x9C\x81\x76"
    "\x82\xA9\x82\xE7\x8D\x73\x82\xC8\x82\xC1\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42\n"
    "\x8D\xA1\x82\xB7\x82\xAE\x83\x52\x83\x93\x83\x67\x83\x8D\x81\x5B\x83\x8B\x83\x70\x83\x6C\x83\x8B"
    "\x82\xF0\x8A\x4A\x82\xAB\x82\xDC\x82\xB7\x82\xA9\x81\x48";
const char kJaFinished[] =  // "Finished uninstallation." (follows the name)
    "\x82\xCC\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x82\xAA\x8A\xAE\x97\xB9"
    "\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
const char kJaClose[] = "\x95\xC2\x82\xB6\x82\xE9";  // "Close"
const char kJaDeleted[] =  // "- deleted." (follows the path)
    "\x82\xF0\x8D\xED\x8F\x9C\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
const char kJaFailed[] =  // "- failed to delete." (follows the path)
    "\x82\xCC\x8D\xED\x8F\x9C\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
const char kJaDeletedFromStartMenu[] =  // "Deleted %s from the Start menu."
    "\x83\x58\x83\x5E\x81\x5B\x83\x67\x83\x81\x83\x6A\x83\x85\x81\x5B\x82\xA9\x82\xE7%s"
    "\x82\xF0\x8D\xED\x8F\x9C\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
const char kJaConfirm[] =  // "Do you want to uninstall\n%s?"
    "%s\n\x82\xCC\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x82\xF0\x8E\xC0\x8D\x73"
    "\x82\xB5\x82\xC4\x82\xE0\x82\xE6\x82\xEB\x82\xB5\x82\xA2\x82\xC5\x82\xB7\x82\xA9\x81\x48";

// Dialog texts.
const char kJaFont[] = "\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";  // the Gothic UI font
const char kJaHeading[] =  // "Uninstall" (follows the name: "... will be uninstalled :")
    "\x82\xF0\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x82\xB5\x82\xDC\x82\xB7 :";
const char kJaCancel[] = "\x83\x4C\x83\x83\x83\x93\x83\x5A\x83\x8B";  // "Cancel"
const char kJaDetail[] = "\x8F\xDA\x8D\xD7(&D)";                       // "&Detail"
const char kJaFiles[] =  // "Deleting files..."
    "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x8D\xED"
    "\x8F\x9C\x82\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB7...";
const char kJaShortcuts[] =  // "Deleting shortcuts..."
    "\x83\x58\x83\x5E\x81\x5B\x83\x67\x83\x81\x83\x6A\x83\x85\x81\x5B\x8D\x80\x96\xDA\x82\xF0\x8D\xED"
    "\x8F\x9C\x82\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB7...";
const char kJaRegistry[] =  // "Deleting registry..."
    "\x83\x8C\x83\x57\x83\x58\x83\x67\x83\x8A\x8D\x80\x96\xDA\x82\xF0\x8D\xED\x8F\x9C\x82\xB5\x82\xC4"
    "\x82\xA2\x82\xDC\x82\xB7...";

struct StringCase {
    UINT id;
    const char* english;
    const char* japanese;  // Shift-JIS
};

const StringCase kStrings[] = {
    { IDS_CANNOT_READ_INFO, "Could not read uninstall information.", kJaCannotRead },
    { IDS_ERROR_READING_INFO, "An error occured while reading uninstall information.", kJaErrorReading },
    { IDS_CANNOT_RUN_WORKER, "Failed to run uninstaller.", kJaCannotRun },
    { IDS_CANNOT_INITIALIZE, "Failed to initialize.", kJaCannotInit },
    { IDS_USE_CONTROL_PANEL,
      "Uninstaller must be run from Control Panel.\nDo you want to open Control Panel now?",
      kJaUseControlPanel },
    { IDS_FINISHED, "Finished uninstallation.", kJaFinished },
    { IDS_CLOSE, "Close", kJaClose },
    { IDS_DELETED, "- deleted.", kJaDeleted },
    { IDS_FAILED_TO_DELETE, "- failed to delete.", kJaFailed },
    { IDS_DELETED_FROM_START_MENU, "Deleted %s from the Start menu.", kJaDeletedFromStartMenu },
    { IDS_CONFIRM_UNINSTALL, "Do you want to uninstall\n%s?", kJaConfirm },
};

// A Shift-JIS or ASCII text as UTF-16; invalid input fails the test.
std::wstring Widen(const char* text)
{
    int cch = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, NULL, 0);
    std::wstring out(cch > 0 ? cch : 1, L'\0');
    if (cch <= 0 || !MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, &out[0], cch)) {
        ADD_FAILURE() << "not valid Shift-JIS: " << text;
        return std::wstring();
    }
    out.resize(cch - 1);
    return out;
}

// Printable form of a UTF-16 text for failure messages.
std::string Show(const std::wstring& text)
{
    std::string out;
    char hex[16];
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += (char)c;
        } else {
            wsprintfA(hex, "\\u%04X", (unsigned)c);
            out += hex;
        }
    }
    return out;
}

#define EXPECT_WIDE_EQ(expected, actual) EXPECT_EQ(Show(expected), Show(actual))

// The uninstaller loaded as a data file, once for all tests.
class ResourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_path = BuildTreePath("twuninst.exe");
        s_module = LoadLibraryExA(s_path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite()
    {
        if (s_module)
            FreeLibrary(s_module);
        s_module = NULL;
    }
    void SetUp() override { ASSERT_TRUE(s_module != NULL) << "cannot load " << s_path; }

    // The bytes of one resource in exactly one language; empty when missing.
    static std::string Resource(LPCSTR type, LPCSTR name, WORD language)
    {
        HRSRC hInfo = FindResourceExA(s_module, type, name, language);
        if (!hInfo)
            return std::string();
        HGLOBAL hData = LoadResource(s_module, hInfo);
        const char* data = (const char*)LockResource(hData);
        return data ? std::string(data, SizeofResource(s_module, hInfo)) : std::string();
    }

    static std::string s_path;
    static HMODULE s_module;
};

std::string ResourcesTest::s_path;
HMODULE ResourcesTest::s_module;

// ---- Which resources exist, in which languages ----------------------------

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param)
{
    ((std::vector<WORD>*)param)->push_back(language);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param)
{
    ((std::vector<UINT_PTR>*)param)->push_back(IS_INTRESOURCE(name) ? (UINT_PTR)name : 0);
    return TRUE;
}

TEST_F(ResourcesTest, EachResourceExistsInItsLanguages)
{
    struct Case {
        LPCSTR type;
        const char* typeName;
        UINT id;
        std::vector<WORD> languages;
    };
    const Case cases[] = {
        { RT_DIALOG, "dialog", IDD_PROGRESS, { kEnglish, kJapanese } },
        { RT_STRING, "strings", 1, { kEnglish, kJapanese } },
        { RT_BITMAP, "bitmap", IDB_CURRENT, { kJapanese } },
        { RT_BITMAP, "bitmap", IDB_DONE, { kJapanese } },
        { RT_BITMAP, "bitmap", IDB_PENDING, { kJapanese } },
        { RT_GROUP_ICON, "icon group", IDI_APP, { kJapanese } },
        { RT_ICON, "icon image", 1, { kJapanese } },
        { RT_ICON, "icon image", 2, { kJapanese } },
        { RT_MANIFEST, "manifest", 1, { kJapanese } },
        { RT_VERSION, "version", 1, { kJapanese } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typeName) + " " + std::to_string(c.id));
        std::vector<WORD> languages;
        EnumResourceLanguagesA(s_module, c.type, MAKEINTRESOURCEA(c.id), CollectLanguage,
                               (LONG_PTR)&languages);
        EXPECT_EQ(c.languages, languages);
    }

    // Nothing else of these kinds: one string block, one dialog, two icon images.
    struct Count {
        LPCSTR type;
        std::vector<UINT_PTR> names;
    };
    const Count counts[] = {
        { RT_DIALOG, { IDD_PROGRESS } },
        { RT_STRING, { 1 } },
        { RT_BITMAP, { IDB_CURRENT, IDB_DONE, IDB_PENDING } },
        { RT_GROUP_ICON, { IDI_APP } },
        { RT_ICON, { 1, 2 } },
    };
    for (const Count& c : counts) {
        SCOPED_TRACE((UINT_PTR)c.type);
        std::vector<UINT_PTR> names;
        EnumResourceNamesA(s_module, c.type, CollectName, (LONG_PTR)&names);
        EXPECT_EQ(c.names, names);
    }
}

// ---- String table ----------------------------------------------------------

// The 16 entries of one string block as stored (length-prefixed UTF-16).
std::vector<std::wstring> DecodeStringBlock(const std::string& block)
{
    std::vector<std::wstring> entries;
    size_t pos = 0;
    for (int i = 0; i < 16; i++) {
        if (pos + 2 > block.size())
            break;
        WORD cch;
        memcpy(&cch, &block[pos], 2);
        pos += 2;
        if (pos + cch * 2u > block.size())
            break;
        std::wstring text(cch, L'\0');
        if (cch)
            memcpy(&text[0], &block[pos], cch * 2u);
        pos += cch * 2u;
        entries.push_back(text);
    }
    return entries;
}

TEST_F(ResourcesTest, StringTableHoldsBothLanguagesExactly)
{
    struct Language {
        WORD id;
        bool japanese;
    };
    for (Language language : { Language{ kEnglish, false }, Language{ kJapanese, true } }) {
        SCOPED_TRACE(language.japanese ? "Japanese" : "English");
        std::vector<std::wstring> entries =
            DecodeStringBlock(Resource(RT_STRING, MAKEINTRESOURCEA(1), language.id));
        ASSERT_EQ(16u, entries.size());
        EXPECT_TRUE(entries[0].empty());
        for (int id = IDS_PROGRAMS_RUNNING + 1; id < 16; id++)
            EXPECT_TRUE(entries[id].empty()) << "id " << id;
        for (const StringCase& c : kStrings) {
            SCOPED_TRACE(c.id);
            EXPECT_WIDE_EQ(Widen(language.japanese ? c.japanese : c.english), entries[c.id]);
        }
    }
}

// The loader picks the table of the user's language; under code page 932 that
// is the Japanese one, and LoadStringA hands it out in Shift-JIS.
void ExpectLoadedStrings(HMODULE module, bool japanese)
{
    for (const StringCase& c : kStrings) {
        SCOPED_TRACE(c.id);
        const char* expected = japanese ? c.japanese : c.english;
        char buffer[256];
        memset(buffer, 0x7F, sizeof(buffer));
        int cch = LoadStringA(module, c.id, buffer, COUNTOF(buffer));
        EXPECT_EQ((int)strlen(expected), cch);
        EXPECT_EQ(std::string(expected), std::string(buffer));
    }
}

TEST_F(ResourcesTest, LoadStringGivesShiftJisUnderCodePage932)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "code page " << GetACP();
    ExpectLoadedStrings(s_module, true);
    EXPECT_EQ(133u, strlen(kJaUseControlPanel));
}

TEST_F(ResourcesTest, LoadStringGivesEnglishUnderCodePage1252)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "code page " << GetACP();
    ExpectLoadedStrings(s_module, false);
}

// ---- Dialog 100 --------------------------------------------------------------

// A name or ordinal field of a dialog template.
struct NameOrOrdinal {
    WORD ordinal;  // 0 for a string
    std::wstring text;
};

struct DialogItem {
    DWORD style, exStyle;
    short x, y, cx, cy;
    WORD id;
    NameOrOrdinal className, title;
    WORD cbCreationData;
};

struct DialogTemplate {
    DWORD style, exStyle;
    WORD count;
    short x, y, cx, cy;
    NameOrOrdinal menu, className;
    std::wstring caption;
    WORD pointSize;
    std::wstring face;
    std::vector<DialogItem> items;
    bool complete;  // parsed to the end without running out of data
};

// Reads a classic (not extended) dialog template.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& data) : data_(data), pos_(0), ok_(true) {}
    bool Ok() const { return ok_; }
    WORD Word()
    {
        WORD w = 0;
        if (pos_ + 2 > data_.size()) {
            ok_ = false;
            return 0;
        }
        memcpy(&w, &data_[pos_], 2);
        pos_ += 2;
        return w;
    }
    DWORD Dword()
    {
        DWORD lo = Word();
        return lo | ((DWORD)Word() << 16);
    }
    std::wstring String()
    {
        std::wstring s;
        for (WORD c = Word(); ok_ && c; c = Word())
            s += (wchar_t)c;
        return s;
    }
    NameOrOrdinal Field()
    {
        NameOrOrdinal f = { 0, std::wstring() };
        WORD first = Word();
        if (first == 0xFFFF) {
            f.ordinal = Word();
        } else if (first != 0) {
            f.text = (wchar_t)first + String();
        }
        return f;
    }
    void AlignDword() { pos_ = (pos_ + 3) & ~(size_t)3; }
    void Skip(size_t cb) { pos_ += cb; ok_ = ok_ && pos_ <= data_.size(); }

private:
    const std::string& data_;
    size_t pos_;
    bool ok_;
};

DialogTemplate ParseDialog(const std::string& data)
{
    TemplateReader r(data);
    DialogTemplate t;
    t.style = r.Dword();
    t.exStyle = r.Dword();
    t.count = r.Word();
    t.x = (short)r.Word();
    t.y = (short)r.Word();
    t.cx = (short)r.Word();
    t.cy = (short)r.Word();
    t.menu = r.Field();
    t.className = r.Field();
    t.caption = r.String();
    t.pointSize = 0;
    if (t.style & DS_SETFONT) {
        t.pointSize = r.Word();
        t.face = r.String();
    }
    for (WORD i = 0; i < t.count && r.Ok(); i++) {
        r.AlignDword();
        DialogItem item;
        item.style = r.Dword();
        item.exStyle = r.Dword();
        item.x = (short)r.Word();
        item.y = (short)r.Word();
        item.cx = (short)r.Word();
        item.cy = (short)r.Word();
        item.id = r.Word();
        item.className = r.Field();
        item.title = r.Field();
        item.cbCreationData = r.Word();
        r.Skip(item.cbCreationData);
        t.items.push_back(item);
    }
    t.complete = r.Ok();
    return t;
}

struct ExpectedItem {
    WORD id;
    WORD classOrdinal;  // 0x80 button, 0x81 edit, 0x82 static
    DWORD style;
    short x, y, cx, cy;
    const char* text;    // ASCII or Shift-JIS; NULL when the title is an ordinal
    WORD titleOrdinal;   // icon or bitmap id
};

const WORD kNoId = 0xFFFF;  // -1 as the template stores it
const WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;

const ExpectedItem kEnglishItems[] = {
    { kNoId, kStatic, 0x50000003, 7, 12, 20, 20, NULL, IDI_APP },
    { IDC_APP_NAME, kStatic, 0x50020000, 34, 26, 117, 8, "<<APP NAME>>", 0 },
    { IDC_HEADING, kStatic, 0x50020000, 34, 12, 117, 8, "Uninstall", 0 },
    { IDOK, kButton, 0x40030001, 153, 6, 50, 14, "Cancel", 0 },
    { IDC_DETAIL, kButton, 0x40011003, 153, 24, 50, 14, "&Detail", 0 },
    { kNoId, kStatic, 0x50000012, 7, 45, 196, 63, "", 0 },
    { IDC_PHASE_FILES, kStatic, 0x5000000E, 25, 54, 6, 5, NULL, IDB_PENDING },
    { kNoId, kStatic, 0x50020000, 36, 53, 138, 8, "Deleting files...", 0 },
    { IDC_PHASE_GROUPS, kStatic, 0x5000000E, 25, 73, 6, 5, NULL, IDB_PENDING },
    { kNoId, kStatic, 0x50020000, 36, 72, 138, 8, "Deleting shortcuts...", 0 },
    { IDC_PHASE_REGISTRY, kStatic, 0x5000000E, 25, 92, 6, 5, NULL, IDB_PENDING },
    { kNoId, kStatic, 0x50020000, 36, 91, 138, 8, "Deleting registry...", 0 },
    { IDC_DETAIL_LOG, kEdit, 0x50B308C4, 7, 119, 196, 83, "", 0 },
};

const ExpectedItem kJapaneseItems[] = {
    { kNoId, kStatic, 0x50000003, 7, 12, 20, 20, NULL, IDI_APP },
    { IDC_APP_NAME, kStatic, 0x50020000, 35, 12, 117, 8, "<<APP NAME>>", 0 },
    { IDC_HEADING, kStatic, 0x50020000, 35, 26, 117, 8, kJaHeading, 0 },
    { IDOK, kButton, 0x40030001, 153, 7, 50, 14, kJaCancel, 0 },
    { IDC_DETAIL, kButton, 0x40011003, 153, 24, 50, 14, kJaDetail, 0 },
    { kNoId, kStatic, 0x50000012, 7, 45, 196, 63, "", 0 },
    { IDC_PHASE_FILES, kStatic, 0x5000000E, 25, 54, 6, 5, NULL, IDB_PENDING },
    { kNoId, kStatic, 0x50020000, 36, 53, 138, 8, kJaFiles, 0 },
    { IDC_PHASE_GROUPS, kStatic, 0x5000000E, 25, 73, 6, 5, NULL, IDB_PENDING },
    { kNoId, kStatic, 0x50020000, 36, 72, 138, 8, kJaShortcuts, 0 },
    { IDC_PHASE_REGISTRY, kStatic, 0x5000000E, 25, 92, 6, 5, NULL, IDB_PENDING },
    { kNoId, kStatic, 0x50020000, 36, 91, 138, 8, kJaRegistry, 0 },
    { IDC_DETAIL_LOG, kEdit, 0x50B308C4, 7, 123, 196, 83, "", 0 },
};

void ExpectDialog(const DialogTemplate& t, const char* face, const ExpectedItem* items, size_t count)
{
    ASSERT_TRUE(t.complete);
    EXPECT_EQ(0x80C00AC0u, t.style);
    EXPECT_EQ(0u, t.exStyle);
    EXPECT_EQ(0, t.x);
    EXPECT_EQ(0, t.y);
    EXPECT_EQ(210, t.cx);
    EXPECT_EQ(117, t.cy);
    EXPECT_EQ(0, t.menu.ordinal);
    EXPECT_TRUE(t.menu.text.empty());
    EXPECT_EQ(0, t.className.ordinal);
    EXPECT_TRUE(t.className.text.empty());
    EXPECT_WIDE_EQ(L"Tarnwick Uninstaller", t.caption);
    EXPECT_EQ(9, t.pointSize);
    EXPECT_WIDE_EQ(Widen(face), t.face);
    ASSERT_EQ(count, (size_t)t.count);
    ASSERT_EQ(count, t.items.size());
    for (size_t i = 0; i < count; i++) {
        const ExpectedItem& e = items[i];
        const DialogItem& a = t.items[i];
        SCOPED_TRACE("item " + std::to_string(i + 1) + ", id " + std::to_string(e.id));
        EXPECT_EQ(e.style, a.style);
        EXPECT_EQ(0u, a.exStyle);
        EXPECT_EQ(e.x, a.x);
        EXPECT_EQ(e.y, a.y);
        EXPECT_EQ(e.cx, a.cx);
        EXPECT_EQ(e.cy, a.cy);
        EXPECT_EQ(e.id, a.id);
        EXPECT_EQ(e.classOrdinal, a.className.ordinal);
        EXPECT_TRUE(a.className.text.empty());
        if (e.text) {
            EXPECT_EQ(0, a.title.ordinal);
            EXPECT_WIDE_EQ(Widen(e.text), a.title.text);
        } else {
            EXPECT_EQ(e.titleOrdinal, a.title.ordinal);
            EXPECT_TRUE(a.title.text.empty());
        }
        EXPECT_EQ(0, a.cbCreationData);
    }
}

TEST_F(ResourcesTest, EnglishDialogTemplate)
{
    DialogTemplate t = ParseDialog(Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_PROGRESS), kEnglish));
    ExpectDialog(t, "MS Sans Serif", kEnglishItems, COUNTOF(kEnglishItems));
}

TEST_F(ResourcesTest, JapaneseDialogTemplate)
{
    DialogTemplate t = ParseDialog(Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_PROGRESS), kJapanese));
    ExpectDialog(t, kJaFont, kJapaneseItems, COUNTOF(kJapaneseItems));
}

// The detail box lies below the collapsed height and inside the expanded
// client height of 214 units, in both languages.
TEST_F(ResourcesTest, DetailBoxOnlyInTheExpandedDialog)
{
    for (WORD language : { kEnglish, kJapanese }) {
        SCOPED_TRACE(language);
        DialogTemplate t = ParseDialog(Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_PROGRESS), language));
        ASSERT_TRUE(t.complete);
        int shown = 0;
        for (const DialogItem& item : t.items) {
            if (item.id == IDC_DETAIL_LOG) {
                shown++;
                EXPECT_GE(item.y, t.cy);
                EXPECT_LE(item.y + item.cy, 214);
            } else {
                EXPECT_LE(item.y + item.cy, t.cy) << "item " << item.id;
            }
        }
        EXPECT_EQ(1, shown);
    }
}

// ---- The dialog as a window ------------------------------------------------

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

std::string ItemText(HWND hDlg, int id)
{
    char text[256] = "";
    GetDlgItemTextA(hDlg, id, text, COUNTOF(text));
    return text;
}

// Created from the executable's template in the user's language: hidden
// buttons, the detail box outside the collapsed client area, the empty
// picture in all three indicators and the icon beside the name.
TEST_F(ResourcesTest, DialogCreatedFromTheTemplate)
{
    InitCommonControls();
    HWND hDlg = CreateDialogParamA(s_module, MAKEINTRESOURCEA(IDD_PROGRESS), NULL, PlainDialogProc, 0);
    ASSERT_TRUE(hDlg != NULL) << "no display?";
    bool japanese = GetACP() == 932;

    char caption[64] = "";
    GetWindowTextA(hDlg, caption, COUNTOF(caption));
    EXPECT_STREQ("Tarnwick Uninstaller", caption);
    EXPECT_FALSE(IsWindowVisible(hDlg));
    EXPECT_EQ(0, GetWindowLongPtrA(hDlg, GWL_STYLE) & WS_SYSMENU);

    EXPECT_EQ(japanese ? std::string(kJaHeading) : std::string("Uninstall"), ItemText(hDlg, IDC_HEADING));
    EXPECT_EQ(japanese ? std::string(kJaDetail) : std::string("&Detail"), ItemText(hDlg, IDC_DETAIL));
    EXPECT_EQ(0, GetWindowLongPtrA(GetDlgItem(hDlg, IDOK), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(0, GetWindowLongPtrA(GetDlgItem(hDlg, IDC_DETAIL), GWL_STYLE) & WS_VISIBLE);

    RECT client, box;
    GetClientRect(hDlg, &client);
    RECT collapsed = { 0, 0, 210, 117 };
    MapDialogRect(hDlg, &collapsed);
    EXPECT_EQ(collapsed.bottom, client.bottom);
    GetWindowRect(GetDlgItem(hDlg, IDC_DETAIL_LOG), &box);
    MapWindowPoints(NULL, hDlg, (POINT*)&box, 2);
    EXPECT_GE(box.top, client.bottom);

    const int indicators[] = { IDC_PHASE_FILES, IDC_PHASE_GROUPS, IDC_PHASE_REGISTRY };
    for (int id : indicators) {
        SCOPED_TRACE(id);
        HBITMAP hBitmap = (HBITMAP)SendDlgItemMessageA(hDlg, id, STM_GETIMAGE, IMAGE_BITMAP, 0);
        ASSERT_TRUE(hBitmap != NULL);
        BITMAP bm;
        ASSERT_TRUE(GetObjectA(hBitmap, sizeof(bm), &bm));
        EXPECT_EQ(11, bm.bmWidth);
        EXPECT_EQ(8, bm.bmHeight);
    }
    HWND hIcon = GetWindow(hDlg, GW_CHILD);  // item 1: the first in tab order
    EXPECT_EQ(kNoId, (WORD)GetDlgCtrlID(hIcon));
    EXPECT_TRUE(SendMessageA(hIcon, STM_GETICON, 0, 0) != 0);
    DestroyWindow(hDlg);
}

// ---- Bitmaps ---------------------------------------------------------------

// The platform's 16 standard colours.
const COLORREF kPalette[16] = {
    RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255),
};

// B background (light grey, 7), R figure (dark red, 1), S shadow (dark grey, 8).
struct PictureCase {
    UINT id;
    const char* rows[8];
};

const PictureCase kPictures[] = {
    { IDB_CURRENT,
      { "BBBBBBRBBBB", "BBBBBBRRBBB", "RRRRRRRRRBB", "RRRRRRRRRRB", "RRRRRRRRRSS", "BSSSSSRRSSB",
        "BBBBBBRSSBB", "BBBBBBBSBBB" } },
    { IDB_DONE,
      { "BBBBBBBBRBB", "BBBBBBBRRSB", "BRBBBBRRRSB", "BRRBBRRRSSB", "BRRRRRRSSBB", "BBRRRRSSBBB",
        "BBBRRSSBBBB", "BBBBSSBBBBB" } },
    { IDB_PENDING,
      { "BBBBBBBBBBB", "BBBBBBBBBBB", "BBBBBBBBBBB", "BBBBBBBBBBB", "BBBBBBBBBBB", "BBBBBBBBBBB",
        "BBBBBBBBBBB", "BBBBBBBBBBB" } },
};

TEST_F(ResourcesTest, IndicatorBitmapsPixelForPixel)
{
    for (const PictureCase& c : kPictures) {
        SCOPED_TRACE(c.id);
        std::string data = Resource(RT_BITMAP, MAKEINTRESOURCEA(c.id), kJapanese);
        const size_t cbRow = 8;  // 11 pixels of 4 bits, padded to 4 bytes
        ASSERT_EQ(sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD) + 8 * cbRow, data.size());
        BITMAPINFOHEADER header;
        memcpy(&header, data.data(), sizeof(header));
        EXPECT_EQ(sizeof(BITMAPINFOHEADER), header.biSize);
        EXPECT_EQ(11, header.biWidth);
        EXPECT_EQ(8, header.biHeight);  // positive: bottom row first
        EXPECT_EQ(1, header.biPlanes);
        EXPECT_EQ(4, header.biBitCount);
        EXPECT_EQ((DWORD)BI_RGB, header.biCompression);
        EXPECT_TRUE(header.biClrUsed == 0 || header.biClrUsed == 16);
        const RGBQUAD* palette = (const RGBQUAD*)(data.data() + sizeof(header));
        for (int i = 0; i < 16; i++) {
            EXPECT_EQ(kPalette[i], RGB(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue))
                << "palette entry " << i;
        }
        const unsigned char* bits = (const unsigned char*)(palette + 16);
        for (int row = 0; row < 8; row++) {
            const unsigned char* line = bits + (7 - row) * cbRow;
            std::string actual;
            for (int x = 0; x < 11; x++) {
                int index = (x & 1) ? (line[x / 2] & 0x0F) : (line[x / 2] >> 4);
                actual += index == 7 ? 'B' : index == 1 ? 'R' : index == 8 ? 'S' : '?';
            }
            EXPECT_EQ(std::string(c.rows[row]), actual) << "row " << row + 1;
        }
    }
}

// As the driver loads them: the background takes the button face colour and
// the shadow the button shadow colour; the figure keeps its dark red.
TEST_F(ResourcesTest, MappedIndicatorsTakeTheButtonColours)
{
    HDC hdc = GetDC(NULL);
    for (const PictureCase& c : kPictures) {
        SCOPED_TRACE(c.id);
        HBITMAP hBitmap = CreateMappedBitmap(s_module, c.id, 0, NULL, 0);
        ASSERT_TRUE(hBitmap != NULL);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = 11;
        info.bmiHeader.biHeight = -8;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        DWORD pixels[8 * 11];
        EXPECT_EQ(8, GetDIBits(hdc, hBitmap, 0, 8, pixels, &info, DIB_RGB_COLORS));
        for (int row = 0; row < 8; row++) {
            for (int x = 0; x < 11; x++) {
                char code = c.rows[row][x];
                COLORREF expected = code == 'R' ? RGB(128, 0, 0)
                                  : code == 'S' ? GetSysColor(COLOR_BTNSHADOW)
                                                : GetSysColor(COLOR_BTNFACE);
                DWORD p = pixels[row * 11 + x];  // 0x00RRGGBB
                EXPECT_EQ(expected, RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF))
                    << "row " << row + 1 << " x " << x;
            }
        }
        DeleteObject(hBitmap);
    }
    ReleaseDC(NULL, hdc);
}

// ---- Icon ----------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD cbImage;
    WORD id;
};
#pragma pack(pop)

TEST_F(ResourcesTest, IconGroupWithTwoSixteenColourImages)
{
    std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP), kJapanese);
    ASSERT_EQ(6 + 2 * sizeof(GroupIconEntry), group.size());
    WORD head[3];
    memcpy(head, group.data(), sizeof(head));
    EXPECT_EQ(0, head[0]);
    EXPECT_EQ(1, head[1]);  // icons, not cursors
    EXPECT_EQ(2, head[2]);

    const int sizes[] = { 32, 16 };
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(sizes[i]);
        GroupIconEntry entry;
        memcpy(&entry, group.data() + 6 + i * sizeof(entry), sizeof(entry));
        EXPECT_EQ(sizes[i], entry.width);
        EXPECT_EQ(sizes[i], entry.height);
        EXPECT_EQ(16, entry.colorCount);
        EXPECT_EQ(1, entry.planes);
        EXPECT_EQ(4, entry.bitCount);
        EXPECT_EQ(i + 1, entry.id);

        std::string image = Resource(RT_ICON, MAKEINTRESOURCEA(entry.id), kJapanese);
        const size_t cbColour = sizes[i] * sizes[i] / 2;
        const size_t cbMask = sizes[i] * 4;  // one bit a pixel, rows of four bytes
        ASSERT_EQ(sizeof(BITMAPINFOHEADER) + 64 + cbColour + cbMask, image.size());
        EXPECT_EQ(entry.cbImage, image.size());
        BITMAPINFOHEADER header;
        memcpy(&header, image.data(), sizeof(header));
        EXPECT_EQ(sizes[i], header.biWidth);
        EXPECT_EQ(2 * sizes[i], header.biHeight);  // colour and mask
        EXPECT_EQ(4, header.biBitCount);
        EXPECT_EQ((DWORD)BI_RGB, header.biCompression);

        // A picture, not a blank: some pixels transparent, some opaque, and
        // red among the opaque ones.
        const unsigned char* colour = (const unsigned char*)image.data() + sizeof(header) + 64;
        const unsigned char* mask = colour + cbColour;
        int transparent = 0, red = 0;
        for (int y = 0; y < sizes[i]; y++) {
            for (int x = 0; x < sizes[i]; x++) {
                bool clear = (mask[y * 4 + x / 8] >> (7 - x % 8)) & 1;
                unsigned char byte = colour[(y * sizes[i] + x) / 2];
                int index = (x & 1) ? (byte & 0x0F) : (byte >> 4);
                transparent += clear;
                red += !clear && index == 9;
            }
        }
        EXPECT_GT(transparent, 0);
        EXPECT_LT(transparent, sizes[i] * sizes[i] / 2);
        EXPECT_GT(red, 0);

        HICON hIcon = (HICON)LoadImageA(s_module, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, sizes[i],
                                        sizes[i], 0);
        EXPECT_TRUE(hIcon != NULL);
        if (hIcon)
            DestroyIcon(hIcon);
    }
}

// ---- Manifest and version --------------------------------------------------

// The attributes of the first <assemblyIdentity .../> element at or after from.
std::string IdentityAfter(const std::string& text, const std::string& from)
{
    size_t start = text.find(from);
    if (start == std::string::npos)
        return std::string();
    start = text.find("<assemblyIdentity", start);
    size_t end = text.find("/>", start);
    if (start == std::string::npos || end == std::string::npos)
        return std::string();
    return text.substr(start, end - start);
}

// The build embeds the product's manifest; only the 64-bit test build names
// its own architecture, so that it gets the same controls as the product.
#ifdef _WIN64
const char kArchitecture[] = "processorArchitecture=\"amd64\"";
#else
const char kArchitecture[] = "processorArchitecture=\"X86\"";
#endif

TEST_F(ResourcesTest, ManifestAsksForCommonControlsSix)
{
    std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEA(1), kJapanese);
    ASSERT_FALSE(manifest.empty());
    EXPECT_EQ(0u, manifest.find("<?xml"));

    std::string own = IdentityAfter(manifest, "<assembly ");
    EXPECT_NE(std::string::npos, own.find("type=\"win32\""));
    EXPECT_NE(std::string::npos, own.find("version=\"1.0.0.0\""));
    EXPECT_NE(std::string::npos, own.find(kArchitecture));
    EXPECT_NE(std::string::npos, own.find("name=\""));
    EXPECT_NE(std::string::npos, manifest.find("<description>"));

    std::string dependency = IdentityAfter(manifest, "<dependentAssembly>");
    const char* attributes[] = {
        "type=\"win32\"",
        "name=\"Microsoft.Windows.Common-Controls\"",
        "version=\"6.0.0.0\"",
        kArchitecture,
        "publicKeyToken=\"6595b64144ccf1df\"",
        "language=\"*\"",
    };
    for (const char* attribute : attributes)
        EXPECT_NE(std::string::npos, dependency.find(attribute)) << attribute;

    // The product's own text, as written for the 32-bit build.
    std::string source = ReadFileBytes(SourceTreePath("src/res/twuninst.manifest"));
    const std::string x86 = "processorArchitecture=\"X86\"";
    // The search goes on after each replacement, which in the 32-bit build
    // is the same text again.
    const std::string arch = kArchitecture;
    for (size_t at = source.find(x86); at != std::string::npos; at = source.find(x86, at + arch.size()))
        source.replace(at, x86.size(), arch);
    EXPECT_EQ(source, manifest);
}

// Administrator rights, declared where Windows XP accepts them: in the
// asm.v2 namespace, declared once on the element (two declarations on one
// element crash XP SP2's reader); and the Windows versions tested with, by
// the API reference's identifiers.
TEST_F(ResourcesTest, ManifestAsksForAdministratorRightsAndNamesTheTestedWindows)
{
    std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEA(1), kJapanese);
    size_t trust = manifest.find("<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v2\">");
    ASSERT_NE(std::string::npos, trust);
    size_t level = manifest.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>");
    EXPECT_TRUE(level != std::string::npos && level > trust && level < manifest.find("</trustInfo>"));
    size_t compatibility = manifest.find("<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">");
    ASSERT_NE(std::string::npos, compatibility);
    const char* vistaTo11[] = { "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" };
    for (const char* id : vistaTo11)
        EXPECT_NE(std::string::npos, manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>", compatibility)) << id;
}

// This test program carries the same resources as the uninstaller. With the
// manifest, its common controls come from the side-by-side store (version 6),
// not from the system directory.
TEST_F(ResourcesTest, ManifestBringsTheSideBySideControls)
{
    InitCommonControls();
    char path[MAX_PATH] = "";
    ASSERT_TRUE(GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), path, COUNTOF(path)));
    CharLowerA(path);
    EXPECT_NE(std::string::npos, std::string(path).find("\\winsxs\\")) << path;
    EXPECT_NE(std::string::npos, std::string(path).find("common-controls")) << path;
}

typedef DWORD(WINAPI* GetSizeFn)(LPCSTR, LPDWORD);
typedef BOOL(WINAPI* GetInfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* QueryFn)(LPCVOID, LPCSTR, LPVOID*, PUINT);

TEST_F(ResourcesTest, VersionResourceForJapaneseUnicode)
{
    // version.dll is not among the product's libraries; the test borrows it.
    HMODULE hVersion = LoadLibraryA("version.dll");
    ASSERT_TRUE(hVersion != NULL);
    GetSizeFn getSize = (GetSizeFn)GetProcAddress(hVersion, "GetFileVersionInfoSizeA");
    GetInfoFn getInfo = (GetInfoFn)GetProcAddress(hVersion, "GetFileVersionInfoA");
    QueryFn query = (QueryFn)GetProcAddress(hVersion, "VerQueryValueA");
    ASSERT_TRUE(getSize && getInfo && query);

    DWORD handle = 0;
    DWORD cb = getSize(s_path.c_str(), &handle);
    ASSERT_GT(cb, 0u);
    std::vector<char> info(cb);
    ASSERT_TRUE(getInfo(s_path.c_str(), 0, cb, info.data()));

    VS_FIXEDFILEINFO* fixed = NULL;
    UINT cbValue = 0;
    ASSERT_TRUE(query(info.data(), "\\", (LPVOID*)&fixed, &cbValue));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), cbValue);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ((DWORD)VOS__WINDOWS32, fixed->dwFileOS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);

    WORD* translation = NULL;
    ASSERT_TRUE(query(info.data(), "\\VarFileInfo\\Translation", (LPVOID*)&translation, &cbValue));
    ASSERT_EQ(4u, cbValue);
    EXPECT_EQ(0x0411, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    struct Value {
        const char* name;
        const char* text;
    };
    const Value values[] = {
        { "FileVersion", "1.0.0.0" },
        { "ProductVersion", "1.0.0.0" },
        { "ProductName", "Tarnwick Uninstaller" },
        { "OriginalFilename", "twuninst.exe" },
    };
    for (const Value& v : values) {
        SCOPED_TRACE(v.name);
        char* text = NULL;
        std::string path = std::string("\\StringFileInfo\\041104B0\\") + v.name;
        ASSERT_TRUE(query(info.data(), path.c_str(), (LPVOID*)&text, &cbValue));
        EXPECT_STREQ(v.text, text);
    }
    FreeLibrary(hVersion);
}

// The block marker must appear in the executable only where an information
// block is appended, never in the program itself.
TEST_F(ResourcesTest, ExecutableHoldsNoBlockMarker)
{
    std::string bytes = ReadFileBytes(s_path);
    ASSERT_GT(bytes.size(), 4096u);
    EXPECT_EQ(std::string::npos, bytes.find(std::string("[Tarnwick ") + "Uninstaller]"));
    // The caption is there, as UTF-16 in the dialog templates.
    const char wide[] = "T\0a\0r\0n\0w\0i\0c\0k\0 \0U\0n\0i\0n\0s\0t\0a\0l\0l\0e\0r\0";
    EXPECT_NE(std::string::npos, bytes.find(std::string(wide, sizeof(wide) - 1)));
}

}  // namespace
