// The check of uninstall information texts: each case is a small file and
// the complete list of findings expected for it (level, section, key, line
// and a phrase of the explanation), so that a check that fires too often
// fails as surely as one that does not fire.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "info_check.h"

namespace {

const FindingLevel E = FindingLevel::Error;
const FindingLevel W = FindingLevel::Warning;

struct Expected {
    FindingLevel level;
    const char* section;
    const char* key;
    int line;
    const char* phrase;
};

struct Case {
    const char* name;
    std::string text;
    std::vector<Expected> findings;
};

// Two lines of [Options] in front, so that only the case's own problem shows.
std::string WithKey(const std::string& body) { return "[Options]\nUninstallKey=Sample App\n" + body; }

std::string Describe(const std::vector<Finding>& findings)
{
    std::string s;
    for (const Finding& f : findings)
        s += (f.level == E ? "error " : "warning ") + f.section + "/" + f.key + " line " +
             std::to_string(f.line) + ": " + f.message + "\n";
    return s;
}

void RunCases(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Finding> findings = CheckInfoText(c.text);
        EXPECT_EQ(c.findings.size(), findings.size()) << Describe(findings);
        for (const Expected& x : c.findings) {
            bool found = false;
            for (const Finding& f : findings)
                found = found || (f.level == x.level && f.section == x.section && f.key == x.key &&
                                  f.line == x.line && f.message.find(x.phrase) != std::string::npos);
            EXPECT_TRUE(found) << "expected " << x.section << "/" << x.key << " line " << x.line << " \""
                               << x.phrase << "\" among:\n" << Describe(findings);
        }
    }
}

}  // namespace

TEST(InfoCheck, AWellFormedFileHasNoFindings)
{
    const std::string text =
        "; Sample App 1.0\r\n[Options]\r\nUninstallKey=Sample App\r\n"
        "[Files]\r\n0=C:\\Program Files\\Sample App\\sample.exe\r\n"
        "1=C:\\Program Files\\Sample App\\Data\\\r\n2=C:\\Program Files\\Sample App\\\r\n"
        "3=\"C:\\Program Files\\Sample App\\read me.txt\"\r\n"
        "[Group]\r\nCommonGroup=1\r\n0=Sample Vendor\\Sample App\r\n1=Sample Vendor\r\n"
        "[Registry_CURRENT_USER]\r\n0=Software\\Sample Vendor\\Sample App\r\n"
        "[Registry_CLASSES_ROOT]\r\n0=SampleApp.Document\r\n"
        "[Registry_LOCAL_MACHINE]\r\n0=SOFTWARE\\Sample Vendor\\Sample App\r\n"
        "[Registry_USERS]\r\n0=.DEFAULT\\Software\\Sample Vendor\\Sample App";
    std::vector<Finding> findings = CheckInfoText(text);
    EXPECT_TRUE(findings.empty()) << Describe(findings);
}

TEST(InfoCheck, UninstallKey)
{
    RunCases({
        { "missing", "[Files]\n0=C:\\a\n", { { E, "Options", "UninstallKey", 0, "Failed to initialize." } } },
        { "empty", "[Options]\nUninstallKey=\n", { { E, "Options", "UninstallKey", 2, "is empty" } } },
        { "207 characters fit", "[Options]\nUninstallKey=" + std::string(207, 'k') + "\n", {} },
        { "208 characters", "[Options]\nUninstallKey=" + std::string(208, 'k') + "\n",
          { { E, "Options", "UninstallKey", 2, "at most 207" } } },
        { "nested", "[Options]\nUninstallKey=Vendor\\App\n",
          { { W, "Options", "UninstallKey", 2, "innermost key" } } },
        { "only in a second section", "[Options]\n[Options]\nUninstallKey=x\n",
          { { E, "Options", "", 2, "second [Options]" },
            { E, "Options", "UninstallKey", 0, "There is no UninstallKey" } } },
    });
}

