// Registry key trees deleted bottom-up below the four roots, the end-of-run
// deletion of one installed-programs entry, a subkey that refuses deletion
// (produced through the deletion seam: Wine does not enforce a security
// descriptor that denies DELETE on a key), and the key paths that are never
// deleted.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/common.h"
#include "common/guard.h"
#include "info/info.h"
#include "res/resource.h"
#include "ui/ui.h"
#include "worker/worker.h"
#include "test_support.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Creates a key with a string and a number value in it.
void CreateKeyWithValues(HKEY root, const std::string& path)
{
    KeyGuard key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                             key.Out(), NULL)) << path;
    DWORD number = 7;
    RegSetValueExA(key.Get(), "Name", 0, REG_SZ, (const BYTE*)"value", 6);
    RegSetValueExA(key.Get(), "Count", 0, REG_DWORD, (const BYTE*)&number, sizeof(number));
}

// A tree three levels deep below path, with values at every level.
void CreateDeepTree(HKEY root, const std::string& path)
{
    for (const char* sub : {"", "\\Alpha", "\\Alpha\\One", "\\Alpha\\One\\Deep", "\\Alpha\\Two", "\\Beta",
                            "\\Beta\\One", "\\Beta\\One\\Deep", "\\Gamma"})
        CreateKeyWithValues(root, path + sub);
}

// The deletion seam: records every key the operation deletes and refuses
// the one named s_refusedName.
std::vector<std::string> s_deletions;
std::string s_refusedName;

LONG WINAPI RecordingRegDeleteKey(HKEY hKey, LPCSTR subKey)
{
    s_deletions.push_back(subKey);
    if (!s_refusedName.empty() && s_refusedName == subKey)
        return ERROR_ACCESS_DENIED;
    return RegDeleteKeyA(hKey, subKey);
}

// The seam while shared keys are at stake: records and refuses every
// deletion, so that a path let through by mistake still destroys nothing.
LONG WINAPI RefusingRegDeleteKey(HKEY, LPCSTR subKey)
{
    s_deletions.push_back(subKey);
    return ERROR_ACCESS_DENIED;
}

class RegistryTree : public testing::Test {
protected:
    void SetUp() override
    {
        s_deletions.clear();
        s_refusedName.clear();
        g_regDeleteKey = RecordingRegDeleteKey;
    }
    void TearDown() override { g_regDeleteKey = RegDeleteKeyA; }
};

int Count(const std::vector<std::string>& names, const std::string& name)
{
    int n = 0;
    for (const std::string& s : names)
        n += s == name;
    return n;
}

}  // namespace

TEST_F(RegistryTree, DeletesATreeThreeLevelsDeepBelowEveryRoot)
{
    std::string userSandbox = MakeRegistrySandbox("regtree-deep");
    struct {
        const char* name;
        HKEY root;
        std::string parent;  // created for the test, removed afterwards
        std::string parentCleanup;
    } cases[] = {
        {"current user", HKEY_CURRENT_USER, userSandbox, userSandbox},
        {"classes root", HKEY_CLASSES_ROOT, "TarnwickTest.RegTree", "TarnwickTest.RegTree"},
        {"local machine", HKEY_LOCAL_MACHINE, "SOFTWARE\\TarnwickTest\\RegTree", "SOFTWARE\\TarnwickTest"},
        {"users", HKEY_USERS, ".DEFAULT\\Software\\TarnwickTest\\RegTree", ".DEFAULT\\Software\\TarnwickTest"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = c.parent + "\\Tree";
        CreateDeepTree(c.root, path);
        CreateKeyWithValues(c.root, c.parent + "\\Neighbour");
        ASSERT_TRUE(KeyExists(c.root, path + "\\Beta\\One\\Deep"));

        EXPECT_NE(0, DeleteRegistryTree(c.root, path.c_str(), NULL));

        EXPECT_FALSE(KeyExists(c.root, path));
        EXPECT_TRUE(KeyExists(c.root, c.parent + "\\Neighbour"));
        EXPECT_EQ(9u, s_deletions.size());  // every key once, nothing twice
        s_deletions.clear();
        DeleteKeyTreeForTest(c.root, c.parentCleanup);
    }
}

TEST_F(RegistryTree, DeletesAKeyWithoutSubkeys)
{
    std::string sandbox = MakeRegistrySandbox("regtree-flat");
    CreateKeyWithValues(HKEY_CURRENT_USER, sandbox + "\\Flat");
    CreateKeyWithValues(HKEY_CURRENT_USER, sandbox + "\\Flatter");

    EXPECT_NE(0, DeleteRegistryTree(HKEY_CURRENT_USER, (sandbox + "\\Flat").c_str(), NULL));

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox + "\\Flat"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox + "\\Flatter"));
    EXPECT_EQ(std::vector<std::string>{sandbox + "\\Flat"}, s_deletions);
}

