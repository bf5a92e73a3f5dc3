// Rules of the program that need no window: where the program (and so its log) lives, the
// texts Event Viewer shows for an event, and the trusted changes kept in the registry.
#include "TestSupport.h"
#include "app/Messages.h"
#include "app/MonitorApp.h"
#include "app/SystemEventLog.h"
#include "app/TrustList.h"
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

// Any text survives the value's format; what it cannot have written is passed over, value by value.
TEST(AppRules, TrustedChangesMatchWholeAndSurviveAnyTextWhileBadValuesArePassedOver) {
    const TrustedChange odd{"Auto Run", "New", "HKLM/Run 3:x", "=a,\"b\" 2:c=d,"};
    const TrustedChange empty{"Service", "Changed", "", ""};
    for (const TrustedChange& change : {odd, empty}) {
        TrustedChange back;
        EXPECT_TRUE(DecodeTrusted(EncodeTrusted(change), back) && back == change) << EncodeTrusted(change);
    }
    const std::string good = EncodeTrusted(odd);
    for (const std::string& bad : {good.substr(0, good.size() - 1), good + " ", good + "x", std::string("0:"),
                                   std::string("9999999:x 0: 0: 0:"), std::string("a:b 0: 0: 0:"),
                                   std::string("1:a 0: 0:"), std::string("1:ab0: 0: 0:")}) {
        TrustedChange back;
        EXPECT_FALSE(DecodeTrusted(bad, back)) << bad;
    }

    const std::string key = "HKCU\\Software\\KestrowTests\\Trusted|";
    RegPutAll({key + "a|" + good, key + "a2|" + good, key + "b|dw:1234", key + "c|bin:" + good,
               key + "d|" + good.substr(0, 20), key + "e|"});
    CTrustList trust(HKEY_CURRENT_USER, "Software\\KestrowTests\\Trusted");
    trust.Load();
    EXPECT_EQ(std::vector<TrustedChange>{odd}, trust.Entries());
    EventRecord rec;
    FillEventRecord(rec, SYSTEMTIME{}, "Auto Run", EVENT_NEW, odd.location.c_str(), odd.details.c_str());
    EXPECT_TRUE(trust.Matches(rec));
    FillEventRecord(rec, SYSTEMTIME{}, "Auto Run", EVENT_NEW, odd.location.c_str(), "=A,\"b\" 2:c=d,");
    EXPECT_FALSE(trust.Matches(rec)) << "details differing in case are another change";
    FillEventRecord(rec, SYSTEMTIME{}, "Auto Run", EVENT_DELETED, odd.location.c_str(), odd.details.c_str());
    EXPECT_FALSE(trust.Matches(rec));

    // Added once however often; removed with every value that holds it; the bad values stay.
    EXPECT_EQ(ERROR_SUCCESS, trust.Add(empty));
    EXPECT_EQ(ERROR_SUCCESS, trust.Add(empty));
    EXPECT_EQ(ERROR_SUCCESS, trust.Add(odd));
    CTrustList again(HKEY_CURRENT_USER, "Software\\KestrowTests\\Trusted");
    again.Load();
    EXPECT_TRUE(again.Matches(odd) && again.Matches(empty));
    EXPECT_EQ(2u, again.Entries().size());
    EXPECT_EQ(ERROR_SUCCESS, again.Remove(odd));
    trust.Load();
    EXPECT_EQ(std::vector<TrustedChange>{empty}, trust.Entries());
    CRegistryKey left;
    DWORD values = 0;
    ASSERT_EQ(ERROR_SUCCESS, left.Open(HKEY_CURRENT_USER, "Software\\KestrowTests\\Trusted"));
    RegQueryInfoKeyA(left.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_EQ(5u, values) << "b, c, d, e and the empty change";
    left.Close();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KestrowTests\\Trusted");
}
