// The Startup folder monitor on a real thread, against the prefix's own Startup folders and
// against scratch folders, with a short settle.
#include "TestSupport.h"
#include "monitors/StartupMonitor.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>

namespace {
RecordedEvent AutoStart(int kind, const std::string& location, const std::string& details) {
    return {"Auto Start", kind, location, details};
}

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

// The scratch folder without its trailing backslash.
std::string DirOf(const CTempDir& dir) { return dir.path.substr(0, dir.path.size() - 1); }

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class StartupMonitor : public testing::Test {
protected:
    CRecordingHost host{300};
    std::thread thread;
    std::vector<std::string> cleanUp;

    void TearDown() override {
        if (thread.joinable()) {
            SetEvent(host.m_stop);
            thread.join();
        }
        for (const std::string& f : cleanUp)
            DeleteFileA(f.c_str());
    }
    void Start(std::function<void()> run) {
        thread = std::thread(std::move(run));
        ASSERT_TRUE(host.WaitForReady(1, 10000));
    }
    void StartOn(const std::string& personal, const std::string& allUsers) {
        Start([=] { RunStartupMonitor(&host, personal.c_str(), allUsers.c_str()); });
    }
    // Exactly n events, in order or sorted by name: two more settles must add nothing.
    std::vector<RecordedEvent> Expect(size_t n, bool sorted = false) {
        EXPECT_TRUE(host.WaitForEvents(n, 8000)) << "only " << host.Events().size() << " of " << n;
        Sleep(900);
        auto events = host.Events();
        host.Clear();
        if (sorted)
            std::sort(events.begin(), events.end(),
                      [](const RecordedEvent& a, const RecordedEvent& b) { return a.details < b.details; });
        return events;
    }
};
} // namespace

TEST_F(StartupMonitor, ShortcutsInTheShellsStartupFoldersAreNewWithTheirLabels) {
    std::string personal = ShellFolder(CSIDL_STARTUP) + "\\kt5-personal.lnk";
    std::string common = ShellFolder(CSIDL_COMMON_STARTUP) + "\\kt5-common.lnk";
    cleanUp = {personal, common};
    DeleteFileA(personal.c_str());
    DeleteFileA(common.c_str());
    Start([this] { MonitorStartProc(static_cast<IMonitorHost*>(&host)); });

    WriteFile(personal, "shortcut");
    WriteFile(common, "shortcut");
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_NEW, "Personal", "kt5-personal.lnk"),
                                          AutoStart(EVENT_NEW, "All Users", "kt5-common.lnk")}),
              Expect(2));
}

TEST_F(StartupMonitor, NamesComeAndGoButContentsAndShortLivedFilesGiveNothing) {
    CTempDir personal, allUsers;
    WriteFile(personal.path + "app.lnk", "one");
    StartOn(DirOf(personal), DirOf(allUsers));

    ASSERT_TRUE(MoveFileA((personal.path + "app.lnk").c_str(), (personal.path + "launch.lnk").c_str()));
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_NEW, "Personal", "launch.lnk"),
                                          AutoStart(EVENT_DELETED, "Personal", "app.lnk")}),
              Expect(2));

    // Contents and attributes change nothing, a subfolder signals nothing, and a file made and
    // removed within the settle is never seen. The other folder's file lists that folder only.
    WriteFile(personal.path + "launch.lnk", "a longer content");
    SetFileAttributesA((personal.path + "launch.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((personal.path + "launch.lnk").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CreateDirectoryA((personal.path + "sub").c_str(), nullptr));
    WriteFile(allUsers.path + "blink.lnk", "b");
    DeleteFileA((allUsers.path + "blink.lnk").c_str());
    Sleep(1000);
    WriteFile(allUsers.path + "marker.lnk", "m");
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_NEW, "All Users", "marker.lnk")}), Expect(1));

    WriteFile(personal.path + "p.lnk", "p");
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_NEW, "Personal", "p.lnk"),
                                          AutoStart(EVENT_NEW, "Personal", "sub")}),
              Expect(2, true));
    RemoveDirectoryA((personal.path + "sub").c_str());
}