TEST(InfoCheck, ListsEndAtTheFirstMissingOrEmptyKey)
{
    RunCases({
        { "gap", WithKey("[Files]\n0=C:\\a\n1=C:\\b\n3=C:\\d\n4=C:\\e\n"),
          { { E, "Files", "2", 6, "Key 2 is missing, so the uninstaller stops reading [Files] after key 1. "
                                  "The entries 3, 4 (lines 6, 7)" } } },
        { "empty value", WithKey("[Files]\n0=C:\\a\n1=\n2=C:\\c\n"),
          { { E, "Files", "1", 5, "Key 1 is empty" } } },
        { "empty quotes", WithKey("[Group]\n0=A\n1=\"\"\n2=B\n"), { { E, "Group", "1", 5, "The entry 2 (line 6)" } } },
        { "no key 0", WithKey("[Registry_CURRENT_USER]\n1=Software\\V\\A\n"),
          { { E, "Registry_CURRENT_USER", "0", 4, "There is no key 0" } } },
        { "empty last entry is harmless", WithKey("[Files]\n0=C:\\a\n1=\n"), {} },
        { "leading zero", WithKey("[Files]\n0=C:\\a\n01=C:\\b\n"),
          { { E, "Files", "01", 5, "without leading zeros" } } },
    });
}

TEST(InfoCheck, ValuesLongerThanTheUninstallerReads)
{
    RunCases({
        { "259 characters fit", WithKey("[Files]\n0=C:\\" + std::string(256, 'x') + "\n"), {} },
        { "260 characters", WithKey("[Files]\n0=C:\\" + std::string(257, 'x') + "\n"),
          { { E, "Files", "0", 4, "260 characters long" } } },
        { "long group", WithKey("[Group]\n0=" + std::string(151, 'g') + "\n"),
          { { W, "Group", "0", 4, "within 259 characters" } } },
    });
}

