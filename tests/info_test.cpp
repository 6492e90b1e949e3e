// The uninstall information: the block in an executable file, the numbered
// lists and single keys as the worker reads them, and the launcher's keys
// written through the real profile functions.

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <string.h>

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

namespace {

std::string WriteInfo(const std::string& dir, const std::string& text)
{
    std::string path = dir + "uninst.ini";
    WriteFileBytes(path, text);
    return path;
}

std::vector<std::string> ReadList(const std::string& path, const char* section,
                                  std::vector<InfoRead>* results = nullptr)
{
    struct Collect {
        std::vector<std::string> values;
        std::vector<InfoRead> results;
    } collect;
    InfoFile info;
    LoadInfoFile(path.c_str(), &info);
    ForEachListEntry(&info, section,
        [](const char* value, InfoRead result, void* context) -> int {
            Collect* c = static_cast<Collect*>(context);
            c->values.push_back(value);
            c->results.push_back(result);
            return 1;
        }, &collect);
    FreeInfoFile(&info);
    if (results)
        *results = collect.results;
    return collect.values;
}

}  // namespace

TEST(InfoFile, NumberedListsEndAtTheFirstGap)
{
    std::string dir = MakeSandboxDir("info-lists");
    std::string path = WriteInfo(dir,
        "[Files]\r\n0=C:\\App\\a.txt\r\n1=C:\\App\\Data\\\r\n3=C:\\App\\after-gap.txt\r\n"
        "[group]\r\n0=  Sample Tools  \r\n1=\r\n2=C:\\never\r\n"
        "[REGISTRY_CURRENT_USER]\r\n0=Software\\Sample\r\n");
    EXPECT_EQ((std::vector<std::string>{ "C:\\App\\a.txt", "C:\\App\\Data\\" }),
              ReadList(path, TW_SECTION_FILES));
    // Names compare without regard to case; values come trimmed; an empty
    // value ends the list like a missing one.
    EXPECT_EQ((std::vector<std::string>{ "Sample Tools" }), ReadList(path, TW_SECTION_GROUP));
    EXPECT_EQ((std::vector<std::string>{ "Software\\Sample" }),
              ReadList(path, TW_SECTION_REG_CURRENT_USER));
    EXPECT_TRUE(ReadList(path, TW_SECTION_REG_USERS).empty());
    EXPECT_TRUE(ReadList(dir + "missing.ini", TW_SECTION_FILES).empty());
}

TEST(InfoFile, OverlongValuesAreReportedNotCut)
{
    std::string dir = MakeSandboxDir("info-long");
    std::string exact = "C:\\" + std::string(256, 'x');              // 259 characters
    std::string longer = "C:\\" + std::string(257, 'y');             // 260 characters
    std::string huge = "C:\\" + std::string(5000, 'z');
    std::string path = WriteInfo(dir, "[Files]\r\n0=" + exact + "\r\n1=" + longer + "\r\n2=" + huge +
                                          "\r\n3=C:\\short.txt\r\n");
    std::vector<InfoRead> results;
    std::vector<std::string> values = ReadList(path, TW_SECTION_FILES, &results);
    ASSERT_EQ(4u, values.size());
    EXPECT_EQ(INFO_OK, results[0]);
    EXPECT_EQ(exact, values[0]);
    EXPECT_EQ(INFO_TOO_LONG, results[1]);
    EXPECT_EQ(INFO_TOO_LONG, results[2]);
    EXPECT_EQ(INFO_OK, results[3]);
    EXPECT_EQ("C:\\short.txt", values[3]);
    // A too-long entry is handed on whole, never as a shorter path.
    EXPECT_EQ(longer, values[1]);
    EXPECT_EQ(huge, values[2]);
    char cut[MAX_PATH];
    InfoFile info;
    ASSERT_NE(0, LoadInfoFile(path.c_str(), &info));
    EXPECT_EQ(INFO_TOO_LONG, ReadListEntry(&info, TW_SECTION_FILES, 1, cut, COUNTOF(cut)));
    EXPECT_EQ(259u, strlen(cut));
    FreeInfoFile(&info);
}