TEST_F(RegistryTree, DeletesSubkeysWithTheLongestNames)
{
    std::string sandbox = MakeRegistrySandbox("regtree-long-names");
    // Created one level at a time: the whole path is longer than the ANSI
    // registry calls take at once.
    std::string longName(255, 'k');
    CreateKeyWithValues(HKEY_CURRENT_USER, sandbox + "\\Long");
    {
        KeyGuard longKey;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (sandbox + "\\Long").c_str(), 0,
                                               KEY_ALL_ACCESS, longKey.Out()));
        CreateKeyWithValues(longKey.Get(), longName);
        KeyGuard middle;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(longKey.Get(), longName.c_str(), 0, KEY_ALL_ACCESS, middle.Out()));
        CreateKeyWithValues(middle.Get(), longName);
        ASSERT_TRUE(KeyExists(middle.Get(), longName));
    }

    EXPECT_NE(0, DeleteRegistryTree(HKEY_CURRENT_USER, (sandbox + "\\Long").c_str(), NULL));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox + "\\Long"));
    EXPECT_EQ(3u, s_deletions.size());
}

TEST_F(RegistryTree, MissingKeysAreFailures)
{
    std::string sandbox = MakeRegistrySandbox("regtree-missing");
    CreateKeyWithValues(HKEY_CURRENT_USER, sandbox + "\\Present");
    struct {
        const char* name;
        std::string keyPath;
        const char* subkeyName;
    } cases[] = {
        {"missing key", sandbox + "\\Absent", NULL},
        {"missing key below a missing parent", sandbox + "\\Absent\\Deeper", NULL},
        {"missing subkey", sandbox, "Absent"},
        {"subkey of a missing key path", sandbox + "\\Absent", "Present"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(0, DeleteRegistryTree(HKEY_CURRENT_USER, c.keyPath.c_str(), c.subkeyName));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox + "\\Present"));
        EXPECT_TRUE(s_deletions.empty());
    }
}

TEST_F(RegistryTree, EndOfRunDeletesOnlyTheApplicationsEntry)
{
    std::string app = std::string(kUninstallKey) + "\\TarnwickTestApp";
    std::string other = std::string(kUninstallKey) + "\\TarnwickTestOther";
    CreateDeepTree(HKEY_LOCAL_MACHINE, app);
    CreateKeyWithValues(HKEY_LOCAL_MACHINE, other);

    EXPECT_NE(0, DeleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKey, "TarnwickTestApp"));

    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, app));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, other));
    DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, other);
}

TEST_F(RegistryTree, ASubkeyThatCannotBeDeletedEndsItsParentsLoop)
{
    // Alpha goes first; Beta holds the refused key, so the loop of Beta and
    // then of the root key ends there and Gamma is never reached.
    std::string sandbox = MakeRegistrySandbox("regtree-refused");
    std::string root = sandbox + "\\Root";
    CreateKeyWithValues(HKEY_CURRENT_USER, root + "\\Alpha\\Inner");
    CreateKeyWithValues(HKEY_CURRENT_USER, root + "\\Beta\\Refused");
    CreateKeyWithValues(HKEY_CURRENT_USER, root + "\\Gamma");
    s_refusedName = "Refused";

    EXPECT_EQ(0, DeleteRegistryTree(HKEY_CURRENT_USER, root.c_str(), NULL));

    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, root + "\\Alpha"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, root + "\\Beta\\Refused"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, root + "\\Gamma"));
    // Each key was tried once at most: the failure travels up, the parents'
    // own deletions are still attempted (and refused, as they hold a
    // subkey), and nothing is repeated.
    EXPECT_EQ(1, Count(s_deletions, "Refused"));
    EXPECT_EQ(1, Count(s_deletions, "Beta"));
    EXPECT_EQ(1, Count(s_deletions, root));
    EXPECT_EQ(0, Count(s_deletions, "Gamma"));
    EXPECT_EQ(5u, s_deletions.size());  // Inner, Alpha, Refused, Beta, Root
}

