// RESOURCE_LOCK: tray
// The real main window and list control, run modally on a thread of its own as the program
// runs it; the test thread plays the monitors and the user.
#include "RunningMainWindow.h"
#include "app/AboutDlg.h"
#include "app/EventLogFile.h"
#include "res/resource.h"
#include <map>
#include <shellapi.h>

namespace {
bool TrayIconExists(HWND owner) {
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = owner;
    nid.uID = TRAY_ICON_ID;
    nid.uFlags = NIF_TIP;
    lstrcpyA(nid.szTip, "Kestrow");
    return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "log ends in the middle of a line";
    return lines;
}
} // namespace

class MainWindow : public testing::Test {
protected:
    static CRunningMainDlg* s_window;

    static void SetUpTestSuite() { s_window = new CRunningMainDlg; }
    static void TearDownTestSuite() {
        HWND hwnd = s_window->dlg.m_hWnd;
        EXPECT_TRUE(s_window->CloseWith(WM_CLOSE, 0)) << "close request did not end the program within 4 s";
        EXPECT_EQ(IDOK, s_window->Result()); // a close request is Exit
        EXPECT_FALSE(TrayIconExists(hwnd));
        delete s_window;
    }
    void SetUp() override {
        clock().fixedNow = false;
        dlg().SendMessage(WM_COMMAND, IDCANCEL);
        dlg().SendMessage(WM_COMMAND, IDC_ACKNOWLEDGE);
        DeleteFileA(LogPath().c_str());
    }
    static CMainDlg& dlg() { return s_window->dlg; }
    static CTestClock& clock() { return s_window->clock; }
    static std::string LogPath() { return s_window->LogPath(); }
    static std::string Cell(int row, int col) { return std::string(s_window->list.GetItemText(row, col)); }
    static int Rows() { return s_window->list.GetItemCount(); }
    static bool AcknowledgeEnabled() { return IsWindowEnabled(dlg().GetDlgItem(IDC_ACKNOWLEDGE)); }
};
CRunningMainDlg* MainWindow::s_window;

TEST_F(MainWindow, ReportFillsRowZeroAndAppendsItsLine) {
    clock().fixedNow = true;
    clock().now = SYSTEMTIME{2003, 3, 3, 5, 10, 0, 0, 0};
    dlg().ReportEvent("Service", EVENT_NEW, "svc", "C:\\svc.exe");
    dlg().ReportEvent("Service", EVENT_DELETED, "old", "C:\\old \"quoted\".exe");
    ASSERT_EQ(2, Rows()); // newest on top
    EXPECT_EQ(
        (std::vector<std::string>{"05/03/2003", "Service", "Deleted", "old", "C:\\old \"quoted\".exe",
                                  "svc"}),
        (std::vector<std::string>{Cell(0, 0), Cell(0, 1), Cell(0, 2), Cell(0, 3), Cell(0, 4), Cell(1, 3)}));
    // A Changed event shows what it replaced beside it, in the list only.
    dlg().ReportEvent("Service", EVENT_CHANGED, "svc", "C:\\new.exe", "C:\\svc.exe");
    EXPECT_EQ((std::vector<std::string>{"C:\\new.exe", "C:\\svc.exe", ""}),
              (std::vector<std::string>{Cell(0, 4), Cell(0, 5), Cell(1, 5)}));
    EXPECT_EQ("\"05/03/2003\",\"Service\",\"New\",\"svc\",\"C:\\svc.exe\"\r\n"
              "\"05/03/2003\",\"Service\",\"Deleted\",\"old\",\"C:\\old \"\"quoted\"\".exe\"\r\n"
              "\"05/03/2003\",\"Service\",\"Changed\",\"svc\",\"C:\\new.exe\"\r\n",
              ReadFileBytes(LogPath()));
}