TEST(InfoFile, SingleKeysAndTheirDefaults)
{
    std::string dir = MakeSandboxDir("info-keys");
    InfoFile empty;
    LoadInfoFile(WriteInfo(dir, "[Options]\r\n").c_str(), &empty);
    char value[TW_CCH_UNINST_FILE] = "junk";
    EXPECT_EQ(INFO_EMPTY, ReadUninstallKey(&empty, value, MAX_PATH));
    EXPECT_STREQ("", value);
    EXPECT_EQ(0, ReadCommonGroup(&empty));
    EXPECT_EQ(-1, ReadUninstSrcProcess(&empty));
    EXPECT_EQ(INFO_EMPTY, ReadUninstFile(&empty, value, COUNTOF(value)));
    FreeInfoFile(&empty);

    std::string full = dir + "full.ini";
    WriteFileBytes(full, "[options]\r\nuninstallkey = SampleApp\r\n[Group]\r\nCommonGroup=1\r\n"
                         "[General]\r\nUninstFile=C:\\App\\twuninst.exe\r\nUninstSrcProcess=1234\r\n");
    InfoFile info;
    LoadInfoFile(full.c_str(), &info);
    EXPECT_EQ(INFO_OK, ReadUninstallKey(&info, value, MAX_PATH));
    EXPECT_STREQ("SampleApp", value);
    EXPECT_EQ(1, ReadCommonGroup(&info));
    EXPECT_EQ(1234, ReadUninstSrcProcess(&info));
    EXPECT_EQ(INFO_OK, ReadUninstFile(&info, value, COUNTOF(value)));
    EXPECT_STREQ("C:\\App\\twuninst.exe", value);
    FreeInfoFile(&info);
}

TEST(InfoFile, LauncherKeysUpdateAnExistingGeneralSectionInPlace)
{
    std::string dir = MakeSandboxDir("info-write");
    std::string path = WriteInfo(dir,
        "[Options]\r\nUninstallKey=SampleApp\r\n[General]\r\nUninstFile=old\r\nOther=kept\r\n"
        "[Files]\r\n0=C:\\App\\a.txt\r\n");
    ASSERT_NE(0, WriteLauncherKeys(path.c_str(), "C:\\Program Files\\Sample\\twuninst.exe", 4242));
    std::string text = ReadFileBytes(path);
    // One General section, updated where it stood, before [Files].
    size_t general = text.find("[General]");
    ASSERT_NE(std::string::npos, general);
    EXPECT_EQ(std::string::npos, text.find("[General]", general + 1));
    size_t files = text.find("[Files]");
    size_t file = text.find("UninstFile=C:\\Program Files\\Sample\\twuninst.exe");
    size_t pid = text.find("UninstSrcProcess=4242");
    EXPECT_LT(general, file);
    EXPECT_LT(general, pid);
    EXPECT_LT(file, files);
    EXPECT_LT(pid, files);
    EXPECT_NE(std::string::npos, text.find("Other=kept"));
    InfoFile info;
    LoadInfoFile(path.c_str(), &info);
    EXPECT_EQ(4242, ReadUninstSrcProcess(&info));
    FreeInfoFile(&info);
}

TEST(InfoFile, LauncherOptionsReplaceWhatTheBlockSays)
{
    std::string dir = MakeSandboxDir("info-options");
    std::string path = WriteInfo(dir, "[Options]\r\nUninstallKey=SampleApp\r\n"
                                      "[General]\r\nQuiet=1\r\nLogFile=C:\\x.log\r\nResult=0\r\n");
    char value[MAX_PATH];
    InfoFile info;
    ASSERT_NE(0, WriteLauncherOptions(path.c_str(), 0, ""));
    LoadInfoFile(path.c_str(), &info);
    EXPECT_EQ(0, ReadQuiet(&info));
    EXPECT_EQ(INFO_EMPTY, ReadLogFile(&info, value, COUNTOF(value)));
    EXPECT_EQ(-1, ReadRunResult(&info));
    FreeInfoFile(&info);

    ASSERT_NE(0, WriteLauncherOptions(path.c_str(), 1, "C:\\My Logs\\u.log"));
    LoadInfoFile(path.c_str(), &info);
    EXPECT_EQ(1, ReadQuiet(&info));
    EXPECT_EQ(INFO_OK, ReadLogFile(&info, value, COUNTOF(value)));
    EXPECT_STREQ("C:\\My Logs\\u.log", value);
    FreeInfoFile(&info);
}
