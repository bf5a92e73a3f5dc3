// RESOURCE_LOCK: tray
// The real main window without its monitors, run modally on a thread of its own as the program
// runs it, with its log in a scratch folder; the test thread plays the monitors, another
// program holding the log, and the shell ending the session.
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "app/Messages.h"
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {
struct CFixedClock : IClockSpeaker {
    SYSTEMTIME Now() const override { return SYSTEMTIME{2003, 3, 0, 5, 10, 0, 0, 0}; }
    void Beep() override {}
};

struct CRunningMainDlg {
    CRunningMainDlg() {
        EXPECT_TRUE(WaitUntil([this] { return dlg.m_hWnd != nullptr; }, 30000));
    }
    ~CRunningMainDlg() {
        dlg.PostMessage(WM_COMMAND, IDOK); // Exit, unless it ended
        ui.join();
    }
    std::string Log() const { return ReadFileBytes(dir.path + "Kestrow.csv"); }

    CTempDir dir;
    CFixedClock clock;
    CMainDlg dlg{dir.path, clock, false};
    std::atomic<INT_PTR> result{-2}; // DoModal's, once it returned
    std::thread ui{[this] { result = dlg.DoModal(); }};
};

std::string Line(const std::string& location, const std::string& details) {
    return "\"05/03/2003\",\"Service\",\"New\",\"" + location + "\",\"" + details + "\"\r\n";
}

// A report that a monitor posted just before the shell's WM_ENDSESSION reached the window.
const CHandle g_lateTaken = MakeEvent();
ReportRequest g_late{"Service", EVENT_NEW, "c", "3", nullptr, g_lateTaken.Get()};
LRESULT CALLBACK PostLateReportFirst(int code, WPARAM wp, LPARAM lp) {
    auto* m = reinterpret_cast<CWPSTRUCT*>(lp);
    if (code == HC_ACTION && m->message == WM_ENDSESSION)
        PostMessageA(m->hwnd, WM_REPORT_EVENT, 0, reinterpret_cast<LPARAM>(&g_late));
    return CallNextHookEx(nullptr, code, wp, lp);
}
} // namespace

TEST(MainWindow, StaysHiddenAndEveryLineWaitsForAHeldLogAlsoWhenTheSessionEnds) {
    CRunningMainDlg w;
    // Lines the held log refused arrive in order once it is free, with no other report.
    CHandle held = HoldFile(w.dir.path + "Kestrow.csv");
    w.dlg.ReportEvent("Service", EVENT_NEW, "a", "1");
    w.dlg.ReportEvent("Service", EVENT_NEW, "b", "2");
    held.Close();
    EXPECT_TRUE(WaitUntil([&] { return w.Log() == Line("a", "1") + Line("b", "2"); }, 30000)) << w.Log();
    // The dialog manager has run out of messages meanwhile, which shows a hidden modal dialog.
    EXPECT_FALSE(w.dlg.IsWindowVisible());

    // The session ends with a report waiting and the log held: the report is taken, and its
    // line written once the log is free, before the window answers. (The hook goes with the
    // window's thread.)
    SetWindowsHookExA(WH_CALLWNDPROC, PostLateReportFirst, nullptr,
                      GetWindowThreadProcessId(w.dlg.m_hWnd, nullptr));
    held = HoldFile(w.dir.path + "Kestrow.csv");
    std::thread shell([&] { w.dlg.SendMessage(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF); });
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_lateTaken.Get(), 30000))
        << "the waiting report was not taken";
    held.Close();
    shell.join();
    EXPECT_EQ(Line("a", "1") + Line("b", "2") + Line("c", "3"), w.Log());
}

TEST(MainWindow, CloseDuringABurstEndsLikeExitWithWholeLinesInEachThreadsOrder) {
    CRunningMainDlg w;
    // Three monitors reporting as fast as they can, each counting the reports that returned.
    std::atomic<int> returned[3] = {};
    std::atomic<bool> giveUp{false};
    std::vector<std::thread> monitors;
    for (int t = 0; t < 3; ++t)
        monitors.emplace_back([&, t] {
            for (int seq = 0; !giveUp; ++seq, ++returned[t])
                w.dlg.ReportEvent("Service", EVENT_NEW, std::to_string(t).c_str(),
                                  (std::to_string(seq) + ",\"x\"").c_str());
        });
    EXPECT_TRUE(WaitUntil([&] { return returned[0] + returned[1] + returned[2] > 600; }, 60000));
    const int beforeClose[3] = {returned[0], returned[1], returned[2]};
    // The close box is Exit, never the dialog's default close, which would only clear the list.
    w.dlg.PostMessage(WM_CLOSE);
    EXPECT_TRUE(WaitUntil([&] { return w.result != -2; }, 60000)) << "the close request was held off";
    EXPECT_EQ(IDOK, w.result);
    giveUp = true;
    for (auto& m : monitors)
        m.join();

    // Whole lines only, each thread's in the order it reported them; every report that
    // returned before the close request is there, and none that never returned.
    const std::string log = w.Log();
    auto line = [](int t, int seq) { return Line(std::to_string(t), std::to_string(seq) + ",\"\"x\"\""); };
    size_t whole = 0;
    for (int t = 0; t < 3; ++t) {
        int seq = 0;
        for (size_t at = 0; (at = log.find(line(t, seq), at)) != std::string::npos; ++seq)
            whole += line(t, seq).size();
        EXPECT_TRUE(beforeClose[t] <= seq && seq <= returned[t]) << "thread " << t << " logged " << seq;
    }
    EXPECT_EQ(log.size(), whole) << "lines broken, out of order, or never reported";
}
