// Rules of the program that need no window: where the program (and so its log) lives, and the
// texts Event Viewer shows for an event.
#include "TestSupport.h"
#include "app/MonitorApp.h"
#include "app/SystemEventLog.h"
#include <gtest/gtest.h>

TEST(AppRules, ProgramDirIsTheFolderOfTheCommandLineAndStaysInItsBuffer) {
    const std::pair<std::string, std::string> cases[] = {
        {"\"C:\\Program Files\\Kestrow\\Kestrow.exe\" ", "C:\\Program Files\\Kestrow\\"}, // without its quote
        {"Kestrow.exe", ""}, // the current directory, never "Kestrow.exeKestrow.csv"
        {"\"C:\\" + std::string(300, 'x') + "\\Kestrow.exe\"", "C:\\"}, // cut within MAX_PATH first
    };
    for (const auto& [commandLine, dir] : cases) {
        char buffer[MAX_PATH + 16];
        memset(buffer, 'Z', sizeof buffer);
        CMonitorApp::ComputeProgramDir("", commandLine.c_str(), *reinterpret_cast<char(*)[MAX_PATH]>(buffer));
        EXPECT_EQ(dir, std::string(buffer)) << commandLine;
        EXPECT_EQ(std::string(16, 'Z'), std::string(buffer + MAX_PATH, 16)) << "written past the buffer";
    }
}

TEST(AppRules, EventLogMessagesHoldTheFiveTextsOneIdPerKind) {
    const char* texts[] = {"05/03/2003", "Auto Run", "New", "HKLM/Run", "a=%1 \"b\""};
    const char* kinds[] = {"New", "Deleted", "Changed"};
    for (int kind = 0; kind < 3; ++kind) {
        char out[512] = "";
        ASSERT_EQ(DWORD(kind + 1), EventLogId(kind));
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, EventLogId(kind),
                       MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), out, sizeof out,
                       reinterpret_cast<va_list*>(const_cast<char**>(texts)));
        EXPECT_EQ(std::string(kinds[kind]) +
                      " Auto Run entry\r\nLocation: HKLM/Run\r\nDetails: a=%1 \"b\"\r\nDate: 05/03/2003",
                  out);
    }
    EXPECT_EQ(0u, EventLogId(7)) << "not in the table: Event Viewer shows the bare texts";
}
