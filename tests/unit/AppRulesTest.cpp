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
