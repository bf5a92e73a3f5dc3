// Ending the main window: Exit in the middle of a burst of reports, and the close box
// releasing the monitors.
#include "RunningMainWindow.h"
#include <map>
#include <shellapi.h>

namespace {
// The log read strictly: records of five quoted fields (a quote inside doubled) ended by CR LF.
bool ParseCsv(const std::string& text, std::vector<std::vector<std::string>>& records) {
    for (size_t i = 0; i < text.size();) {
        std::vector<std::string> fields(1);
        if (text[i++] != '"')
            return false;
        for (;;) {
            if (i >= text.size())
                return false;
            if (text[i] != '"')
                fields.back() += text[i++];
            else if (text.compare(i, 2, "\"\"") == 0)
                fields.back() += '"', i += 2;
            else if (text.compare(i, 3, "\",\"") == 0)
                fields.emplace_back(), i += 3;
            else if (text.compare(i, 3, "\"\r\n") == 0)
                break;
            else
                return false;
        }
        i += 3;
        if (fields.size() != 5)
            return false;
        records.push_back(fields);
    }
    return true;
}
} // namespace

TEST(MainWindowExit, ExitDuringABurstKeepsEveryEventTakenAndWholeLines) {
    CRunningMainDlg window;
    HWND hwnd = window.dlg.m_hWnd;
    // Three monitors reporting as fast as they can, each counting the reports that returned.
    const int kThreads = 3;
    std::atomic<int> returned[kThreads] = {};
    std::vector<std::thread> monitors;
    for (int t = 0; t < kThreads; ++t)
        monitors.emplace_back([&, t] {
            std::string location = "T" + std::to_string(t);
            for (int seq = 0; seq < 100000 && ::IsWindow(hwnd); ++seq) {
                std::string details = std::to_string(seq) + ",\"x\"\r\n";
                window.dlg.ReportEvent("Flood", EVENT_NEW, location.c_str(), details.c_str());
                ++returned[t];
            }
        });
    ASSERT_TRUE(WaitUntil([&] { return returned[0] + returned[1] + returned[2] > 600; }, 20000));
    int beforeClose[kThreads];
    for (int t = 0; t < kThreads; ++t)
        beforeClose[t] = returned[t];
    EXPECT_TRUE(window.CloseWith(WM_CLOSE, 0)) << "the window did not end within 4 s";
    for (auto& m : monitors)
        m.join();

    std::vector<std::vector<std::string>> records;
    ASSERT_TRUE(ParseCsv(ReadFileBytes(window.LogPath()), records)) << "the log holds a broken line";
    std::map<std::string, int> next;
    for (const auto& rec : records) {
        EXPECT_EQ("Flood", rec[1]);
        int expected = next[rec[3]]++;
        ASSERT_EQ(std::to_string(expected) + ",\"x\"\r\n", rec[4]) << "out of order or missing, " << rec[3];
    }
    // Every report that returned before the close request is logged; none is invented.
    for (int t = 0; t < kThreads; ++t) {
        int logged = next["T" + std::to_string(t)];
        EXPECT_GE(logged, beforeClose[t]) << "reported but never logged, T" << t;
        EXPECT_LE(logged, returned[t].load()) << "T" << t;
    }
}

TEST(MainWindowExit, CloseBoxEndsLikeExitAndReleasesTheMonitors) {
    CRunningMainDlg window;
    HANDLE stop = window.dlg.GetStopEvent();
    // Three monitors waiting on the shared stop event.
    std::atomic<int> released{0};
    std::vector<std::thread> monitors;
    for (int i = 0; i < 3; ++i)
        monitors.emplace_back([&] {
            if (WaitForSingleObject(stop, 6000) == WAIT_OBJECT_0)
                ++released;
        });
    EXPECT_TRUE(window.CloseWith(WM_SYSCOMMAND, SC_CLOSE));
    EXPECT_EQ(IDOK, window.Result());
    for (auto& m : monitors)
        m.join();
    EXPECT_EQ(3, released.load());
}