TEST_F(MainWindow, ConcurrentReportsNeverMixTheirTexts) {
    const int threads = 8, each = 200;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([t] {
            for (int i = 0; i < each; ++i) {
                std::string tag = "T" + std::to_string(t) + "-" + std::to_string(i);
                dlg().ReportEvent(("Cat" + std::to_string(t)).c_str(), i % 3, ("L" + tag).c_str(),
                                  ("D" + tag + ",\"x\"").c_str());
            }
        });
    for (auto& th : pool)
        th.join();

    ASSERT_EQ(threads * each, Rows());
    std::map<std::string, int> seen;
    for (int r = 0; r < Rows(); ++r) {
        std::string tag = Cell(r, 3).substr(1);
        int t = atoi(tag.c_str() + 1), i = atoi(tag.c_str() + tag.find('-') + 1);
        EXPECT_EQ((std::vector<std::string>{"Cat" + std::to_string(t), EventKindName(i % 3), "L" + tag,
                                            "D" + tag + ",\"x\""}),
                  (std::vector<std::string>{Cell(r, 1), Cell(r, 2), Cell(r, 3), Cell(r, 4)}));
        ++seen[tag];
    }
    EXPECT_EQ(static_cast<size_t>(threads * each), seen.size());

    // The lines themselves, whole and in each thread's order, are checked by the exit during a burst.
    EXPECT_EQ(static_cast<size_t>(threads * each), SplitLines(ReadFileBytes(LogPath())).size());
}

TEST_F(MainWindow, AlertRunsUntilAcknowledged) {
    const SYSTEMTIME late{2099, 1, 4, 1, 0, 0, 0, 0}; // long after the silence deadline
    dlg().ReportEvent("Service", EVENT_NEW, "a", "b");
    EXPECT_TRUE(AcknowledgeEnabled());
    EXPECT_EQ(2, s_window->BeepsIn4Ticks(&late)) << "every second tick beeps";

    dlg().SendMessage(WM_COMMAND, IDC_ACKNOWLEDGE);
    EXPECT_FALSE(AcknowledgeEnabled());
    EXPECT_EQ(0, s_window->BeepsIn4Ticks(&late)) << "a tick still queued beeps no more";
    EXPECT_EQ(1, Rows()) << "acknowledging leaves the list alone";
}

TEST_F(MainWindow, ClearAndEscapeEmptyTheListButNotTheLog) {
    dlg().ReportEvent("Service", EVENT_NEW, "a", "1");
    dlg().ReportEvent("Service", EVENT_NEW, "b", "2");
    dlg().SendMessage(WM_COMMAND, IDCANCEL);
    EXPECT_EQ(0, Rows());

    dlg().ReportEvent("Service", EVENT_NEW, "c", "3");
    // Escape goes through the dialog manager as the cancel command: it clears, never closes.
    PostMessageA(s_window->list.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([] { return Rows() == 0; }, 3000));
    EXPECT_EQ(-2, s_window->Result());
    EXPECT_EQ(3u, SplitLines(ReadFileBytes(LogPath())).size()) << "the log keeps every line";
}

TEST_F(MainWindow, ViewLogWithoutLogShowsTheFullPath) {
    CMessageBoxRecorder boxes;
    dlg().SendMessage(WM_COMMAND, IDC_VIEWLOG);
    EXPECT_EQ(std::vector<std::string>{"Log file " + LogPath() + " is empty or not found"}, boxes.Texts());
}

TEST_F(MainWindow, OnlyTheTrayIconsRightButtonShowsAndMinimiseHides) {
    EXPECT_TRUE(TrayIconExists(dlg().m_hWnd));
    ASSERT_FALSE(dlg().IsWindowVisible());
    EXPECT_EQ(0, dlg().SendMessage(WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN));
    EXPECT_EQ(0, dlg().SendMessage(WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONDBLCLK));
    EXPECT_EQ(0, dlg().SendMessage(WM_TRAY_NOTIFY, 7, WM_RBUTTONDOWN));
    EXPECT_FALSE(dlg().IsWindowVisible());
    s_window->Show();
    EXPECT_TRUE(dlg().IsWindowVisible());
    dlg().SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(WaitUntil([] { return !dlg().IsWindowVisible(); }, 3000)) << "minimised window still shown";
}

TEST_F(MainWindow, AboutBoxFromTheSystemMenuShowsTheHistory) {
    dlg().PostMessage(WM_SYSCOMMAND, IDM_ABOUTBOX);
    HWND about = nullptr;
    auto history = [&] {
        char text[2048] = "";
        GetWindowTextA(GetDlgItem(about, IDC_HISTORY), text, sizeof text);
        return std::string(text);
    };
    ASSERT_TRUE(WaitUntil([&] { return (about = FindWindowA("#32770", "About Kestrow")) != nullptr; }, 5000));
    // Found while it is still being made: the text may come a moment later.
    EXPECT_TRUE(WaitUntil([&] { return history() == CAboutDlg::s_history; }, 5000)) << history();
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([] { return FindWindowA("#32770", "About Kestrow") == nullptr; }, 5000));
    EXPECT_TRUE(IsWindow(dlg().m_hWnd));
}
