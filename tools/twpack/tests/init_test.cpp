// twpack init on a staged tree with nested and Japanese names and registry
// exports in both of the Registry Editor's formats: what it writes passes
// the check, lists directories inner before outer, never names a shared
// key; a name the code page cannot hold is refused by name.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "ini_reader.h"
#include "native_support.h"

namespace {

// The staged installation (UTF-8 names, as on the build machine); a name
// ending in "/" is an empty folder.
const char* const kStaged[] = { "readme.txt", "bin/tool.exe", "bin/tool.pif", "data/deep/er/x.dat",
                                "data/y.dat", "\xE8\xA1\xA8/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.txt",  // 表/データ.txt
                                "\xE4\xB8\x80\xE8\xA6\xA7\xE8\xA1\xA8",                               // 一覧表
                                "logs/" };

// REGEDIT4 in code page 932: a tree exported from the shared key upwards.
const std::string kRegedit4 =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
    "\"a\"=\"b\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\\x93\xFA\x96\x7B]\r\n"   // 日本
    "\"bin\"=hex:00,01,02,\\\r\n  03,04\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Gone]\r\n";

// Version 5.00, UTF-16: below the user's shared Software key, a file type,
// and the installed-programs entry.
const std::string kVersion5Utf8 =
    "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n"
    "[HKEY_CURRENT_USER\\Software\\Vendor\\App]\r\n[HKEY_CURRENT_USER\\Software\\Vendor\\App\\Sub]\r\n"
    "[HKEY_CLASSES_ROOT\\Vendor.Doc\\shell]\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VendorApp]\r\n"
    "\"DisplayName\"=\"App\"\r\n";

std::string Utf16(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii)
        bytes += std::string(1, c) + '\0';
    return bytes;
}

struct Staged {
    std::string dir = MakeTempDir("init");
    Staged()
    {
        for (std::string name : kStaged) {
            std::string path = dir + "stage/" + name;
            for (size_t cut = 0; (cut = path.find('/', cut + 1)) != std::string::npos;)
                mkdir(path.substr(0, cut).c_str(), 0755);
            if (name.back() != '/')
                WriteBytes(path, "x");
        }
        WriteBytes(dir + "a.reg", kRegedit4);
        WriteBytes(dir + "b.reg", Utf16(kVersion5Utf8));
    }
    RunResult Init(const std::string& codePage) const
    {
        return RunTwpackProgram(dir, "init --dir stage --as 'C:\\Program Files\\App' --group Vendor "
                                     "--group 'Vendor\\App' --reg a.reg --reg b.reg --codepage " + codePage +
                                     " -o info.ini");
    }
};

}  // namespace

TEST(TwpackInit, WritesACheckedListInnerDirectoriesFirstWithoutSharedKeys)
{
    Staged s;
    RunResult r = s.Init("932");
    ASSERT_EQ(0, r.code) << r.err << r.out;
    EXPECT_NE(std::string::npos, r.out.find("twpack check: no errors")) << r.out;
    RunResult checked = RunTwpackProgram(s.dir, "check info.ini");
    EXPECT_EQ(0, checked.code) << checked.out;

    IniText ini = ParseIniText(ReadBytes(s.dir + "info.ini"));
    EXPECT_EQ("VendorApp", ReadIniString(ini, "Options", "UninstallKey", ""));
    std::vector<std::string> files;
    for (unsigned n = 0; !ReadIniString(ini, "Files", std::to_string(n), "").empty(); ++n)
        files.push_back(ReadIniString(ini, "Files", std::to_string(n), ""));
    // Every staged file and folder but the program's side file, in 932.
    EXPECT_EQ(13u, files.size());
    EXPECT_NE(files.end(), std::find(files.begin(), files.end(),
                                     "C:\\Program Files\\App\\\x95\x5C\\\x83\x66\x81\x5B\x83\x5E.txt"));
    EXPECT_EQ(files.end(), std::find(files.begin(), files.end(), "C:\\Program Files\\App\\bin\\tool.pif"));
    EXPECT_EQ("C:\\Program Files\\App\\", files.back());
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].back() != '\\' || files[i] == "C:\\Program Files\\App\\\x88\xEA\x97\x97\x95\x5C")
            continue;
        for (size_t j = i + 1; j < files.size(); ++j)
            EXPECT_NE(0u, files[j].find(files[i])) << files[j] << " comes after " << files[i];
    }

    EXPECT_EQ("Vendor\\App", ReadIniString(ini, "Group", "0", ""));
    EXPECT_EQ("Vendor", ReadIniString(ini, "Group", "1", ""));
    EXPECT_EQ("Software\\Vendor\\App", ReadIniString(ini, "Registry_CURRENT_USER", "0", ""));
    EXPECT_EQ("", ReadIniString(ini, "Registry_CURRENT_USER", "1", ""));
    EXPECT_EQ("Vendor.Doc\\shell", ReadIniString(ini, "Registry_CLASSES_ROOT", "0", ""));
    // The tree rooted at SOFTWARE goes by its vendor's key; the entry is
    // the uninstaller's own business.
    EXPECT_EQ("SOFTWARE\\Vendor", ReadIniString(ini, "Registry_LOCAL_MACHINE", "0", ""));
    EXPECT_EQ("", ReadIniString(ini, "Registry_LOCAL_MACHINE", "1", ""));
}

