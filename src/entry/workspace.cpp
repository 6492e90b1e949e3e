// The run's own folder in the temporary directory: a new one for every run,
// so that nothing that another user placed in a shared temporary directory
// (SYSTEM's C:\Windows\Temp, NT 4.0's C:\TEMP) is ever read or started, and
// two runs never share a file. On the NT family only the current user,
// SYSTEM and the Administrators may reach into it; the 9x family has no
// file security.

#include "entry/entry.h"
#include "common/common.h"
#include "common/guard.h"
#include "worker/worker.h"

CreateDirectoryFunction g_createDirectory = CreateDirectoryA;

// Names tried before giving up. One that exists already is skipped, so
// another program can hold up a run only by taking every one of them.
static const DWORD kWorkspaceAttempts = 100;

// A well-known account as the system stores it: revision 1, the count of
// sub-authorities, the NT authority (5), then the sub-authorities.
struct WellKnownSid {
    BYTE revision;
    BYTE count;
    BYTE authority[6];
    DWORD sub[2];
};
static const WellKnownSid kLocalSystem = { 1, 1, { 0, 0, 0, 0, 0, 5 }, { 18, 0 } };       // S-1-5-18
static const WellKnownSid kAdministrators = { 1, 2, { 0, 0, 0, 0, 0, 5 }, { 32, 544 } };  // S-1-5-32-544

// The security calls, looked up: the 9x family's advapi32 need not have
// them, and SetSecurityDescriptorControl came with Windows 2000. The types
// come from the declarations without importing the functions.
struct SecurityCalls {
    decltype(&OpenProcessToken) openProcessToken;
    decltype(&GetTokenInformation) getTokenInformation;
    decltype(&InitializeAcl) initializeAcl;
    decltype(&AddAccessAllowedAce) addAccessAllowedAce;
    decltype(&GetAce) getAce;
    decltype(&InitializeSecurityDescriptor) initializeSecurityDescriptor;
    decltype(&SetSecurityDescriptorDacl) setSecurityDescriptorDacl;
    decltype(&SetSecurityDescriptorControl) setSecurityDescriptorControl;   // may be NULL
};

static int LookUpSecurityCalls(SecurityCalls* calls)
{
    HMODULE h = GetModuleHandleA("advapi32.dll");
    if (h == NULL)
        return 0;
    calls->openProcessToken = (decltype(&OpenProcessToken))GetProcAddress(h, "OpenProcessToken");
    calls->getTokenInformation = (decltype(&GetTokenInformation))GetProcAddress(h, "GetTokenInformation");
    calls->initializeAcl = (decltype(&InitializeAcl))GetProcAddress(h, "InitializeAcl");
    calls->addAccessAllowedAce = (decltype(&AddAccessAllowedAce))GetProcAddress(h, "AddAccessAllowedAce");
    calls->getAce = (decltype(&GetAce))GetProcAddress(h, "GetAce");
    calls->initializeSecurityDescriptor =
        (decltype(&InitializeSecurityDescriptor))GetProcAddress(h, "InitializeSecurityDescriptor");
    calls->setSecurityDescriptorDacl =
        (decltype(&SetSecurityDescriptorDacl))GetProcAddress(h, "SetSecurityDescriptorDacl");
    calls->setSecurityDescriptorControl =
        (decltype(&SetSecurityDescriptorControl))GetProcAddress(h, "SetSecurityDescriptorControl");
    return calls->openProcessToken && calls->getTokenInformation && calls->initializeAcl &&
           calls->addAccessAllowedAce && calls->getAce && calls->initializeSecurityDescriptor &&
           calls->setSecurityDescriptorDacl;
}

// The private folder's security descriptor and what it points into.
struct PrivateSecurity {
    SECURITY_DESCRIPTOR descriptor;
    DWORD acl[128];         // the access list (lists are DWORD-aligned)
    DWORD tokenUser[64];    // TOKEN_USER, the user's SID after it
};

