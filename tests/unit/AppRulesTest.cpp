// Rules of the program that need no window: the alert's silence, where the program (and so its
// log) lives, and the texts Event Viewer shows for an event.
#include "TestSupport.h"
#include "app/Alert.h"
#include "app/MonitorApp.h"
#include "app/SystemEventLog.h"
#include <gtest/gtest.h>
#include <tuple>

TEST(AppRules, SilenceHoldsTheBeepBackUntilItsHourIsOverInWholeSeconds) {
    auto at = [](WORD h, WORD m, WORD s, WORD ms) { return SYSTEMTIME{2026, 12, 0, 6, h, m, s, ms}; };
    // Silence chosen at 10:00 lasts until 11:00, also once it is turned off; frame 2 may beep.
    const SYSTEMTIME until = AddSeconds(at(10, 0, 0, 0), 3600);
    auto beeps = [&](bool silenced, const SYSTEMTIME& now) {
        int frame = 1;
        return NextAlertTick(frame, silenced, now, until).beep;
    };
    EXPECT_FALSE(beeps(true, at(23, 0, 0, 0)));
    EXPECT_FALSE(beeps(false, at(10, 59, 59, 0)));
    EXPECT_FALSE(beeps(false, at(11, 0, 0, 999))) << "equal in whole seconds does not count";
    EXPECT_TRUE(beeps(false, at(11, 0, 1, 0)));
}

TEST(AppRules, ProgramDirIsTheFolderOfTheModuleOrCommandLineAndStaysInItsBuffer) {
    std::string deep = "\"C:\\", kept = "C:\\";
    for (int i = 0; i < 60; ++i)
        deep += "folder\\";
    for (int i = 0; i < 36; ++i) // as many as fit in MAX_PATH with the quote
        kept += "folder\\";
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"C:\\Program Files\\Kestrow\\Kestrow.exe", "ignored", "C:\\Program Files\\Kestrow\\"},
        {"", "\"C:\\Program Files\\Kestrow\\Kestrow.exe\" ", "C:\\Program Files\\Kestrow\\"}, // quote goes
        {nullptr, "C:\\Tools\\Kestrow.exe", "C:\\Tools\\"},
        {"", "Kestrow.exe", ""}, // the current directory, never "Kestrow.exeKestrow.csv"
        {"", deep + "Kestrow.exe\"", kept},
    };
    for (const auto& [module, commandLine, dir] : cases) {
        char buffer[MAX_PATH + 16];
        memset(buffer, 'Z', sizeof buffer);
        CMonitorApp::ComputeProgramDir(module, commandLine.c_str(),
                                       *reinterpret_cast<char(*)[MAX_PATH]>(buffer));
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
