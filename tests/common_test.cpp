// The shared helpers: AppendBackslash and the bounded copies, with the
// double-byte cases that only code page 932 can produce.

#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "common/common.h"
#include "test_support.h"

TEST(AppendBackslash, SingleByteCases)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        { "", "" },
        { "C:\\Temp", "C:\\Temp\\" },
        { "C:\\Temp\\", "C:\\Temp\\" },
        { "C:\\", "C:\\" },
        { "a", "a\\" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        char buf[MAX_PATH];
        strcpy(buf, c.in);
        EXPECT_NE(0, AppendBackslash(buf, COUNTOF(buf)));
        EXPECT_STREQ(c.out, buf);
    }
}

TEST(AppendBackslash, NeverWritesPastAFullBuffer)
{
    char buf[8 + 4];
    memset(buf, '#', sizeof(buf));
    memcpy(buf, "C:\\abcd", 8);             // 7 characters + NUL fill 8 bytes
    EXPECT_EQ(0, AppendBackslash(buf, 8));
    EXPECT_STREQ("C:\\abcd", buf);
    for (size_t i = 8; i < sizeof(buf); ++i)
        EXPECT_EQ('#', buf[i]) << "byte " << i;
    char room[9] = "C:\\abcd";
    EXPECT_NE(0, AppendBackslash(room, COUNTOF(room)));
    EXPECT_STREQ("C:\\abcd\\", room);
    char unterminated[4] = { 'a', 'b', 'c', 'd' };
    EXPECT_EQ(0, AppendBackslash(unterminated, COUNTOF(unterminated)));
}

TEST(AppendBackslash, TrailByteBackslashUnderCodePage932)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "needs code page 932";
    struct Case {
        const char* name;
        const char* in;
        const char* out;
    } cases[] = {
        // 表 is 95 5C and ソ is 83 5C: their trail byte is no separator.
        { "hyou", "C:\\" "\x95" "\x5C", "C:\\" "\x95" "\x5C" "\\" },
        { "so", "C:\\" "\x83" "\x5C", "C:\\" "\x83" "\x5C" "\\" },
        { "so then backslash", "C:\\" "\x83" "\x5C" "\\", "C:\\" "\x83" "\x5C" "\\" },
        { "kana dir", "C:\\" "\x83" "\x41" "\x83" "\x76" "\x83" "\x8A", "C:\\" "\x83" "\x41" "\x83" "\x76" "\x83" "\x8A" "\\" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buf[MAX_PATH];
        strcpy(buf, c.in);
        EXPECT_NE(0, AppendBackslash(buf, COUNTOF(buf)));
        EXPECT_STREQ(c.out, buf);
    }
    EXPECT_FALSE(EndsWithBackslash("C:\\" "\x95" "\x5C"));
    EXPECT_TRUE(EndsWithBackslash("C:\\" "\x95" "\x5C" "\\"));
}

TEST(CopyText, CutsAtCharacterBoundaries)
{
    char small[6];
    EXPECT_NE(0, CopyText(small, COUNTOF(small), "abcde"));
    EXPECT_STREQ("abcde", small);
    EXPECT_EQ(0, CopyText(small, COUNTOF(small), "abcdefgh"));
    EXPECT_STREQ("abcde", small);
    char joined[8] = "ab";
    EXPECT_EQ(0, AppendText(joined, COUNTOF(joined), "cdefghij"));
    EXPECT_STREQ("abcdefg", joined);
    if (IsCodePage932()) {
        // "ab" + 表 + 表: a cut after five bytes would leave half of the
        // second 表, so only four bytes stay.
        char dbcs[6];
        EXPECT_EQ(0, CopyText(dbcs, COUNTOF(dbcs), "ab" "\x95" "\x5C" "\x95" "\x5C"));
        EXPECT_STREQ("ab" "\x95" "\x5C", dbcs);
    }
}