TEST(InfoCheck, Files)
{
    RunCases({
        { "directory before its subdirectory", WithKey("[Files]\n0=C:\\App\\\n1=C:\\app\\Data\\\n"),
          { { E, "Files", "0", 4, "listed before 'C:\\app\\Data\\' (entry 1, line 5)" } } },
        { "directory before a file inside it", WithKey("[Files]\n0=C:\\App\\\n1=C:\\App\\a.exe\n"), {} },
        { "sibling with a common prefix", WithKey("[Files]\n0=C:\\App\\\n1=C:\\Apple\\\n"), {} },
        { "relative path", WithKey("[Files]\n0=readme.txt\n1=C:readme.txt\n"),
          { { E, "Files", "0", 4, "not a full path" }, { E, "Files", "1", 5, "temporary directory" } } },
        { "network path", WithKey("[Files]\n0=\\\\server\\share\\a.txt\n"), {} },
        { "root of a drive", WithKey("[Files]\n0=D:\\\n"), { { E, "Files", "0", 4, "root folder of a drive" } } },
        { "same file twice", WithKey("[Files]\n0=C:\\a.txt\n1=C:\\A.TXT\n"),
          { { W, "Files", "1", 5, "\"- failed to delete.\"" } } },
        { "wildcards", WithKey("[Files]\n0=C:\\App\\*.txt\n"), { { E, "Files", "0", 4, "not expanded" } } },
        { "environment variable", WithKey("[Files]\n0=%ProgramFiles%\\App\\a.exe\n"),
          { { E, "Files", "0", 4, "%ProgramFiles%" }, { E, "Files", "0", 4, "not a full path" } } },
        { "comment at the end", WithKey("[Files]\n0=C:\\a.txt ; old\n"),
          { { W, "Files", "0", 4, "'C:\\a.txt ; old'" } } },
        { "unclosed quote", WithKey("[Files]\n0=\"C:\\a.txt\n"),
          { { W, "Files", "0", 4, "not closed" }, { E, "Files", "0", 4, "not a full path" } } },
        // "表" is 95 5C: its second byte is a backslash.
        { "Shift-JIS trail byte at the end", WithKey("[Files]\n0=C:\\App\\\x95\x5C\n"),
          { { W, "Files", "0", 4, "Shift-JIS" } } },
        { "backslash after a Shift-JIS character", WithKey("[Files]\n0=C:\\App\\\x95\x5C\\\n"), {} },
        { "placeholders", WithKey("[Files]\n0=<APP>\\a.exe\n1=<localappdata>\\App\\\n2=<app>\\\n"), {} },
        { "unknown placeholder", WithKey("[Files]\n0=<ap>\\a.exe\n1=<programfiles>\\App\\\n2=<app>x.exe\n"),
          { { E, "Files", "0", 4, "placeholders are <app>, <programs>" }, { E, "Files", "1", 5, "'<programfiles>'" },
            { E, "Files", "2", 6, "Write '<app>\\x.exe'" } } },
        { "the placeholder's folder as a file", WithKey("[Files]\n0=<app>\n"), { { E, "Files", "0", 4, "'<app>\\'" } } },
        { "a user's profile", WithKey("[Files]\n0=C:\\Users\\bob\\AppData\\Roaming\\App\\a.ini\n"
                                     "1=C:\\Documents and Settings\\bob\\Start Menu\\Programs\\App\\\n"
                                     "2=C:\\users\\bob\\My Files\\a.txt\n"
                                     "3=C:\\Users\\Bob\\AppData\\Roaming\\App\\\n"),
          { { W, "Files", "0", 4, "Write it as '<appdata>\\App\\a.ini': the uninstaller resolves the placeholder "
                                  "on the user's machine. The same holds for 1 more entry" },
            { W, "Files", "1", 5, "Write it as '<programs>\\App\\'" }, { W, "Files", "2", 6, "user 'bob'" } } },
        { "shared and Windows folders", WithKey("[Files]\n0=C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\"
                                               "Programs\\App\\a.lnk\n1=C:\\WINNT\\system32\\a.dll\n"
                                               "2=C:\\Users\\Public\\Documents\\a.txt\n"),
          { { W, "Files", "0", 4, "'<commonprograms>\\App\\a.lnk'" }, { W, "Files", "1", 5, "'<system>\\a.dll'" } } },
        { "a directory inside a group", WithKey("[Files]\n0=<programs>\\App\\Tools\\\n1=<programs>\\App\\Help\\\n"
                                               "2=<commonprograms>\\App\\Tools\\\n3=<programs>\\App\\\n"
                                               "[Group]\n0=App\\Help\n1=App\n"),
          { { W, "Files", "0", 4, "inside the program group 'App' ([Group] 1, line 10)" } } },
    });
}

TEST(InfoCheck, ProgramGroups)
{
    RunCases({
        { "Startup", WithKey("[Group]\n0=Startup\n"), { { W, "Group", "0", 4, "never removed" } } },
        { "nested Startup", WithKey("[Group]\n0=Sample\\Start Up\n"), { { W, "Group", "0", 4, "'Start Up'" } } },
        // "スタートアップ" in Shift-JIS.
        { "Japanese Startup", WithKey("[Group]\n0=\x83\x58\x83\x5E\x81\x5B\x83\x67\x83\x41\x83\x62\x83\x76\n"),
          { { W, "Group", "0", 4, "never removed" } } },
        { "startup in another case", WithKey("[Group]\n0=STARTUP\n"),
          { { E, "Group", "0", 4, "remove the user's Startup folder" } } },
        { "full path", WithKey("[Group]\n0=C:\\Start Menu\\Sample\n"), { { E, "Group", "0", 4, "full path" } } },
        { "final backslash", WithKey("[Group]\n0=Sample\\\n"), { { W, "Group", "0", 4, "final backslash" } } },
        { "dot parts", WithKey("[Group]\n0=..\\Startup\n1=Sample\\.\n2=.hidden\n"),
          { { E, "Group", "0", 4, "'.' or '..' part" }, { E, "Group", "1", 5, "'.' or '..' part" } } },
        { "parent before child", WithKey("[Group]\n0=Vendor\n1=Vendor\\App\n"),
          { { E, "Group", "0", 4, "Program groups are removed in list order" } } },
        { "CommonGroup word", WithKey("[Group]\nCommonGroup=yes\n0=A\n"),
          { { W, "Group", "CommonGroup", 4, "reads it as 0" } } },
        { "CommonGroup hex", WithKey("[Group]\nCommonGroup=0x1\n"),
          { { W, "Group", "CommonGroup", 4, "all-users" } } },
        { "Programs folders by placeholder", WithKey("[Group]\n0=<programs>\\Vendor\n1=Vendor\\App\n"
                                                    "2=<commonprograms>\\Vendor\\Tools\n"),
          { { E, "Group", "0", 4, "Program groups are removed in list order" } } },
        { "other placeholders", WithKey("[Group]\n0=<desktop>\\App\n1=<programs>\n2=<programs>\\..\\App\n"),
          { { E, "Group", "0", 4, "no other placeholder" }, { E, "Group", "1", 5, "no other placeholder" },
            { E, "Group", "2", 6, "'.' or '..' part" } } },
    });
}

