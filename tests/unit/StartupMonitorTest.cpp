// RESOURCE_LOCK: startup
// The Startup folder monitor on a real thread against scratch folders, with a short settle,
// and the resolution of the two folders' paths.
#include "MonitorThreadTest.h"
#include "monitors/StartupMonitor.h"
#include <cstring>
#include <fstream>

namespace {
RecordedEvent AutoStart(int kind, const std::string& location, const std::string& details) {
    return {"Auto Start", kind, location, details};
}
void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class StartupMonitor : public MonitorThreadTest {
protected:
    CTempDir scratch;
    const std::string personal = scratch.path + "Personal", allUsers = scratch.path + "AllUsers";

    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryA(personal.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(allUsers.c_str(), nullptr));
    }
    void StartOn(const std::string& personalPath, const std::string& allUsersPath) {
        Start([this, personalPath, allUsersPath] {
            RunStartupMonitor(host, personalPath.c_str(), allUsersPath.c_str());
        });
    }
    // After the monitor has stopped: the folders, and the folders moved away, with their files.
    void CleanUp() override {
        for (const std::string& dir : {personal, allUsers, personal + ".old1", personal + ".old2"}) {
            for (const char* f : {"\\a.lnk", "\\b.lnk", "\\c.lnk", "\\d.lnk", "\\e.lnk", "\\launch.lnk",
                                  "\\m.lnk", "\\p.lnk"})
                DeleteFileA((dir + f).c_str());
            RemoveDirectoryA((dir + "\\sub").c_str());
            RemoveDirectoryA(dir.c_str());
        }
    }
};
} // namespace

