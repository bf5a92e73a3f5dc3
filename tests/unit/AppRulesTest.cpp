// Rules of the program that need no window: where the program (and so its log) lives, and the
// texts Event Viewer shows for an event.
#include "TestSupport.h"
#include "app/Messages.h"
#include "app/MonitorApp.h"
#include "app/SystemEventLog.h"
#include <gtest/gtest.h>
#include <sddl.h>
#include <thread>

TEST(AppRules, ProgramDirIsTheFolderOfTheCommandLineAndStaysInItsBuffer) {
    const std::pair<std::string, std::string> cases[] = {
        {"\"C:\\Program Files\\Kestrow\\Kestrow.exe\" ", "C:\\Program Files\\Kestrow\\"}, // without its quote
        {"Kestrow.exe", ""}, // the current directory, never "Kestrow.exeKestrow.csv"
        {"\"C:\\" + std::string(300, 'x') + "\\Kestrow.exe\"", "C:\\"}, // cut within MAX_PATH first
    };
    for (const auto& [commandLine, dir] : cases) {
        std::string buffer(MAX_PATH + 16, 'Z');
        CMonitorApp::ComputeProgramDir("", commandLine.c_str(),
                                       *reinterpret_cast<char(*)[MAX_PATH]>(buffer.data()));
        EXPECT_EQ(dir, buffer.c_str()) << commandLine;
        EXPECT_EQ(std::string(16, 'Z'), buffer.substr(MAX_PATH)) << "written past the buffer";
    }
}

TEST(AppRules, EventLogMessagesHoldTheFiveTextsOneIdPerKind) {
    const char* texts[] = {"05/03/2003", "Auto Run", "New", "HKLM/Run", "a=%1 \"b\""};
    const std::string kinds[] = {"New", "Deleted", "Changed"};
    for (int kind = 0; kind < 3; ++kind) {
        char out[512] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, EventLogId(kind),
                       MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), out, sizeof out,
                       reinterpret_cast<va_list*>(const_cast<char**>(texts)));
        EXPECT_EQ(kinds[kind] +
                      " Auto Run entry\r\nLocation: HKLM/Run\r\nDetails: a=%1 \"b\"\r\nDate: 05/03/2003",
                  out);
    }
    EXPECT_EQ(0u, EventLogId(7)) << "not in the table: Event Viewer shows the bare texts";
}

// A Kestrow running elevated owns the instance mutex under a security descriptor that a start
// without elevation may not open: that start sees it running and asks its window up.
TEST(AppRules, ASecondStartBesideAnElevatedOneShowsThatOneAndEnds) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;GA;;;WD)", SDDL_REVISION_1, &sd,
                                                                     nullptr));
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    CHandle running(CreateMutexA(&sa, TRUE, "Local\\Kestrow.Running"));
    LocalFree(sd);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA, wc.lpszClassName = "KestrowRunning";
    RegisterClassA(&wc);
    HWND window =
        CreateWindowA(wc.lpszClassName, "Kestrow", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetPropA(window, kMainWindowProp, window);
    struct CSecondStart : CMonitorApp {
        using CMonitorApp::IsFirstInstance;
    };
    bool first = true;
    std::thread([&] { first = CSecondStart().IsFirstInstance(); }).join();
    EXPECT_FALSE(first);
    const UINT show = RegisterWindowMessageA(kShowWindowMessage);
    MSG m;
    EXPECT_TRUE(PeekMessageA(&m, window, show, show, PM_REMOVE)) << "the running window was not asked up";
    DestroyWindow(window);
}