TEST(TwpackInit, RefusesNamesTheCodePageCannotHold)
{
    Staged s;
    RunResult r = s.Init("1252");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("'C:\\Program Files\\App\\\xE4\xB8\x80\xE8\xA6\xA7\xE8\xA1\xA8' cannot "
                                            "be written in code page 1252")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("nothing written")) << r.err;
    EXPECT_FALSE(Exists(s.dir + "info.ini"));
}

// A key that the reader would give back as another one (here trimmed, so
// the worker would delete a different tree) is refused, not written.
TEST(TwpackInit, RefusesNamesTheReaderWouldChange)
{
    Staged s;
    WriteBytes(s.dir + "c.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vendor\\App ]\r\n\"a\"=\"b\"\r\n");
    RunResult r = RunTwpackProgram(s.dir, "init --dir stage --as 'C:\\App' --key VendorApp --reg c.reg -o info.ini");
    EXPECT_EQ(1, r.code) << r.out;
    EXPECT_NE(std::string::npos, r.err.find("'Software\\Vendor\\App ' would not be read back")) << r.err;
    EXPECT_FALSE(Exists(s.dir + "info.ini"));
}

// Values that an export sets in shared keys: a start-up entry becomes a
// value entry, and PATH (the user's, and the machine's as a REG_EXPAND_SZ)
// gives only its elements inside the installed folder; neither Environment
// key becomes a tree.
TEST(TwpackInit, ListsValuesInSharedKeysAndPathElements)
{
    Staged s;
    // "%SystemRoot%;C:\Program Files\App" as hex(2): ANSI bytes, ASCII here.
    std::string machinePath = "%SystemRoot%;C:\\Program Files\\App", hex;
    for (char c : machinePath + '\0') {
        char byte[4];
        snprintf(byte, sizeof byte, "%02x,", (unsigned char)c);
        hex += byte;
    }
    hex.pop_back();
    WriteBytes(s.dir + "v.reg",
               "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
               "\"App Tray\"=\"\\\"C:\\\\Program Files\\\\App\\\\bin\\\\tool.exe\\\" /tray\"\r\n\r\n"
               "[HKEY_CURRENT_USER\\Environment]\r\n\"Path\"=\"C:\\\\Tools;C:\\\\Program Files\\\\App\\\\bin;C:\\\\Other\"\r\n"
               "\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment]\r\n"
               "\"Path\"=hex(2):" + hex + "\r\n");
    RunResult r = RunTwpackProgram(s.dir, "init --dir stage --as 'C:\\Program Files\\App' --key VendorApp "
                                          "--reg v.reg --codepage 932 -o info.ini");
    ASSERT_EQ(0, r.code) << r.err << r.out;
    EXPECT_NE(std::string::npos, r.out.find("3 registry value entries")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("directories taken out of PATH")) << r.out;

    IniText ini = ParseIniText(ReadBytes(s.dir + "info.ini"));
    EXPECT_EQ("Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\\"App Tray\"",
              ReadIniString(ini, "RegistryValues_CURRENT_USER", "0", ""));
    EXPECT_EQ("Environment\\\\\"Path\";C:\\Program Files\\App\\bin",
              ReadIniString(ini, "RegistryValues_CURRENT_USER", "1", ""));
    EXPECT_EQ("", ReadIniString(ini, "RegistryValues_CURRENT_USER", "2", ""));
    EXPECT_EQ("SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment\\\\\"Path\";C:\\Program Files\\App",
              ReadIniString(ini, "RegistryValues_LOCAL_MACHINE", "0", ""));
    EXPECT_EQ("", ReadIniString(ini, "Registry_LOCAL_MACHINE", "0", ""));
    EXPECT_EQ("", ReadIniString(ini, "Registry_CURRENT_USER", "0", ""));
}