TEST_F(StartupMonitor, NamesComeAndGoButContentsAndShortLivedFilesGiveNothing) {
    WriteFile(personal + "\\a.lnk", "one");
    StartOn(personal, allUsers);
    ASSERT_TRUE(MoveFileA((personal + "\\a.lnk").c_str(), (personal + "\\launch.lnk").c_str()));
    EXPECT_EQ((Events{AutoStart(EVENT_NEW, "Personal", "launch.lnk"),
                      AutoStart(EVENT_DELETED, "Personal", "a.lnk")}),
              Expect(2));

    // Contents and attributes change nothing, a subfolder signals nothing, and a file made and
    // removed within the settle is never seen.
    WriteFile(personal + "\\launch.lnk", "a longer content");
    SetFileAttributesA((personal + "\\launch.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((personal + "\\launch.lnk").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CreateDirectoryA((personal + "\\sub").c_str(), nullptr));
    WriteFile(allUsers + "\\b.lnk", "b");
    DeleteFileA((allUsers + "\\b.lnk").c_str());
    EXPECT_TRUE(Quiet().empty());
    // A folder's change lists that folder only.
    WriteFile(allUsers + "\\m.lnk", "m");
    EXPECT_EQ(Events{AutoStart(EVENT_NEW, "All Users", "m.lnk")}, Expect(1));
    WriteFile(personal + "\\p.lnk", "p");
    EXPECT_EQ((Events{AutoStart(EVENT_NEW, "Personal", "p.lnk"), AutoStart(EVENT_NEW, "Personal", "sub")}),
              Expect(2));
}

TEST_F(StartupMonitor, FolderRemovedAndCreatedAgainIsWatchedAgain) {
    // Wine keeps a watched folder from being removed in place: it is moved away, then removed.
    int removed = 0;
    auto removeFolder = [&] {
        for (const char* f : {"\\a.lnk", "\\c.lnk"})
            DeleteFileA((personal + f).c_str());
        ASSERT_TRUE(MoveFileA(personal.c_str(), (personal + ".old" + std::to_string(++removed)).c_str()));
    };
    WriteFile(personal + "\\a.lnk", "a");
    StartOn(personal, "");
    removeFolder();
    EXPECT_EQ((Events{AutoStart(EVENT_DELETED, "Personal", "."), AutoStart(EVENT_DELETED, "Personal", ".."),
                      AutoStart(EVENT_DELETED, "Personal", "a.lnk")}),
              Expect(3));
    ASSERT_TRUE(CreateDirectoryA(personal.c_str(), nullptr));
    WriteFile(personal + "\\b.lnk", "b");
    EXPECT_EQ((Events{AutoStart(EVENT_NEW, "Personal", "."), AutoStart(EVENT_NEW, "Personal", ".."),
                      AutoStart(EVENT_NEW, "Personal", "b.lnk")}),
              Expect(3));
    WriteFile(personal + "\\c.lnk", "c");
    EXPECT_EQ(Events{AutoStart(EVENT_NEW, "Personal", "c.lnk")}, Expect(1));

    // Removed and made again within one settle: only what differs, and the new folder is watched.
    removeFolder();
    ASSERT_TRUE(CreateDirectoryA(personal.c_str(), nullptr));
    WriteFile(personal + "\\b.lnk", "b");
    WriteFile(personal + "\\d.lnk", "d");
    EXPECT_EQ(
        (Events{AutoStart(EVENT_NEW, "Personal", "d.lnk"), AutoStart(EVENT_DELETED, "Personal", "c.lnk")}),
        Expect(2));
    WriteFile(personal + "\\e.lnk", "e");
    EXPECT_EQ(Events{AutoStart(EVENT_NEW, "Personal", "e.lnk")}, Expect(1));
}

// A folder missing at start is watched from its nearest existing ancestor until it appears.
TEST_F(StartupMonitor, FolderMissingAtStartIsReportedWhenItAppears) {
    ASSERT_TRUE(RemoveDirectoryA(personal.c_str()));
    StartOn(personal + "\\sub", "");
    ASSERT_TRUE(CreateDirectoryA(personal.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((personal + "\\sub").c_str(), nullptr));
    WriteFile(personal + "\\sub\\a.lnk", "a");
    EXPECT_EQ((Events{AutoStart(EVENT_NEW, "Personal", "."), AutoStart(EVENT_NEW, "Personal", ".."),
                      AutoStart(EVENT_NEW, "Personal", "a.lnk")}),
              Expect(3));
    DeleteFileA((personal + "\\sub\\a.lnk").c_str());
    EXPECT_EQ(Events{AutoStart(EVENT_DELETED, "Personal", "a.lnk")}, Expect(1));
    EXPECT_TRUE(host.Errors().empty());
}

TEST(StartupPaths, ShellFoldersFirstThenTheProfileLayoutWithinTheBuffers) {
    std::string savedDrive(1024, '\0'), savedPath(1024, '\0');
    DWORD driveLength = GetEnvironmentVariableA("HOMEDRIVE", &savedDrive[0], 1024);
    DWORD pathLength = GetEnvironmentVariableA("HOMEPATH", &savedPath[0], 1024);
    CRecordingHost host;
    // Each path buffer with a guard after it, where an overrun would show.
    struct {
        char path[kStartupPathChars];
        char guard[32];
    } personal, allUsers;
    std::memset(personal.guard, 'G', sizeof personal.guard);
    std::memset(allUsers.guard, 'G', sizeof allUsers.guard);
    const std::string startup = "\\Start Menu\\Programs\\Startup", docs = "C:\\Documents and Settings\\";
    std::string tooLong[3];
    for (int i = 0; i < 3; ++i) // for the variable's buffer, or for the path once composed
        tooLong[i] = "\\" + std::string(std::vector<size_t>{292, 232, 250}[i], 'h') + "\\Owner1";
    const struct {
        const char *drive, *home; // nullptr: the variable is not set
        const char *shellPersonal, *shellAllUsers;
        std::string personal, allUsers;
    } cases[] = {
        // The shell's folders are taken as they are: the variables are not even read.
        {nullptr, nullptr, "C:\\shell\\user", "C:\\shell\\common", "C:\\shell\\user", "C:\\shell\\common"},
        // Only a row the shell leaves out is composed.
        {"C:", "\\Documents and Settings\\Owner", "", nullptr, docs + "Owner" + startup,
         docs + "All Users" + startup},
        {"C:", "\\Documents and Settings\\Owner", "C:\\shell\\user", "", "C:\\shell\\user",
         docs + "All Users" + startup},
        {"C:", "Owner", "", "", "C:Owner" + startup, ""}, // no backslash: no All Users folder
        // Too long: refused, not cut.
        {"C:", tooLong[0].c_str(), "", "", "", ""},
        {"C:", tooLong[1].c_str(), "", "", "", ""},
        {"C:", tooLong[2].c_str(), "", "", "", ""},
        {"\\\\server\\share", "\\Owner", "", "", "", ""},
        // A missing variable is said, and the row the shell gave still stands.
        {nullptr, "\\Owner", "", "C:\\shell\\common", "", "C:\\shell\\common"},
        {"C:", nullptr, "", "", "", ""},
    };
    for (const auto& c : cases) {
        SetEnvironmentVariableA("HOMEDRIVE", c.drive);
        SetEnvironmentVariableA("HOMEPATH", c.home);
        ResolveStartupPaths(host, c.shellPersonal, c.shellAllUsers, personal.path, allUsers.path);
        EXPECT_EQ(c.personal, personal.path) << c.home;
        EXPECT_EQ(c.allUsers, allUsers.path) << c.home;
    }
    EXPECT_EQ(std::string(32, 'G'), std::string(personal.guard, 32));
    EXPECT_EQ(std::string(32, 'G'), std::string(allUsers.guard, 32));
    EXPECT_EQ((std::vector<std::string>{"MonitorStartProc: Failed to get HOMEDRIVE (203)",
                                        "MonitorStartProc: Failed to get HOMEPATH (203)"}),
              host.Errors());
    SetEnvironmentVariableA("HOMEDRIVE", driveLength && driveLength < 1024 ? savedDrive.c_str() : nullptr);
    SetEnvironmentVariableA("HOMEPATH", pathLength && pathLength < 1024 ? savedPath.c_str() : nullptr);
}
