// Exit in the middle of a burst of reports: the window ends within 4 s, every event it took
// is in the log, in order, and the log holds whole lines only.
#include "RunningMainWindow.h"
#include "CsvCheck.h"
#include "app/EventLogFile.h"
#include <map>
#include <vector>


TEST(MainWindowExit, ExitDuringABurstKeepsEveryEventTakenAndWholeLines) {
    CMonitorApp app;
    CTempDir dir;
    lstrcpyA(app.m_programDir, dir.path.c_str());
    std::string logPath = CEventLogFile().GetPath();
    CQuietMainDlg dlg;
    std::atomic<INT_PTR> result{-2};
    std::thread ui([&] { result = dlg.DoModal(); });
    ASSERT_TRUE(WaitUntil([&] { return dlg.m_hWnd && dlg.m_keepHidden; }, 10000));
    HWND hwnd = dlg.m_hWnd;

    // Three monitors reporting as fast as they can, each counting the reports that returned.
    const int kThreads = 3;
    std::atomic<int> returned[kThreads] = {};
    std::vector<std::thread> monitors;
    for (int t = 0; t < kThreads; ++t)
        monitors.emplace_back([&, t] {
            std::string location = "T" + std::to_string(t);
            for (int seq = 0; seq < 100000 && ::IsWindow(hwnd); ++seq) {
                std::string details = std::to_string(seq) + ",\"x\"\r\n";
                dlg.ReportEvent("Flood", EVENT_NEW, location.c_str(), details.c_str());
                ++returned[t];
            }
        });
    ASSERT_TRUE(WaitUntil([&] { return returned[0] + returned[1] + returned[2] > 600; }, 20000));
    int beforeClose[kThreads];
    for (int t = 0; t < kThreads; ++t)
        beforeClose[t] = returned[t];
    DWORD start = GetTickCount();
    ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return result != -2; }, 4000)) << "the window did not end within 4 s";
    ui.join();
    DWORD ms = GetTickCount() - start;
    for (auto& m : monitors)
        m.join();
    EXPECT_LT(ms, 4000u);

    std::vector<std::vector<std::string>> records;
    ASSERT_TRUE(ParseCsv(ReadFileBytes(logPath), records)) << "the log holds a broken line";
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
