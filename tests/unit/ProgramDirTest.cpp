// Where the program (and so its log) lives, and the start-up of the application object.
#include "TestSupport.h"
#include "app/MonitorApp.h"
#include <gtest/gtest.h>

TEST(ProgramDir, FromModulePathOrCommandLine) {
    const struct {
        const char* module;
        const char* commandLine;
        const char* dir;
    } cases[] = {
        {"C:\\Program Files\\Kestrow\\Kestrow.exe", "ignored", "C:\\Program Files\\Kestrow\\"},
        // No module path: the command line stands in, without its quote.
        {"", "\"C:\\Program Files\\Kestrow\\Kestrow.exe\" ", "C:\\Program Files\\Kestrow\\"},
        {nullptr, "C:\\Tools\\Kestrow.exe", "C:\\Tools\\"},
        // No backslash at all: the current directory, never "Kestrow.exeKestrow.csv".
        {"", "Kestrow.exe", ""},
    };
    for (const auto& c : cases) {
        char dir[MAX_PATH];
        CMonitorApp::ComputeProgramDir(c.module, c.commandLine, dir);
        EXPECT_STREQ(c.dir, dir) << c.commandLine;
    }
}

TEST(ProgramDir, OverlongCommandLineStaysInTheBuffer) {
    std::string line = "\"C:\\";
    for (int i = 0; i < 60; ++i)
        line += "folder\\";
    line += "Kestrow.exe\"";
    char dir[MAX_PATH + 16];
    memset(dir, 'Z', sizeof dir);
    CMonitorApp::ComputeProgramDir("", line.c_str(), *reinterpret_cast<char(*)[MAX_PATH]>(dir));
    size_t len = strlen(dir);
    EXPECT_LT(len, static_cast<size_t>(MAX_PATH));
    EXPECT_EQ('\\', dir[len - 1]);
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
    void RunMainDialog(const char*) override { m_ranDialog = true; }
};
} // namespace

TEST(ProgramDir, StartUpWithoutSocketsShowsMessageAndNoWindow) {
    CMessageBoxRecorder boxes;
    CNoSocketsApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_FALSE(app.m_ranDialog);
    EXPECT_EQ(std::vector<std::string>{"Windows sockets initialization failed."}, boxes.Texts());
}
