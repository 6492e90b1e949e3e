// Building and reading the block in memory: the layout the uninstaller
// expects, byte-exact extraction, and the treatment of earlier blocks.

#include <gtest/gtest.h>

#include <string>

#include "native_support.h"
#include "pack.h"

namespace {
const std::string kMarker = std::string("[Tarnwick ") + "Uninstaller]";
}

TEST(Pack, AppendsMarkerLineEndAndComplementedText)
{
    std::string image = FakeUninstallerImage();
    std::string text = "[Options]\r\nUninstallKey=A\r\n";
    std::string built = AppendBlock(image, text);
    ASSERT_EQ(image.size() + 22 + 2 + text.size(), built.size());
    EXPECT_EQ(image, built.substr(0, image.size()));
    EXPECT_EQ(kMarker + "\r\n", built.substr(image.size(), 24));
    for (size_t i = 0; i < text.size(); ++i)
        ASSERT_EQ((unsigned char)(255 - (unsigned char)text[i]), (unsigned char)built[image.size() + 24 + i]) << i;
}

TEST(Pack, ExtractGivesBackEveryByte)
{
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        { "CR LF text", "[Files]\r\n0=C:\\a\r\n" },
        { "no final line end", "[Files]\n0=C:\\a" },
        { "one byte", "x" },
        { "all byte values", std::string("\0\x01\xFE\xFF\r\n\x1A", 7) },
        { "text holding the marker itself", kMarker + "\r\n" + kMarker },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        ASSERT_TRUE(ExtractInfoText(AppendBlock(FakeUninstallerImage(), c.text), &text));
        EXPECT_EQ(c.text, text);
    }
}

TEST(Pack, FindsAndStripsEarlierBlocks)
{
    std::string image = FakeUninstallerImage();
    std::string text;
    EXPECT_EQ(std::string::npos, FindBlockMarker(image));
    EXPECT_FALSE(ExtractInfoText(image, &text));
    EXPECT_EQ(image, StripBlock(image));

    std::string built = AppendBlock(image, "old");
    EXPECT_EQ(image.size(), FindBlockMarker(built));
    EXPECT_EQ(image, StripBlock(built));

    // A marker with nothing after it: the uninstaller sees no block, but a
    // block appended behind it would never be found.
    std::string half = image + kMarker + "\r\n";
    EXPECT_FALSE(ExtractInfoText(half, &text));
    EXPECT_EQ(image.size(), FindBlockMarker(half));
    EXPECT_EQ(image, StripBlock(half));
}

TEST(Pack, RecognisesExecutables)
{
    EXPECT_TRUE(LooksLikeExecutable(FakeUninstallerImage()));
    EXPECT_FALSE(LooksLikeExecutable("[Options]\r\n"));
    EXPECT_FALSE(LooksLikeExecutable("M"));
    EXPECT_FALSE(LooksLikeExecutable(""));
}
