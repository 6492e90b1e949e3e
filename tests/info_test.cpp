// The uninstall information: the block in an executable file, the numbered
// lists and single keys read through the real profile functions.

#include <gtest/gtest.h>
#include <string>

#include "common/common.h"
#include "info/info.h"
#include "test_support.h"

namespace {

const std::string kMarker = std::string("[Tarnwick ") + "Uninstaller]";

// Writes bytes to a file, opens it as the launcher does and locates.
struct LocateResult {
    int found;
    DWORD offset;
    DWORD position;  // file position afterwards
};

LocateResult LocateIn(const std::string& path, const std::string& bytes)
{
    WriteFileBytes(path, bytes);
    LocateResult r = { 0, 0, 0xFFFFFFFF };
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return r;
    r.found = LocatePayload(h, &r.offset);
    r.position = SetFilePointer(h, 0, NULL, FILE_CURRENT);
    CloseHandle(h);
    return r;
}

}  // namespace

TEST(LocatePayload, FindsTheFirstMarkerAndRewinds)
{
    std::string dir = MakeSandboxDir("locate");
    struct Case {
        const char* name;
        std::string bytes;
        int found;
        DWORD offset;
    } cases[] = {
        { "two markers", "MZ" + kMarker + "\r\nAB" + kMarker + "\r\nCD", 1, 2 + 24 },
        { "line end not examined", "MZ" + kMarker + "xyP", 1, 2 + 24 },
        { "marker at the very end", "MZ" + kMarker, 0, 0 },
        { "one byte after", "MZ" + kMarker + "\r", 0, 0 },
        { "two bytes after", "MZ" + kMarker + "\r\n", 0, 0 },
        { "one payload byte", kMarker + "\r\nX", 1, 24 },
        { "no marker", "MZ just an image", 0, 0 },
        { "empty file", "", 0, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocateResult r = LocateIn(dir + "case.exe", c.bytes);
        EXPECT_EQ(c.found, r.found);
        if (c.found)
            EXPECT_EQ(c.offset, r.offset);
        EXPECT_EQ(0u, r.position);
    }
}

TEST(LocatePayload, LargeImage)
{
    std::string dir = MakeSandboxDir("locate-large");
    std::string image(6 * 1024 * 1024, '\0');
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = (char)(i * 7);
    std::string bytes = image + kMarker + "\r\n" + "payload";
    LocateResult r = LocateIn(dir + "big.exe", bytes);
    EXPECT_EQ(1, r.found);
    EXPECT_EQ(image.size() + 24, r.offset);
    EXPECT_EQ(0u, r.position);
}

TEST(LocatePayload, BuiltUninstallerDoesNotCarryTheMarker)
{
    std::string exe = ReadFileBytes(BuildTreePath("twuninst.exe"));
    ASSERT_GT(exe.size(), 1000u) << "twuninst.exe not found in the build tree";
    EXPECT_EQ(std::string::npos, exe.find(kMarker));
    // Nor does this test program, which links the same product code.
    char self[MAX_PATH];
    ASSERT_LT(GetModuleFileNameA(NULL, self, MAX_PATH), (DWORD)MAX_PATH);
    std::string image = ReadFileBytes(self);
    size_t at = image.find(kMarker);
    EXPECT_EQ(std::string::npos, at);
}