TEST(InfoCheck, RegistryKeys)
{
    RunCases({
        { "Software", WithKey("[Registry_CURRENT_USER]\n0=Software\n"),
          { { E, "Registry_CURRENT_USER", "0", 4, "HKEY_CURRENT_USER\\Software would destroy" } } },
        { "any top-level key of the user", WithKey("[Registry_CURRENT_USER]\n0=Control Panel\n"),
          { { E, "Registry_CURRENT_USER", "0", 4, "would destroy" } } },
        { "SOFTWARE\\Microsoft", WithKey("[Registry_LOCAL_MACHINE]\n0=software\\microsoft\n"),
          { { E, "Registry_LOCAL_MACHINE", "0", 4, "would destroy" } } },
        { "SOFTWARE\\Classes", WithKey("[Registry_LOCAL_MACHINE]\n0=SOFTWARE\\Classes\n"),
          { { E, "Registry_LOCAL_MACHINE", "0", 4, "would destroy" } } },
        { "CLSID", WithKey("[Registry_CLASSES_ROOT]\n0=CLSID\n"),
          { { E, "Registry_CLASSES_ROOT", "0", 4, "would destroy" } } },
        { "a class of its own", WithKey("[Registry_CLASSES_ROOT]\n0=CLSID\\{12345678-1234-1234-1234-123456789ABC}\n"), {} },
        { "file extension", WithKey("[Registry_CLASSES_ROOT]\n0=.tws\n"),
          { { W, "Registry_CLASSES_ROOT", "0", 4, "file type for every program" } } },
        { "a file type of Windows", WithKey("[Registry_CLASSES_ROOT]\n0=.txt\n"),
          { { E, "Registry_CLASSES_ROOT", "0", 4, "would destroy" } } },
        { "the classes below the machine", WithKey("[Registry_LOCAL_MACHINE]\n0=SOFTWARE\\Classes\\exefile\n"),
          { { E, "Registry_LOCAL_MACHINE", "0", 4, "would destroy" } } },
        { "the program file type", WithKey("[Registry_CLASSES_ROOT]\n0=.EXE\n"),
          { { E, "Registry_CLASSES_ROOT", "0", 4, "would destroy" } } },
        { "dot part", WithKey("[Registry_CURRENT_USER]\n0=Software\\V\\..\n"),
          { { E, "Registry_CURRENT_USER", "0", 4, "'..' part" } } },
        { "a whole user", WithKey("[Registry_USERS]\n0=.DEFAULT\n"),
          { { E, "Registry_USERS", "0", 4, "a whole user's registry" } } },
        { "shared key of a user", WithKey("[Registry_USERS]\n0=.DEFAULT\\Software\\Microsoft\n"),
          { { E, "Registry_USERS", "0", 4, "would destroy" } } },
        { "maker's key", WithKey("[Registry_LOCAL_MACHINE]\n0=SOFTWARE\\Sample Vendor\n"),
          { { W, "Registry_LOCAL_MACHINE", "0", 4, "every program of one maker" } } },
        { "root named again", WithKey("[Registry_LOCAL_MACHINE]\n0=HKLM\\SOFTWARE\\V\\A\n1=HKEY_LOCAL_MACHINE\\X\\Y\n"),
          { { E, "Registry_LOCAL_MACHINE", "0", 4, "section already names the root" },
            { E, "Registry_LOCAL_MACHINE", "1", 5, "section already names the root" } } },
        { "leading backslash", WithKey("[Registry_CURRENT_USER]\n0=\\Software\\V\\A\n1=\\\\\n"),
          { { E, "Registry_CURRENT_USER", "0", 4, "starts with a backslash" },
            { E, "Registry_CURRENT_USER", "1", 5, "starts with a backslash" } } },
        { "doubled backslash", WithKey("[Registry_CURRENT_USER]\n0=Software\\\\V\\A\n"),
          { { E, "Registry_CURRENT_USER", "0", 4, "empty part" } } },
        { "the installed-programs entry",
          WithKey("[Registry_LOCAL_MACHINE]\n0=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample App\n"),
          { { W, "Registry_LOCAL_MACHINE", "0", 4, "by itself at the very end" } } },
        { "same key twice", WithKey("[Registry_CURRENT_USER]\n0=Software\\V\\A\n1=software\\v\\a\n"),
          { { W, "Registry_CURRENT_USER", "1", 5, "repeats entry 0" } } },
    });
}