TEST_F(StartupMonitor, FolderMovedAwayReportsEveryEntryWithDotAndDotDot) {
    CTempDir scratch;
    std::string folder = scratch.path + "StartUp", moved = scratch.path + "Moved";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    WriteFile(folder + "\\gone.lnk", "g");
    StartOn("", folder);
    DeleteFileA((folder + "\\gone.lnk").c_str());
    ASSERT_TRUE(MoveFileA(folder.c_str(), moved.c_str()));
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_DELETED, "All Users", "."),
                                          AutoStart(EVENT_DELETED, "All Users", ".."),
                                          AutoStart(EVENT_DELETED, "All Users", "gone.lnk")}),
              Expect(3, true));
    TearDown();
    RemoveDirectoryA(moved.c_str());
}

TEST_F(StartupMonitor, WithNeitherFolderPresentTheThreadEndsSilently) {
    CMessageBoxRecorder boxes;
    CTempDir scratch;
    DWORD start = GetTickCount();
    RunStartupMonitor(&host, (scratch.path + "missing").c_str(), "");
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_FALSE(host.WaitForReady(1, 0));
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST(StartupPaths, ShellFoldersFirstThenTheProfileLayoutWithinTheBuffers) {
    struct Saved {
        const char* name;
        char value[1024];
        DWORD length;
    } saved[] = {{"HOMEDRIVE", {}, 0}, {"HOMEPATH", {}, 0}};
    for (Saved& s : saved)
        s.length = GetEnvironmentVariableA(s.name, s.value, sizeof s.value);
    CMessageBoxRecorder boxes;
    // Each path buffer with a guard after it, where an overrun would show.
    struct {
        char path[kStartupPathChars];
        char guard[32];
    } personal, allUsers;
    std::memset(personal.guard, 'G', sizeof personal.guard);
    std::memset(allUsers.guard, 'G', sizeof allUsers.guard);
    auto resolve = [&](const char* shellPersonal, const char* shellAllUsers) {
        ResolveStartupPaths(shellPersonal, shellAllUsers, personal.path, allUsers.path);
        return std::make_pair(std::string(personal.path), std::string(allUsers.path));
    };
    using Paths = std::pair<std::string, std::string>;

    // The shell's folders are taken as they are: the variables are not even read.
    SetEnvironmentVariableA("HOMEDRIVE", nullptr);
    EXPECT_EQ(Paths("C:\\shell\\user", "C:\\shell\\common"), resolve("C:\\shell\\user", "C:\\shell\\common"));
    EXPECT_TRUE(boxes.Texts().empty());

    // Only a row the shell leaves out is composed.
    SetEnvironmentVariableA("HOMEDRIVE", "C:");
    SetEnvironmentVariableA("HOMEPATH", "\\Documents and Settings\\Owner");
    EXPECT_EQ(Paths("C:\\Documents and Settings\\Owner\\Start Menu\\Programs\\Startup",
                    "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup"),
              resolve("", nullptr));
    EXPECT_EQ(Paths("C:\\shell\\user", "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup"),
              resolve("C:\\shell\\user", ""));
    SetEnvironmentVariableA("HOMEPATH", "Owner"); // no backslash: no All Users folder
    EXPECT_EQ(Paths("C:Owner\\Start Menu\\Programs\\Startup", ""), resolve("", ""));

    // Too long for the variable's buffer, or for the path once composed: refused, not cut.
    for (size_t length : {300u, 240u, 258u}) {
        std::string longHome = "\\" + std::string(length - 8, 'h') + "\\Owner1";
        SetEnvironmentVariableA("HOMEPATH", longHome.c_str());
        EXPECT_EQ(Paths("", ""), resolve("", "")) << length;
    }
    SetEnvironmentVariableA("HOMEPATH", "\\Owner");
    SetEnvironmentVariableA("HOMEDRIVE", "\\\\server\\share");
    EXPECT_EQ(Paths("", ""), resolve("", ""));
    EXPECT_TRUE(std::all_of(personal.guard, personal.guard + 32, [](char c) { return c == 'G'; }));
    EXPECT_TRUE(std::all_of(allUsers.guard, allUsers.guard + 32, [](char c) { return c == 'G'; }));
    EXPECT_TRUE(boxes.Texts().empty());

    // A missing variable is said, and the row the shell gave still stands.
    SetEnvironmentVariableA("HOMEDRIVE", nullptr);
    EXPECT_EQ(Paths("", "C:\\shell\\common"), resolve("", "C:\\shell\\common"));
    SetEnvironmentVariableA("HOMEDRIVE", "C:");
    SetEnvironmentVariableA("HOMEPATH", nullptr);
    EXPECT_EQ(Paths("", ""), resolve("", ""));
    EXPECT_EQ((std::vector<std::string>{"MonitorStartProc: Failed to get HOMEDRIVE (203)",
                                        "MonitorStartProc: Failed to get HOMEPATH (203)"}),
              boxes.Texts());
    for (Saved& s : saved)
        SetEnvironmentVariableA(s.name, s.length && s.length < sizeof s.value ? s.value : nullptr);
}

TEST_F(StartupMonitor, FolderRemovedAndCreatedAgainIsWatchedAgain) {
    CTempDir scratch;
    std::string folder = scratch.path + "StartUp";
    // Wine keeps a watched folder from being removed in place: it is moved away, then removed.
    int removed = 0;
    auto removeFolder = [&] {
        for (const char* f : {"a.lnk", "b.lnk", "c.lnk", "d.lnk", "e.lnk"})
            DeleteFileA((folder + "\\" + f).c_str());
        std::string away = folder + ".old" + std::to_string(++removed);
        ASSERT_TRUE(MoveFileA(folder.c_str(), away.c_str()));
        RemoveDirectoryA(away.c_str());
    };
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    WriteFile(folder + "\\a.lnk", "a");
    StartOn(folder, "");

    removeFolder();
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_DELETED, "Personal", "."),
                                          AutoStart(EVENT_DELETED, "Personal", ".."),
                                          AutoStart(EVENT_DELETED, "Personal", "a.lnk")}),
              Expect(3, true));
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    WriteFile(folder + "\\b.lnk", "b");
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_NEW, "Personal", "."), AutoStart(EVENT_NEW, "Personal", ".."),
                                          AutoStart(EVENT_NEW, "Personal", "b.lnk")}),
              Expect(3, true));
    WriteFile(folder + "\\c.lnk", "c");
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_NEW, "Personal", "c.lnk")}), Expect(1));

    // Removed and made again within one settle: only what differs, and the new folder is watched.
    removeFolder();
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    WriteFile(folder + "\\b.lnk", "b");
    WriteFile(folder + "\\d.lnk", "d");
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_DELETED, "Personal", "c.lnk"),
                                          AutoStart(EVENT_NEW, "Personal", "d.lnk")}),
              Expect(2, true));
    WriteFile(folder + "\\e.lnk", "e");
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_NEW, "Personal", "e.lnk")}), Expect(1));
    TearDown();
    removeFolder();
    for (int i = 1; i <= removed; ++i)
        RemoveDirectoryA((folder + ".old" + std::to_string(i)).c_str());
}

// Names the code page cannot show whole read alike ("?" for what is missing), yet stay apart.
TEST_F(StartupMonitor, OddNamesAndNamesThatReadAlikeAreEachReported) {
    CTempDir personal;
    StartOn(DirOf(personal), "");
    std::wstring dir(personal.path.begin(), personal.path.end());
    for (const wchar_t* name : {L"kt \u4e2d.lnk", L"kt \u6587.lnk", L"kt odd, name;'&%^ \u00e9\u20ac.lnk"}) {
        HANDLE f = CreateFileW((dir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        CloseHandle(f);
    }
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_NEW, "Personal", "kt ?.lnk"),
                                          AutoStart(EVENT_NEW, "Personal", "kt ?.lnk"),
                                          AutoStart(EVENT_NEW, "Personal", "kt odd, name;'&%^ \xe9\x80.lnk")}),
              Expect(3, true));
    ASSERT_TRUE(DeleteFileW((dir + L"kt \u4e2d.lnk").c_str()));
    EXPECT_EQ((std::vector<RecordedEvent>{AutoStart(EVENT_DELETED, "Personal", "kt ?.lnk")}), Expect(1));
    TearDown();
    DeleteFileW((dir + L"kt \u6587.lnk").c_str());
}
