// RESOURCE_LOCK: tray
// Ending the main window: Exit in the middle of a burst of reports, and the close box
// releasing the monitors.
#include "RunningMainWindow.h"

TEST(MainWindowExit, ExitDuringABurstKeepsEveryEventTakenAndWholeLines) {
    CRunningMainDlg window;
    window.clock.fixedNow = true;
    window.clock.now = SYSTEMTIME{2003, 3, 0, 5, 10, 0, 0, 0};
    HWND hwnd = window.dlg.m_hWnd;
    // Three monitors reporting as fast as they can, each counting the reports that returned.
    const int kThreads = 3;
    std::atomic<int> returned[kThreads] = {};
    std::vector<std::thread> monitors;
    for (int t = 0; t < kThreads; ++t)
        monitors.emplace_back([&, t] {
            std::string location = "T" + std::to_string(t);
            for (int seq = 0; seq < 100000 && ::IsWindow(hwnd); ++seq) {
                window.dlg.ReportEvent("Flood", EVENT_NEW, location.c_str(),
                                       (std::to_string(seq) + ",\"x\"").c_str());
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

    // Whole lines only, each thread's in the order it reported them.
    const std::string log = ReadFileBytes(window.LogPath()), head = "\"05/03/2003\",\"Flood\",\"New\",\"T";
    int logged[kThreads] = {};
    for (size_t start = 0, end; start < log.size(); start = end + 2) {
        end = log.find("\r\n", start);
        ASSERT_NE(std::string::npos, end) << "the log ends in a broken line";
        std::string line = log.substr(start, end - start);
        int t = line.size() > head.size() ? line[head.size()] - '0' : -1;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        ASSERT_EQ(head + line[head.size()] + "\",\"" + std::to_string(logged[t]++) + ",\"\"x\"\"\"", line)
            << "out of order or missing";
    }
    // Every report that returned before the close request is logged; none is invented.
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_GE(logged[t], beforeClose[t]) << "reported but never logged, T" << t;
        EXPECT_LE(logged[t], returned[t].load()) << "T" << t;
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

TEST(MainWindowExit, SessionEndWritesEveryLineAlreadyTaken) {
    CRunningMainDlg window;
    window.dlg.ReportEvent("Service", EVENT_NEW, "a", "1");
    // Another program holds the log: the next line waits for it.
    CHandle held(CreateFileA(window.LogPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    window.dlg.ReportEvent("Service", EVENT_NEW, "b", "2");
    std::thread shell([&] {
        window.dlg.SendMessage(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
        window.dlg.SendMessage(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    });
    held.Close();
    shell.join();
    // Windows may end the process as soon as WM_ENDSESSION returns.
    std::string log = ReadFileBytes(window.LogPath());
    EXPECT_NE(std::string::npos, log.find("\"b\",\"2\"\r\n")) << log;
}
