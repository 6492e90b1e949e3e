// Values that a program owns inside shared keys: one value deleted with
// the key left standing, a directory taken out of a PATH-like list with
// the rest of it kept byte for byte, and a key removed only once nothing
// is left in it.

#include <gtest/gtest.h>
#include <string>

#include "common/guard.h"
#include "worker/worker.h"
#include "test_support.h"

namespace {

void SetValue(const std::string& key, const char* name, DWORD type, const std::string& bytes)
{
    KeyGuard hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                             hKey.Out(), NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey.Get(), name, 0, type, (const BYTE*)bytes.data(), (DWORD)bytes.size()));
}

std::string Text(const char* text) { return std::string(text, strlen(text) + 1); }

}  // namespace

TEST(ListElements, OnlyTheElementsEqualToTheDirectoryGo)
{
    const struct {
        const char* list;
        const char* directory;
        const char* left;
        size_t taken;
    } rows[] = {
        { "C:\\A;C:\\App\\bin;D:\\B", "c:\\app\\BIN\\", "C:\\A;D:\\B", 1 },
        { "C:\\App\\bin\\;C:\\A;C:\\App\\Bin", "C:\\App\\bin", "C:\\A", 2 },
        { "C:\\A;;C:\\App\\bin;", "C:\\App\\bin", "C:\\A;;", 1 },
        { "C:\\App\\binary;C:\\App;%App%\\bin", "C:\\App\\bin", "C:\\App\\binary;C:\\App;%App%\\bin", 0 },
        { "C:\\App\\bin", "C:\\App\\bin", "", 1 },
        { "C:\\A;;B", "\\", "C:\\A;;B", 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.list) + " less " + row.directory);
        char out[256];
        EXPECT_EQ(row.taken, DropListElements(row.list, row.directory, out));
        EXPECT_STREQ(row.left, out);
    }
}

TEST(ListElements, ATrailByteBackslashIsPartOfTheName)
{
    if (!IsCodePage932())
        GTEST_SKIP() << "needs code page 932";
    // 表 is 95 5C: "C:\表" ends in its trail byte, not in a backslash.
    char out[64];
    EXPECT_EQ(1u, DropListElements("C:\\\x95\x5C;C:\\A", "C:\\\x95\x5C\\", out));
    EXPECT_STREQ("C:\\A", out);
    EXPECT_EQ(0u, DropListElements("C:\\\x95\x5C;C:\\A", "C:\\\x95", out));
    EXPECT_STREQ("C:\\\x95\x5C;C:\\A", out);
}

// The end-to-end sample deletes named values and takes a PATH element out;
// here the default value, and what is refused or left alone.
TEST(RegistryValues, TheDefaultValueGoesAValueOfAnotherTypeStays)
{
    std::string key = MakeRegistrySandbox("values-default");
    SetValue(key, "", REG_SZ, Text("default"));
    SetValue(key, "Number", REG_DWORD, std::string("\x07\0\0\0", 4));

    EXPECT_NE(0, DeleteListedValue(HKEY_CURRENT_USER, key.c_str(), ""));
    EXPECT_FALSE(ReadRegistryValue(HKEY_CURRENT_USER, key.c_str(), "").present);
    EXPECT_EQ(0, DeleteListedValue(HKEY_CURRENT_USER, ("\\" + key).c_str(), "Number"));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
    EXPECT_EQ(0, RemoveListElement(HKEY_CURRENT_USER, key.c_str(), "Number", "C:\\App\\bin"));
    EXPECT_EQ((DWORD)ERROR_INVALID_DATATYPE, GetLastError());
    EXPECT_EQ(std::string("\x07\0\0\0", 4), ReadRegistryValue(HKEY_CURRENT_USER, key.c_str(), "Number").bytes);
}

// The ANSI calls would give a character outside the code page as another
// one; writing that back would change another program's directory.
TEST(RegistryValues, LeavesAListAloneThatTheCodePageCannotHold)
{
    const wchar_t kName[] = L"C:\\\x0141\x00F3" L"d\x017A";   // C:\Łódź
    // The code page must not hold the name: through it and back, it changes
    // (best fit may give L for Ł without saying so).
    char ansi[32];
    wchar_t back[32];
    int cchAnsi = WideCharToMultiByte(CP_ACP, 0, kName, -1, ansi, sizeof(ansi), NULL, NULL);
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, ansi, cchAnsi, back, 32), 0);
    ASSERT_NE(std::wstring(kName), std::wstring(back)) << "code page " << GetACP() << " holds the test's name";
    std::string key = MakeRegistrySandbox("values-lossy");
    std::wstring data = std::wstring(kName) + L";C:\\App\\bin";
    {
        KeyGuard hKey;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(key.begin(), key.end()).c_str(), 0,
                                               KEY_ALL_ACCESS, hKey.Out()));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(hKey.Get(), L"Path", 0, REG_SZ, (const BYTE*)data.c_str(),
                                                (DWORD)((data.size() + 1) * sizeof(wchar_t))));
    }

    EXPECT_EQ(0, RemoveListElement(HKEY_CURRENT_USER, key.c_str(), "Path", "C:\\App\\bin"));
    EXPECT_EQ((DWORD)ERROR_NO_UNICODE_TRANSLATION, GetLastError());
    KeyGuard hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, std::wstring(key.begin(), key.end()).c_str(), 0,
                                           KEY_READ, hKey.Out()));
    wchar_t stored[64] = { 0 };
    DWORD cb = sizeof(stored) - sizeof(wchar_t);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(hKey.Get(), L"Path", NULL, NULL, (BYTE*)stored, &cb));
    EXPECT_EQ(data, std::wstring(stored));
}

TEST(RegistryValues, AValueKeepsAKeyThatGoesOnlyWhenEmpty)
{
    std::string vendor = MakeRegistrySandbox("values-empty") + "\\Vendor";
    SetValue(vendor, "Shared", REG_SZ, Text("1"));

    EXPECT_EQ(0, RemoveEmptyKey(HKEY_CURRENT_USER, vendor.c_str()));
    EXPECT_EQ((DWORD)ERROR_DIR_NOT_EMPTY, GetLastError());
    ASSERT_NE(0, DeleteListedValue(HKEY_CURRENT_USER, vendor.c_str(), "Shared"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, vendor));   // a value entry never deletes a key
    EXPECT_NE(0, RemoveEmptyKey(HKEY_CURRENT_USER, vendor.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, vendor));

    // A shared key is never removed, even when empty, as Environment may be.
    EXPECT_EQ(0, RemoveEmptyKey(HKEY_CURRENT_USER, "Environment"));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Environment"));
}