TEST_F(RegistryTree, ARefusedEntryLeavesTheUninstallKeyAlone)
{
    std::string app = std::string(kUninstallKey) + "\\TarnwickTestRefused";
    CreateKeyWithValues(HKEY_LOCAL_MACHINE, app + "\\Locked");
    s_refusedName = "Locked";

    EXPECT_EQ(0, DeleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKey, "TarnwickTestRefused"));

    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, app + "\\Locked"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    s_refusedName.clear();
    DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, app);
}

TEST_F(RegistryTree, SharedAndMalformedKeyPathsAreRefusedUntouched)
{
    std::string sandbox = MakeRegistrySandbox("regtree-guard");
    CreateDeepTree(HKEY_CURRENT_USER, sandbox + "\\Vendor");
    // Wine takes these names literally or folds the doubled backslash, so
    // each of them opens a real key below the sandbox.
    for (const char* sub : {"\\.\\Dot", "\\Up\\..", "\\Two\\Empty", "\\Blank\\ \\Inner"})
        CreateKeyWithValues(HKEY_CURRENT_USER, sandbox + sub);
    CreateKeyWithValues(HKEY_USERS, "TarnwickTestHive");
    struct {
        HKEY root;
        std::string path;
    } cases[] = {
        {HKEY_CURRENT_USER, ""},
        {HKEY_CURRENT_USER, "Software"},
        {HKEY_CURRENT_USER, "sOFTWARE\\\\"},
        {HKEY_CURRENT_USER, "Software\\Classes"},
        {HKEY_CURRENT_USER, "software\\microsoft\\"},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows"},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion"},
        {HKEY_CURRENT_USER, "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\"},
        {HKEY_CURRENT_USER, "Software\\Policies"},
        {HKEY_CURRENT_USER, "Control Panel"},
        {HKEY_CURRENT_USER, "Environment"},
        {HKEY_CURRENT_USER, sandbox + "\\."},
        {HKEY_CURRENT_USER, sandbox + "\\.\\Dot"},
        {HKEY_CURRENT_USER, sandbox + "\\Up\\.."},
        {HKEY_CURRENT_USER, sandbox + "\\Two\\\\Empty"},
        {HKEY_CURRENT_USER, sandbox + "\\Blank\\ \\Inner"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE"},
        {HKEY_LOCAL_MACHINE, "software\\Classes"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
        {HKEY_LOCAL_MACHINE, "SYSTEM"},
        {HKEY_LOCAL_MACHINE, "HARDWARE\\"},
        {HKEY_LOCAL_MACHINE, "SAM"},
        {HKEY_LOCAL_MACHINE, "SECURITY"},
        {HKEY_CLASSES_ROOT, "CLSID"},
        {HKEY_CLASSES_ROOT, "interface"},
        {HKEY_CLASSES_ROOT, "TypeLib\\"},
        {HKEY_CLASSES_ROOT, "AppID"},
        {HKEY_CLASSES_ROOT, "*"},
        {HKEY_USERS, ".DEFAULT"},
        {HKEY_USERS, "TarnwickTestHive\\"},
        {HKEY_USERS, ".default\\Software\\Microsoft"},
        // The same keys under their other names, and Windows' own file types.
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID"},
        {HKEY_LOCAL_MACHINE, "software\\classes\\Interface"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\exefile"},
        {HKEY_CURRENT_USER, "Software\\Classes\\.exe"},
        {HKEY_USERS, ".DEFAULT\\Software\\Classes\\txtfile"},
        {HKEY_USERS, "TarnwickTestHive_Classes\\.txt"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\Select"},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\MountedDevices"},
        {HKEY_CLASSES_ROOT, ".txt"},
        {HKEY_CLASSES_ROOT, "jpegfile"},
        {HKEY_CLASSES_ROOT, "http"},
    };
    g_regDeleteKey = RefusingRegDeleteKey;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        // A shared key that this prefix lacks is made for the case, so that
        // an unguarded deletion would have something to delete.
        bool made = !KeyExists(c.root, c.path);
        if (made)
            CreateKeyWithValues(c.root, c.path);
        s_deletions.clear();

        EXPECT_EQ(0, DeleteRegistryTree(c.root, c.path.c_str(), NULL));

        EXPECT_TRUE(s_deletions.empty());
        EXPECT_TRUE(KeyExists(c.root, c.path));
        if (made)
            DeleteKeyTreeForTest(c.root, c.path);
    }
    g_regDeleteKey = RecordingRegDeleteKey;
    DeleteKeyTreeForTest(HKEY_USERS, "TarnwickTestHive");
    DeleteKeyTreeForTest(HKEY_USERS, "TarnwickTestHive_Classes");
    // Nothing of the sandbox went; the vendor's own keys beside still go,
    // also where they are named through another spelling.
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sandbox + "\\Blank\\ \\Inner"));
    EXPECT_NE(0, DeleteRegistryTree(HKEY_CURRENT_USER, (sandbox + "\\Vendor").c_str(), NULL));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, sandbox + "\\Vendor"));
    const std::string vendorClass = "SOFTWARE\\Classes\\TarnwickTest.Document";
    CreateDeepTree(HKEY_LOCAL_MACHINE, vendorClass);
    EXPECT_NE(0, DeleteRegistryTree(HKEY_LOCAL_MACHINE, vendorClass.c_str(), NULL));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, vendorClass));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Wine"));
}