TEST(InfoCheck, RegistryValues)
{
    const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\";
    RunCases({
        { "a value, a PATH directory, the default value, a maker's key",
          WithKey("[RegistryValues_CURRENT_USER]\n0=" + run + "\"Sample\\App = 1 \"\n"
                  "1=Environment\\\\\"Path\";C:\\Program Files\\Sample App\\bin\\\n"
                  "2=Software\\Classes\\.txt\\\\\"\"\n3=\"Software\\Sample Vendor\\\\\"\n"),
          {} },
        { "name not quoted", WithKey("[RegistryValues_CURRENT_USER]\n0=" + run + "Sample App\n"),
          { { E, "RegistryValues_CURRENT_USER", "0", 4, "not in double quotes" } } },
        { "no two backslashes", WithKey("[RegistryValues_LOCAL_MACHINE]\n0=SOFTWARE\\V\\\"x\"\n"),
          { { E, "RegistryValues_LOCAL_MACHINE", "0", 4, "no two backslashes" } } },
        { "shared key removed when empty", WithKey("[RegistryValues_CURRENT_USER]\n0=Software\\\\\n"),
          { { E, "RegistryValues_CURRENT_USER", "0", 4, "never removes it, even when it is empty" } } },
        { "relative directory", WithKey("[RegistryValues_CURRENT_USER]\n0=Environment\\\\\"Path\";bin\n"),
          { { E, "RegistryValues_CURRENT_USER", "0", 4, "is not a full path" } } },
        { "value in a deleted tree",
          WithKey("[Registry_CURRENT_USER]\n0=Software\\V\\A\n[RegistryValues_CURRENT_USER]\n"
                  "0=Software\\V\\A\\Sub\\\\\"x\"\n"),
          { { W, "RegistryValues_CURRENT_USER", "0", 6, "[Registry_CURRENT_USER] 0 (line 4) deletes" } } },
        { "empty-key form among the trees", WithKey("[Registry_CURRENT_USER]\n0=Software\\V\\A\\\\\n"),
          { { E, "Registry_CURRENT_USER", "0", 4, "list it in [RegistryValues_CURRENT_USER] instead" } } },
    });
}

