// The block locator and the complement, natively.

#include <gtest/gtest.h>
#include <string>

#include "info/payload_core.h"

static long long Find(const std::string& s)
{
    return FindPayloadOffset(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

TEST(PayloadCore, MarkerIsComposedAtRunTime)
{
    char marker[TW_MARKER_LENGTH + 1];
    ComposeBlockMarker(marker);
    EXPECT_STREQ("[Tarnwick Uninstaller]", marker);
}

TEST(PayloadCore, LocatesFirstMarkerAndSkipsLineEnd)
{
    const std::string m = "[Tarnwick Uninstaller]";
    EXPECT_EQ(3 + 22 + 2, Find("MZx" + m + "??payload" + m + "\r\nmore"));
    EXPECT_EQ(-1, Find("MZ" + m));             // ends at the end of the file
    EXPECT_EQ(-1, Find("MZ" + m + "\r"));
    EXPECT_EQ(-1, Find("MZ" + m + "\r\n"));
    EXPECT_EQ(2 + 24, Find("MZ" + m + "\r\nX"));
    EXPECT_EQ(-1, Find("[tarnwick Uninstaller]\r\nX"));   // case-sensitive
    EXPECT_EQ(-1, Find(""));
}

TEST(PayloadCore, ComplementTwiceRestores)
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s += (char)i;
    std::string t = s;
    ComplementBytes(reinterpret_cast<unsigned char*>(&t[0]), t.size());
    for (size_t i = 0; i < s.size(); ++i)
        ASSERT_EQ((unsigned char)(255 - (unsigned char)s[i]), (unsigned char)t[i]);
    ComplementBytes(reinterpret_cast<unsigned char*>(&t[0]), t.size());
    EXPECT_EQ(s, t);
}