TEST_F(RegistryTree, AQuietRunWhoseEntryStaysEndsWithTwo)
{
    // The whole worker, quiet, on an information file of its own (nothing
    // listed); the installed-programs entry refuses deletion.
    std::string dir = MakeSandboxDir("regtree-quiet-entry");
    const std::string entry = std::string(kUninstallKey) + "\\TarnwickTestQuiet";
    CreateKeyWithValues(HKEY_LOCAL_MACHINE, entry);
    std::string info = dir + "info.ini";
    WriteFileBytes(info, "[Options]\r\nUninstallKey=TarnwickTestQuiet\r\n[General]\r\nQuiet=1\r\nLogFile=" + dir +
                             "quiet.log\r\n");
    s_refusedName = "TarnwickTestQuiet";

    WorkerStage(info.c_str());
    g_quiet = 0;

    InfoFile result;
    LoadInfoFile(info.c_str(), &result);
    EXPECT_EQ(2, ReadRunResult(&result));
    FreeInfoFile(&result);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, entry));
    std::string log = ReadFileBytes(dir + "quiet.log");
    EXPECT_NE(std::string::npos, log.find(entry + " " + LoadTextBuffer(IDS_FAILED_TO_DELETE) + "\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("result 2 (some items remain)\r\n")) << log;
    s_refusedName.clear();
    DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, entry);
}

TEST_F(RegistryTree, AKeyPathWithATrailByteBackslashIsNotRefused)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "needs code page 932";
    // "\x95" "\x5C" is the kanji for "table": its second byte is no separator.
    std::string sandbox = MakeRegistrySandbox("regtree-guard-932");
    std::string table = sandbox + "\\\x95" "\x5C";
    CreateKeyWithValues(HKEY_CURRENT_USER, table + "\\Inner\\Deep");

    EXPECT_NE(0, DeleteRegistryTree(HKEY_CURRENT_USER, (table + "\\Inner").c_str(), NULL));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, table + "\\Inner"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, table));
}