TEST(InfoCheck, SectionsKeysAndLines)
{
    RunCases({
        { "misspelt section", WithKey("[Fils]\n0=C:\\a\n"), { { W, "Fils", "", 3, "Did you mean [Files]?" } } },
        { "unknown section", WithKey("[Shortcuts]\n0=C:\\a\n"), { { W, "Shortcuts", "", 3, "never reads" } } },
        { "second section of a name", WithKey("[Files]\n0=C:\\a\n[files]\n1=C:\\b\n"),
          { { E, "Files", "", 5, "the first starts on line 3" } } },
        { "misspelt key", "[Options]\nUninstalKey=x\n",
          { { W, "Options", "UninstalKey", 2, "Did you mean UninstallKey?" },
            { E, "Options", "UninstallKey", 0, "There is no UninstallKey" } } },
        { "line without equals", WithKey("[Files]\n0=C:\\a\nC:\\b\n"),
          { { W, "Files", "C:\\b", 5, "for example 0=C:\\b" } } },
        { "header without bracket", WithKey("[Files\n0=C:\\a\n"),
          { { E, "Options", "", 3, "no closing ']'" }, { W, "Options", "0", 4, "never reads a key named '0'" } } },
        { "key twice, different values", WithKey("[Files]\n0=C:\\a\n0=C:\\b\n"),
          { { E, "Files", "0", 5, "'C:\\b' is ignored" } } },
        { "key twice, same value", WithKey("[Files]\n0=C:\\a\n0=C:\\a\n"), { { W, "Files", "0", 5, "repeats the same value" } } },
        { "value-less key first", WithKey("[Files]\n0\n0=C:\\a\n"),
          { { W, "Files", "0", 4, "no '='" }, { E, "Files", "0", 5, "reads as empty, which ends the list" } } },
        { "before any section", "UninstallKey=x\n[Options]\nUninstallKey=y\n",
          { { W, "", "UninstallKey", 1, "before the first [section]" } } },
        { "General section", WithKey("[General]\nUninstFile=C:\\x.exe\n"),
          { { W, "General", "", 3, "writes the [General] section itself" } } },
        { "UTF-8 byte order mark", "\xEF\xBB\xBF" + WithKey(""), { { E, "", "", 1, "UTF-8 byte order mark" } } },
        { "UTF-16", std::string("\xFF\xFE[\0O\0]\0", 8), { { E, "", "", 1, "UTF-16" } } },
        { "NUL byte", WithKey("[Files]\n0=C:\\a") + std::string(1, '\0') + "b\n",
          { { E, "", "", 4, "NUL byte" } } },
    });
}

TEST(InfoCheck, FormatsTextAndJson)
{
    std::vector<Finding> findings = CheckInfoText("[Options]\nUninstallKey=A\n[Files]\n0=C:\\\x95\x5C\n1=x\"y\n");
    ASSERT_EQ(2u, CountFindings(findings, FindingLevel::Warning) + CountFindings(findings, FindingLevel::Error));

    std::string text = FormatFindingsText(findings, "info.ini");
    EXPECT_NE(std::string::npos, text.find("info.ini:4: warning: [Files] 0\n    This path ends"));
    EXPECT_NE(std::string::npos, text.find("info.ini:5: error: [Files] 1\n"));
    EXPECT_NE(std::string::npos, text.find("info.ini: 1 error, 1 warning\n"));
    for (size_t at = 0, next; (next = text.find('\n', at)) != std::string::npos; at = next + 1)
        EXPECT_LE(next - at, 80u) << text.substr(at, next - at);

    std::string json = FormatFindingsJson(findings, "C:\\dir\\info.ini");
    EXPECT_EQ(0u, json.find("{\"file\": \"C:\\\\dir\\\\info.ini\", \"errors\": 1, \"warnings\": 1, \"findings\": [\n"));
    EXPECT_NE(std::string::npos, json.find("{\"level\": \"warning\", \"section\": \"Files\", \"key\": \"0\", \"line\": 4, "
                                           "\"message\": \"This path ends in the byte 0x5C"));
    EXPECT_NE(std::string::npos, json.find("\"line\": 5"));
    for (unsigned char c : json)
        EXPECT_LT(c, 0x80);
    EXPECT_EQ("{\"file\": \"a.ini\", \"errors\": 0, \"warnings\": 0, \"findings\": []}\n",
              FormatFindingsJson({}, "a.ini"));
    EXPECT_EQ("a.ini: no problems found\n", FormatFindingsText({}, "a.ini"));
}
