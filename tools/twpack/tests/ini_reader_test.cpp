// The portable INI reader natively: the structure it gives the checker
// (sections, keys, line numbers) and the look-up rules. The comparison with
// the real profile functions is the Wine test ini_profile_wine_test.

#include <gtest/gtest.h>

#include "ini_reader.h"

TEST(IniReader, CountsLinesForEveryKindOfLineEnd)
{
    IniText ini = ParseIniText("[A]\r\nk=1\rl=2\nm=3\r\n\r\n\n[B]\nn=4");
    ASSERT_EQ(3u, ini.sections.size());
    EXPECT_EQ("A", ini.sections[1].name);
    EXPECT_EQ(1, ini.sections[1].line);
    ASSERT_EQ(3u, ini.sections[1].keys.size());
    EXPECT_EQ(2, ini.sections[1].keys[0].line);
    EXPECT_EQ(3, ini.sections[1].keys[1].line);
    EXPECT_EQ(4, ini.sections[1].keys[2].line);
    EXPECT_EQ(7, ini.sections[2].line);
    EXPECT_EQ(8, ini.sections[2].keys[0].line);
    EXPECT_EQ("4", ini.sections[2].keys[0].value);
}

TEST(IniReader, KeepsLinesWithoutEqualsAndTheNamelessPart)
{
    IniText ini = ParseIniText("orphan=1\n[S]\nbare line\n;comment\n[NoClose\n");
    ASSERT_EQ(2u, ini.sections.size());
    ASSERT_EQ(1u, ini.sections[0].keys.size());
    EXPECT_EQ("orphan", ini.sections[0].keys[0].name);
    ASSERT_EQ(3u, ini.sections[1].keys.size());
    EXPECT_FALSE(ini.sections[1].keys[0].hasEquals);
    EXPECT_EQ("bare line", ini.sections[1].keys[0].name);
    EXPECT_EQ(";comment", ini.sections[1].keys[1].name);
    EXPECT_EQ("[NoClose", ini.sections[1].keys[2].name);
}

TEST(IniReader, LooksUpAsTheProfileFunctionsDo)
{
    const std::string text =
        "[Files]\n 0 =  \"C:\\a b\"  \n1='x'\n1=second\n2\n2=later\n3=\"open\n"
        "[ files ]\n4=ignored\n[Q]\ne=\"\"\nk=v ; not a comment\n";
    IniText ini = ParseIniText(text);
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        { "Files", "0", "C:\\a b" },           // blanks trimmed, quotes removed
        { "FILES", " 0\t", "C:\\a b" },        // names ignore case and blanks
        { "Files", "1", "x" },                 // the first of two keys wins
        { "Files", "2", "(default)" },         // a first line without "=" hides the later one
        { "Files", "3", "\"open" },            // a lone quote stays
        { "Files", "4", "(default)" },         // the second section of a name is never read
        { "Q", "e", "" },
        { "Q", "k", "v ; not a comment" },
        { "Q", "missing", "(default)" },
        { "Nope", "0", "(default)" },
        { "Q", "", "(default)" },              // an empty key name finds only an empty-named key
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(c.expected, ReadIniString(ini, c.section, c.key, "(default)"));
    }
}

TEST(IniReader, ReadsNumbersAsTheProfileFunctionsDo)
{
    IniText ini = ParseIniText("[G]\na=12abc\nb= -5\nc=+7\nd=abc\ne=0x10\nf=\ng=4294967297\nh=\"3\"\n");
    struct Case {
        const char* key;
        unsigned expected;
    } cases[] = {
        { "a", 12 }, { "b", 0u - 5 }, { "c", 7 }, { "d", 0 }, { "e", 16 },
        { "f", 99 }, { "g", 1 }, { "h", 3 }, { "missing", 99 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(c.expected, ReadIniInt(ini, "G", c.key, 99));
    }
}

TEST(IniReader, NoticesByteOrderMarks)
{
    EXPECT_EQ(IniEncoding::Ansi, ParseIniText("[A]\n").encoding);
    IniText utf8 = ParseIniText("\xEF\xBB\xBF[A]\nk=v\n");
    EXPECT_EQ(IniEncoding::Utf8Bom, utf8.encoding);
    EXPECT_EQ("v", ReadIniString(utf8, "A", "k", ""));
    EXPECT_EQ(IniEncoding::Utf16Bom, ParseIniText(std::string("\xFF\xFE[\0A\0]\0", 8)).encoding);
}