// Folders given by placeholder, one pair's folder inside another's, and the
// shortcuts staged from the vendor's own Start menu: every directory in
// between is listed, the group's subfolder is a group before it, and the
// --as in a profile is named with the placeholder to use.
TEST(TwpackInit, NestedPairsGroupSubfoldersAndProfilePaths)
{
    std::string dir = MakeTempDir("init-nested");
    for (const char* name : { "app", "app/Data", "plugins", "links", "links/Tools" })
        mkdir((dir + name).c_str(), 0755);
    for (const char* name : { "app/a.exe", "app/Data/d.dat", "plugins/p.dll", "links/A.lnk", "links/Tools/H.lnk" })
        WriteBytes(dir + name, "x");
    RunResult r = RunTwpackProgram(dir, "init --dir app --as '<app>' --dir plugins --as '<app>\\Sub\\Plugins' "
                                        "--dir links --as 'C:\\Users\\vendor\\AppData\\Roaming\\Microsoft\\Windows\\"
                                        "Start Menu\\Programs\\App' --group App --key X -o info.ini");
    ASSERT_EQ(0, r.code) << r.err << r.out;
    EXPECT_NE(std::string::npos, r.out.find("profile of the user 'vendor'")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("--as \"<programs>\\App\"")) << r.out;

    IniText ini = ParseIniText(ReadBytes(dir + "info.ini"));
    std::vector<std::string> files;
    for (unsigned n = 0; !ReadIniString(ini, "Files", std::to_string(n), "").empty(); ++n)
        files.push_back(ReadIniString(ini, "Files", std::to_string(n), ""));
    auto at = [&](const char* entry) { return std::find(files.begin(), files.end(), entry) - files.begin(); };
    EXPECT_LT(at("<app>\\Sub\\Plugins\\"), at("<app>\\Sub\\"));
    EXPECT_LT(at("<app>\\Sub\\"), at("<app>\\"));
    EXPECT_EQ("<app>\\", files.back());
    EXPECT_EQ("App\\Tools", ReadIniString(ini, "Group", "0", ""));
    EXPECT_EQ("App", ReadIniString(ini, "Group", "1", ""));
    EXPECT_EQ("", ReadIniString(ini, "Group", "2", ""));
}

