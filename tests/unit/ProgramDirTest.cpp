#include "TestSupport.h"
#include "app/MonitorApp.h"
#include "res/resource.h"
#include <gtest/gtest.h>

TEST(ProgramDir, FromModulePathOrCommandLine) {
    char dir[MAX_PATH];
    CMonitorApp::ComputeProgramDir("C:\\Program Files\\Kestrow\\Kestrow.exe", "ignored", dir);
    EXPECT_STREQ("C:\\Program Files\\Kestrow\\", dir);

    // No module path: the quoted command line stands in, without its quote.
    CMonitorApp::ComputeProgramDir("", "\"C:\\Program Files\\Kestrow\\Kestrow.exe\" ", dir);
    EXPECT_STREQ("C:\\Program Files\\Kestrow\\", dir);
    CMonitorApp::ComputeProgramDir(nullptr, "C:\\Tools\\Kestrow.exe", dir);
    EXPECT_STREQ("C:\\Tools\\", dir);

    // No backslash at all: the current directory, never "Kestrow.exeKestrow.csv".
    CMonitorApp::ComputeProgramDir("", "Kestrow.exe", dir);
    EXPECT_STREQ("", dir);
}

TEST(ProgramDir, OverlongCommandLineStaysInTheBuffer) {
    std::string line = "\"C:\\";
    for (int i = 0; i < 60; ++i)
        line += "folder\\";
    line += "Kestrow.exe\"";
    ASSERT_GT(line.size(), 400u);
    char dir[MAX_PATH + 16];
    memset(dir, 'Z', sizeof dir);
    CMonitorApp::ComputeProgramDir("", line.c_str(), *reinterpret_cast<char(*)[MAX_PATH]>(dir));
    size_t len = strlen(dir);
    EXPECT_LT(len, static_cast<size_t>(MAX_PATH));
    EXPECT_EQ('\\', dir[len - 1]);
    EXPECT_EQ('C', dir[0]);
    EXPECT_EQ(0, line.compare(1, len, dir)); // a prefix of the path, quote removed
    for (size_t i = MAX_PATH; i < sizeof dir; ++i)
        EXPECT_EQ('Z', dir[i]) << "written past the buffer at " << i;
}

namespace {
class CNoSocketsApp : public CMonitorApp {
public:
    bool m_ranDialog = false;

protected:
    BOOL InitSockets() override { return FALSE; }
    void RunMainDialog() override { m_ranDialog = true; }
};
class CFakeRunApp : public CMonitorApp {
public:
    bool m_ranDialog = false;

protected:
    void RunMainDialog() override { m_ranDialog = true; }
};
} // namespace

TEST(ProgramDir, StartUpWithoutSocketsShowsMessageAndNoWindow) {
    CMessageBoxRecorder boxes;
    CNoSocketsApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_FALSE(app.m_ranDialog);
    ASSERT_EQ(1u, boxes.Texts().size());
    EXPECT_EQ("Windows sockets initialization failed.", boxes.Texts()[0]);
    EXPECT_STREQ("", app.m_programDir);

    CFakeRunApp ok;
    EXPECT_FALSE(ok.InitInstance()); // the application ends when the window has closed
    EXPECT_TRUE(ok.m_ranDialog);
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    *strrchr(module, '\\') = '\0';
    EXPECT_EQ(std::string(module) + "\\", ok.m_programDir);
    EXPECT_EQ(1u, boxes.Texts().size());
}
