// The run's own folder in the temporary directory: a new one for every call,
// a name that is taken never reused, and on the NT family an access list
// that names the current user, SYSTEM and the Administrators only. Wine
// neither keeps such a list (only what Unix permissions can say) nor
// enforces it, so the list is read where the folder is created (a seam).

#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>

#include "common/common.h"
#include "entry/entry.h"
#include "worker/worker.h"
#include "test_support.h"

namespace {

std::string SidBytes(PSID sid)
{
    return std::string((const char*)sid, GetLengthSid(sid));
}

// What the folder is given: its control flags, and the SIDs of its access
// entries ("" for an entry that is not full access, passed on to all that
// is made inside).
SECURITY_DESCRIPTOR_CONTROL s_control;
std::vector<std::string> s_sids;

BOOL WINAPI RecordingCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES attributes)
{
    PSECURITY_DESCRIPTOR given = attributes != NULL ? attributes->lpSecurityDescriptor : NULL;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = NULL;
    DWORD revision = 0;
    ACCESS_ALLOWED_ACE* ace = NULL;
    if (given != NULL && GetSecurityDescriptorControl(given, &s_control, &revision) &&
        GetSecurityDescriptorDacl(given, &present, &acl, &defaulted) && present && acl != NULL) {
        for (DWORD i = 0; i < acl->AceCount && GetAce(acl, i, (void**)&ace); ++i)
            s_sids.push_back(ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ace->Mask == FILE_ALL_ACCESS &&
                                     ace->Header.AceFlags == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)
                                 ? SidBytes(&ace->SidStart) : std::string());
    }
    return CreateDirectoryA(path, attributes);
}

TEST(CreateWorkspace, MakesANewFolderOnlyTheUserSystemAndTheAdministratorsMayEnter)
{
    ASSERT_NE(0, IsNtPlatform()) << "only the NT family has file security";
    std::string temp = MakeSandboxDir("workspace");
    char first[MAX_PATH], second[MAX_PATH];
    g_createDirectory = RecordingCreateDirectory;
    int created = CreateWorkspace(temp.c_str(), 1234, first, COUNTOF(first));
    g_createDirectory = CreateDirectoryA;
    ASSERT_NE(0, created);

    HANDLE hToken = NULL;
    DWORD user[64], cb = 0;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken));
    ASSERT_TRUE(GetTokenInformation(hToken, TokenUser, user, sizeof(user), &cb));
    CloseHandle(hToken);
    DWORD system[3] = { 0x00000101, 0x05000000, SECURITY_LOCAL_SYSTEM_RID };   // S-1-5-18
    DWORD administrators[4] = { 0x00000201, 0x05000000, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS };
    EXPECT_EQ((std::vector<std::string>{ SidBytes(((TOKEN_USER*)user)->User.Sid), SidBytes(system),
                                         SidBytes(administrators) }),
              s_sids);
    // Nothing is taken over from the temporary directory.
    EXPECT_NE(0, s_control & SE_DACL_PROTECTED);

    // The same seed names the same folder first: taken now, so another.
    WriteFileBytes(std::string(first) + "mine.txt", "kept");
    ASSERT_NE(0, CreateWorkspace(temp.c_str(), 1234, second, COUNTOF(second)));
    EXPECT_STRNE(first, second);
    EXPECT_TRUE(DirectoryExists(second));
    EXPECT_EQ("kept", ReadFileBytes(std::string(first) + "mine.txt"));
}

// A folder whose name the code page cannot write and that has no short name
// (here: none at all, as on a volume with 8.3 names turned off) is refused
// with its own error, never handed out with '?' in it.
TEST(ConvertToAnsiPath, RefusesANameWithNeitherFormInTheCodePage)
{
    const WCHAR kName[] = L"C:\\no such folder\\\x0141\x00F3\x0064\x017A";
    char probe[MAX_PATH];
    WCHAR back[MAX_PATH];
    ASSERT_NE(0, WideCharToMultiByte(CP_ACP, 0, kName, -1, probe, COUNTOF(probe), NULL, NULL));
    ASSERT_NE(0, MultiByteToWideChar(CP_ACP, 0, probe, -1, back, COUNTOF(back)));
    ASSERT_NE(std::wstring(kName), std::wstring(back)) << "code page " << GetACP() << " holds the test's name";

    char path[MAX_PATH] = "x";
    SetLastError(0);
    EXPECT_EQ(0, ConvertToAnsiPath(kName, path, COUNTOF(path)));
    EXPECT_EQ((DWORD)ERROR_NO_UNICODE_TRANSLATION, GetLastError());
    EXPECT_STREQ("", path);
}

}  // namespace
