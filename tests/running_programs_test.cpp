// Finding the programs that run with an installation's files, by each way
// the worker knows: the Toolhelp and PSAPI walks for real, on a program
// started from a sandbox folder; the Restart Manager through recorded
// answers, since Wine's finds nothing. (Naming by window, closing and the
// files left for the restart: the end-to-end scenarios running-*.)

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/common.h"
#include "worker/worker.h"
#include "test_support.h"

namespace {

// The Restart Manager as the fakes play it: what was registered, and the
// programs it answers with, as Windows 10 answers for programs with a
// main window. Too little room gives ERROR_MORE_DATA and the number needed.
std::vector<std::wstring> s_registered;
std::vector<RM_PROCESS_INFO> s_answers;
int s_sessionsEnded = 0;

DWORD WINAPI FakeStartSession(DWORD* session, DWORD, WCHAR* key)
{
    *session = 7;
    key[0] = L'\0';
    return ERROR_SUCCESS;
}

DWORD WINAPI FakeRegister(DWORD, UINT cFiles, LPCWSTR* files, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*)
{
    s_registered.insert(s_registered.end(), files, files + cFiles);
    return ERROR_SUCCESS;
}

DWORD WINAPI FakeGetList(DWORD, UINT* cNeeded, UINT* cInfo, RM_PROCESS_INFO* infos, LPDWORD reasons)
{
    *reasons = 0;
    *cNeeded = (UINT)s_answers.size();
    if (infos == NULL || *cInfo < *cNeeded) {
        *cInfo = 0;
        return ERROR_MORE_DATA;
    }
    std::copy(s_answers.begin(), s_answers.end(), infos);
    *cInfo = *cNeeded;
    return ERROR_SUCCESS;
}

DWORD WINAPI FakeEndSession(DWORD)
{
    ++s_sessionsEnded;
    return ERROR_SUCCESS;
}

RM_PROCESS_INFO RecordedAnswer(DWORD processId, const wchar_t* appName)
{
    RM_PROCESS_INFO info = {};
    info.Process.dwProcessId = processId;
    lstrcpynW(info.strAppName, appName, CCH_RM_MAX_APP_NAME);
    info.ApplicationType = RmMainWindow;
    info.AppStatus = RmStatusRunning;
    info.bRestartable = TRUE;
    return info;
}

class RunningProgramsTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = MakeSandboxDir("running-programs");
        appDir_ = dir_ + "Application Folder\\";
        exe_ = appDir_ + "running app.exe";
        CreateDirectoryA(appDir_.c_str(), NULL);
        ASSERT_TRUE(CopyFileA(BuildTreePath("tests/running_app.exe").c_str(), exe_.c_str(), FALSE));
    }

    void TearDown() override
    {
        g_restartManagerCalls = NULL;
        FreeListedPaths(&listed_);
        program_.Wait(0);
        RemoveTree(dir_);
    }

    // The listed paths of a Files list with the given entries.
    const ListedPaths* Listed(const std::vector<std::string>& entries)
    {
        std::string text = "[Files]\r\n";
        for (size_t i = 0; i < entries.size(); ++i)
            text += std::to_string(i) + "=" + entries[i] + "\r\n";
        InfoFile info;
        LoadInfoText(text.data(), text.size(), &info);
        FreeListedPaths(&listed_);
        EXPECT_NE(0, CollectListedPaths(&info, NULL, &listed_));
        FreeInfoFile(&info);
        return &listed_;
    }

    std::string dir_, appDir_, exe_;
    ChildProgram program_;
    ListedPaths listed_ = {};
};

}  // namespace

TEST_F(RunningProgramsTest, EachWalkFindsTheProgramByItsExecutableOrAFolderAboveIt)
{
    // Without a title the program shows no window and runs until ended.
    ASSERT_TRUE(program_.Start("\"" + exe_ + "\""));
    char shortExe[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(exe_.c_str(), shortExe, COUNTOF(shortExe)), 0u);
    ASSERT_STRNE(exe_.c_str(), shortExe);
    const struct {
        const char* name;
        std::string listed;
        int found;
    } rows[] = {
        { "the executable", exe_, 1 },
        { "the executable by its short name", shortExe, 1 },
        { "the folder above its folder", dir_, 1 },
        { "another file of its folder", appDir_ + "running app.dll", 0 },
        { "a folder beside it", dir_ + "Application\\", 0 },
    };
    const struct {
        const char* name;
        int (*walk)(const ListedPaths*, RunningPrograms*);
    } walks[] = { { "Toolhelp", WalkProcessesWithToolhelp }, { "PSAPI", WalkProcessesWithPsapi } };
    for (const auto& row : rows) {
        for (const auto& w : walks) {
            SCOPED_TRACE(std::string(w.name) + ", " + row.name);
            RunningPrograms found;
            StartRunningPrograms(&found, 0);
            // The loader may not have the executable in place at once.
            for (int wait = 0;; ++wait) {
                ASSERT_NE(0, w.walk(Listed({ row.listed }), &found));
                if (found.count >= row.found || wait == 50)
                    break;
                Sleep(100);
            }
            ASSERT_EQ(row.found, found.count);
            if (row.found) {
                EXPECT_EQ(program_.Id(), found.items[0].processId);
                EXPECT_STREQ("running app.exe", found.items[0].name);
            }
            // The launcher's process never counts.
            StartRunningPrograms(&found, program_.Id());
            w.walk(&listed_, &found);
            EXPECT_EQ(0, found.count);
        }
    }
}

TEST_F(RunningProgramsTest, TheRestartManagersAnswerNamesThePrograms)
{
    const RestartManagerCalls recorded = { FakeStartSession, FakeRegister, FakeGetList, FakeEndSession };
    g_restartManagerCalls = &recorded;
    const DWORD otherId = GetCurrentProcessId() + 4;
    s_answers = { RecordedAnswer(otherId, L"Recorded Application"),
                  RecordedAnswer(GetCurrentProcessId(), L"Ourselves") };
    RunningPrograms found;
    StartRunningPrograms(&found, 0);
    EXPECT_NE(0, AskRestartManager(Listed({ exe_, appDir_, appDir_ + "missing.dll" }), &found));

    // Only files that are there are registered: it knows no directories.
    wchar_t wideExe[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, exe_.c_str(), -1, wideExe, MAX_PATH);
    EXPECT_EQ(std::vector<std::wstring>{ wideExe }, s_registered);
    ASSERT_EQ(1, found.count);
    EXPECT_EQ(otherId, found.items[0].processId);
    EXPECT_STREQ("Recorded Application", found.items[0].name);
    EXPECT_EQ(1, s_sessionsEnded);
}