// Exports of all of a root or of Software, as a vendor might make them on a
// used machine: without --own-key they are refused, naming the option; with
// it only the program's own trees are listed, and every other key is named
// in the report.
TEST(TwpackInit, BroadExportsListOnlyTheProgramsOwnKeys)
{
    struct Row {
        const char* name;
        std::string reg, ownKeys;
        const char* section;           // the one registry section expected
        const char* tree;
        std::vector<const char*> named;   // left out, and said so
    } rows[] = {
        { "all of HKEY_CURRENT_USER",
          "[HKEY_CURRENT_USER]\r\n[HKEY_CURRENT_USER\\Software]\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts]\r\n"
          "[HKEY_CURRENT_USER\\Software\\Microsoft\\Notepad]\r\n\"lfFaceName\"=\"x\"\r\n"
          "[HKEY_CURRENT_USER\\Software\\Other Vendor\\Tool]\r\n[HKEY_CURRENT_USER\\Software\\Vendor\\App]\r\n"
          "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"
          "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n\"Other\"=\"o.exe\"\r\n",
          "--own-key 'HKEY_CURRENT_USER\\Software\\Vendor'", "Registry_CURRENT_USER", "Software\\Vendor\\App",
          { "Software\\Wine\\Fonts", "Software\\Microsoft\\Notepad", "Software\\Other Vendor\\Tool",
            "Control Panel\\Desktop", "CurrentVersion\\Run (shared" } },
        { "all of HKEY_LOCAL_MACHINE\\SOFTWARE",
          "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography]\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup]\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.txt]\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Other.Doc]\r\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\Root]\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OtherApp]\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\r\n",
          "--own-key 'HKLM\\SOFTWARE\\Vendor\\App'", "Registry_LOCAL_MACHINE", "SOFTWARE\\Vendor\\App",
          { "Microsoft\\Cryptography", "CurrentVersion\\Setup", "Classes\\.txt", "Classes\\Other.Doc",
            "Enum\\Root" } },
        { "all of HKEY_CLASSES_ROOT",
          "[HKEY_CLASSES_ROOT]\r\n[HKEY_CLASSES_ROOT\\.txt]\r\n@=\"txtfile\"\r\n[HKEY_CLASSES_ROOT\\Other.Doc]\r\n"
          "[HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}]\r\n[HKEY_CLASSES_ROOT\\Vendor.Doc]\r\n",
          "--own-key 'HKEY_CLASSES_ROOT\\Vendor.Doc'", "Registry_CLASSES_ROOT", "Vendor.Doc",
          { "HKEY_CLASSES_ROOT\\.txt", "HKEY_CLASSES_ROOT\\Other.Doc", "CLSID\\{1111" } },
        { "a user of the staging machine",
          "[HKEY_USERS\\S-1-5-21-1-2-3-1000\\Software\\Vendor\\App]\r\n"
          "[HKEY_USERS\\S-1-5-21-1-2-3-1000_Classes\\Vendor.Doc]\r\n",
          "", "Registry_CURRENT_USER", "Software\\Vendor\\App", { "S-1-5-21-1-2-3-1000" } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string dir = MakeTempDir("init-broad");
        WriteBytes(dir + "x.reg", "REGEDIT4\r\n\r\n" + row.reg);
        std::string words = "init --reg x.reg --key VendorApp -o info.ini";
        if (!row.ownKeys.empty()) {
            RunResult refused = RunTwpackProgram(dir, words);
            EXPECT_EQ(1, refused.code) << refused.out;
            EXPECT_NE(std::string::npos, refused.err.find("--own-key")) << refused.err;
            EXPECT_FALSE(Exists(dir + "info.ini"));
        }
        RunResult r = RunTwpackProgram(dir, words + " " + row.ownKeys);
        ASSERT_EQ(0, r.code) << r.err << r.out;
        IniText ini = ParseIniText(ReadBytes(dir + "info.ini"));
        EXPECT_EQ(row.tree, ReadIniString(ini, row.section, "0", ""));
        size_t sections = 0;
        for (const char* s : { "Registry_CURRENT_USER", "Registry_CLASSES_ROOT", "Registry_LOCAL_MACHINE",
                               "Registry_USERS", "RegistryValues_CURRENT_USER", "RegistryValues_LOCAL_MACHINE" })
            sections += FindIniSection(ini, s) != nullptr;
        // The user's classes go below HKEY_CURRENT_USER with the user's keys.
        EXPECT_EQ(1u, sections) << ReadBytes(dir + "info.ini");
        for (const char* named : row.named)
            EXPECT_NE(std::string::npos, r.out.find(named)) << named << " in:\n" << r.out;
    }
}