static DWORD SidLength(const void* sid)
{
    return 8 + 4 * ((const BYTE*)sid)[1];
}

// Adds an entry that gives the account full access to the folder and,
// through inheritance, to everything created in it.
static int AllowFullAccess(const SecurityCalls& calls, PACL acl, const void* sid)
{
    if (!calls.addAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, const_cast<void*>(sid)))
        return 0;
    // NT 4.0 has no call that adds an inheritable entry: mark the one just
    // added.
    void* ace = NULL;
    if (!calls.getAce(acl, acl->AceCount - 1u, &ace))
        return 0;
    ((ACE_HEADER*)ace)->AceFlags |= OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    return 1;
}

// Builds a descriptor whose access list names the current user, SYSTEM and
// the Administrators, each with full access, and nobody else.
static int BuildPrivateSecurity(PrivateSecurity* security)
{
    SecurityCalls calls;
    if (!LookUpSecurityCalls(&calls))
        return 0;
    HANDLE hTokenRaw = NULL;
    if (!calls.openProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hTokenRaw))
        return 0;
    HandleGuard hToken(hTokenRaw);
    DWORD cbUser = 0;
    if (!calls.getTokenInformation(hToken.Get(), TokenUser, security->tokenUser, sizeof(security->tokenUser),
                                   &cbUser))
        return 0;
    const void* user = ((const TOKEN_USER*)security->tokenUser)->User.Sid;

    PACL acl = (PACL)security->acl;
    const DWORD cbEntry = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
    DWORD cbAcl = sizeof(ACL) + 3 * cbEntry + SidLength(user) + SidLength(&kLocalSystem) +
                  SidLength(&kAdministrators);
    if (cbAcl > sizeof(security->acl) || !calls.initializeAcl(acl, cbAcl, ACL_REVISION) ||
        !AllowFullAccess(calls, acl, user) || !AllowFullAccess(calls, acl, &kLocalSystem) ||
        !AllowFullAccess(calls, acl, &kAdministrators))
        return 0;
    if (!calls.initializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !calls.setSecurityDescriptorDacl(&security->descriptor, TRUE, acl, FALSE))
        return 0;
    // From Windows 2000 on, a new folder also takes the inheritable entries
    // of its parent (a temporary directory where every user may create
    // files) unless its list is protected. NT 4.0 uses a given list as it is.
    return calls.setSecurityDescriptorControl == NULL ||
           calls.setSecurityDescriptorControl(&security->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

int CreateWorkspace(const char* tempDir, DWORD seed, char* workspace, size_t cchWorkspace)
{
    PrivateSecurity security;
    SECURITY_ATTRIBUTES attributes = { sizeof(attributes), &security.descriptor, FALSE };
    SECURITY_ATTRIBUTES* pAttributes = NULL;
    if (IsNtPlatform()) {
        // A folder that every user of a shared temporary directory could
        // reach is no better than the directory: no run without it.
        if (!BuildPrivateSecurity(&security))
            return 0;
        pAttributes = &attributes;
    }
    for (DWORD attempt = 0; attempt < kWorkspaceAttempts; ++attempt) {
        char name[32];
        wsprintfA(name, "twuninst-%08lX", (unsigned long)(DWORD)(seed + attempt * 0x9E3779B9u));
        if (!CopyText(workspace, cchWorkspace, tempDir) || !AppendText(workspace, cchWorkspace, name))
            return 0;
        if (g_createDirectory(workspace, pAttributes)) {
            if (AppendText(workspace, cchWorkspace, "\\"))
                return 1;
            RemoveDirectoryA(workspace);
            return 0;
        }
        // Only a name that is taken is worth another try (systems differ
        // in the error they give for it).
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && GetFileAttributesA(workspace) == INVALID_FILE_ATTRIBUTES)
            return 0;
    }
    return 0;
}
