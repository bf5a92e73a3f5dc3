// RESOURCE_LOCK: tray options runkeys
// The real main window without its monitors, run modally on a thread of its own as the program
// runs it, with its log in a scratch folder; the test thread plays the monitors, the user at
// the buttons and in Options, another program holding the log, and the shell ending the session.
#include "TestSupport.h"
#include "app/AppMessageBox.h"
#include "app/MainDlg.h"
#include "app/Undo.h"
#include "app/Messages.h"
#include "res/resource.h"
#include <atomic>
#include <commctrl.h>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {
std::atomic<int> g_beeps{0};
// A second past the window's construction from then on: the alert is not quiet at start.
struct CTestClock : IClockSpeaker {
    SYSTEMTIME Now() const override { return SYSTEMTIME{2003, 3, 0, 5, 10, 0, WORD(m_calls++ > 0), 0}; }
    void Beep() override { ++g_beeps; }
    mutable std::atomic<int> m_calls{0};
};

struct CRunningMainDlg {
    CRunningMainDlg() {
        EXPECT_TRUE(WaitUntil([this] { return dlg.m_hWnd != nullptr; }, 30000));
        // Taken once the window's thread takes messages again, its WM_INITDIALOG done.
        dlg.SendMessage(WM_NULL);
    }
    ~CRunningMainDlg() {
        dlg.PostMessage(WM_COMMAND, IDOK); // Exit, unless it ended
        ui.join();
    }
    std::string Log() const { return ReadFileBytes(dir.path + "Kestrow.csv"); }

    CTempDir dir;
    CTestClock clock;
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

// Seen on the window's thread: the beeps made before each alert tick was taken (index 1 on), and
// when a probe (WM_NULL, 1) was taken, those made before it (index 0) and whether the alert timer
// still ran.
std::atomic<int> g_ticks{0}, g_beepsBefore[64], g_timerRan{-1};
LRESULT CALLBACK WatchAlert(int code, WPARAM wp, LPARAM lp) {
    const MSG* m = reinterpret_cast<MSG*>(lp);
    if (code == HC_ACTION && wp == PM_REMOVE && m->message == WM_TIMER && m->wParam == IDT_ALERT)
        g_beepsBefore[std::min(++g_ticks, 63)] = g_beeps.load();
    if (code == HC_ACTION && wp == PM_REMOVE && m->message == WM_NULL && m->wParam == 1)
        g_beepsBefore[0] = g_beeps.load(), g_timerRan = KillTimer(m->hwnd, IDT_ALERT);
    return CallNextHookEx(nullptr, code, wp, lp);
}

// What the tray icon gave the shell: the icon it shows, how often an alert frame, and its
// balloons as "quiet|title|text" or "sound|title|text".
std::atomic<UINT> g_icon{0};
std::atomic<int> g_alertFrames{0};
std::mutex g_trayLock;
Texts g_balloons;
void RecordTray(UINT icon, const char* balloon, const char* title, bool quiet) {
    g_alertFrames += (g_icon = icon) != IDR_MAINFRAME;
    std::lock_guard<std::mutex> lock(g_trayLock);
    if (balloon)
        g_balloons.push_back((quiet ? "quiet|" : "sound|") + (title + ("|" + std::string(balloon))));
}
Texts Balloons(size_t from = 0) {
    std::lock_guard<std::mutex> lock(g_trayLock);
    return Texts(g_balloons.begin() + std::min(from, g_balloons.size()), g_balloons.end());
}

// Keys as the user types them, to the window with the focus: pressed in order, let go in reverse.
void Type(std::initializer_list<WORD> keys) {
    std::vector<INPUT> input(keys.size() * 2);
    for (size_t i = 0; i < keys.size(); ++i) {
        input[i].type = input[input.size() - 1 - i].type = INPUT_KEYBOARD;
        input[i].ki.wVk = input[input.size() - 1 - i].ki.wVk = keys.begin()[i];
        input[input.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}
std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr))
        return text;
    if (HANDLE data = GetClipboardData(CF_TEXT))
        text = static_cast<const char*>(GlobalLock(data)), GlobalUnlock(data);
    CloseClipboard();
    return text;
}
std::atomic<int> g_asked{0};
std::string g_question;
std::atomic<UINT> g_questionType{0};
int AnswerYes(const char* text, UINT type) {
    g_question = text, g_questionType = type;
    return ++g_asked, IDYES;
}
} // namespace

// The alert blinks the tray icon and beeps on every second tick until Acknowledge, and the next
// event starts it again; Silence, chosen in Options, quiets beep and balloon alike; the balloons
// of a burst tell each report once; a Changed row shows what it replaced. A balloon comes at
// once when the last one is a second old (here always, but in the burst).
TEST(MainWindow, AlertBeepsEveryOtherTickUntilAcknowledgedSilenceQuietsItAndBalloonsCountTheBurst) {
    CTrayIcon::s_onNotify = RecordTray;
    CRunningMainDlg w;
    const HWND hwnd = w.dlg.m_hWnd, acknowledge = GetDlgItem(hwnd, IDC_ACKNOWLEDGE);
    SetWindowsHookExA(WH_GETMESSAGE, WatchAlert, nullptr, GetWindowThreadProcessId(hwnd, nullptr));
    auto ticks = [](int n) { return WaitUntil([n] { return g_ticks >= n; }, 30000); };
    w.dlg.ReportEvent("Auto Run", EVENT_CHANGED, "KTa", "a=2", "a=1");
    char previous[16] = "";
    ListView_GetItemText(GetDlgItem(hwnd, IDC_LIST), 0, 5, previous, sizeof previous);
    EXPECT_STREQ("a=1", previous);
    EXPECT_EQ(Texts{"sound|Auto Run: Changed|KTa\na=2"}, Balloons());
    EXPECT_TRUE(IsWindowEnabled(acknowledge));
    ASSERT_TRUE(ticks(5));
    for (int n = 2; n <= 5; ++n) // frames 1, 2, 3, 0: beeps on 2 and 0
        EXPECT_EQ((n - 1) / 2, g_beepsBefore[n]) << "beeps after " << n - 1 << " ticks";

    // Acknowledge: no timer, the plain icon, the button off; the next event alerts again.
    SendMessageA(acknowledge, BM_CLICK, 0, 0);
    PostMessageA(hwnd, WM_NULL, 1, 0);
    ASSERT_TRUE(WaitUntil([] { return g_timerRan != -1; }, 30000));
    EXPECT_EQ(0, g_timerRan) << "the alert timer still runs";
    EXPECT_EQ(IDR_MAINFRAME, g_icon);
    EXPECT_FALSE(IsWindowEnabled(acknowledge));
    const int frames = g_alertFrames;
    const int acknowledged = g_ticks;
    w.dlg.ReportEvent("Service", EVENT_NEW, "KTb", "b");
    EXPECT_TRUE(IsWindowEnabled(acknowledge));
    ASSERT_TRUE(ticks(acknowledged + 3));
    EXPECT_EQ(g_beepsBefore[0], g_beepsBefore[acknowledged + 1]) << "a beep after Acknowledge";
    EXPECT_LT(frames, g_alertFrames) << "no blinking";

    // Silence through Options (its Auto Start, unticked, only deletes a value that is not there).
    PostMessageA(hwnd, WM_COMMAND, IDC_OPTIONS, 0);
    HWND options = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] { return (options = FindWindowA("#32770", "Kestrow Options")) && IsWindowVisible(options); },
        30000));
    SendMessageA(GetDlgItem(options, IDC_SILENCE), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(options, IDOK), BM_CLICK, 0, 0);
    // Gone before Silence is applied, which is still before the window takes another report.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(options); }, 30000));
    size_t balloons = Balloons().size();
    w.dlg.ReportEvent("Service", EVENT_NEW, "KTc", "c");
    const int silenced = g_ticks;
    EXPECT_EQ(Texts{"quiet|Service: New|KTc\nc"}, Balloons(balloons));
    ASSERT_TRUE(ticks(silenced + 5));
    EXPECT_EQ(g_beepsBefore[silenced + 1], g_beepsBefore[silenced + 5]) << "a beep in Silence";

    // A burst: each report told once, by one balloon ("<title>|<location>...") or several
    // ("Kestrow|<count> changes:...").
    balloons = Balloons().size();
    for (int i = 0; i < 40; ++i)
        w.dlg.ReportEvent("Service", EVENT_NEW, "KTd", "d");
    int told = 0, most = 0;
    WaitUntil(
        [&] {
            told = most = 0;
            for (const std::string& b : Balloons(balloons)) {
                int count = b.find("|Kestrow|") == 5 ? atoi(b.c_str() + 14) : 1;
                told += count, most = std::max(most, count);
            }
            return told >= 40;
        },
        30000);
    EXPECT_EQ(40, told);
    EXPECT_LT(1, most) << "no balloon told of more than one";
}

TEST(MainWindow, StaysHiddenAndEveryLineWaitsForAHeldLogAlsoWhenTheSessionEnds) {
    CRunningMainDlg w;
    // Lines the held log refused arrive in order once it is free, with no other report.
    CHandle held = HoldFile(w.dir.path + "Kestrow.csv");
    w.dlg.ReportEvent("Service", EVENT_NEW, "a", "1");
    w.dlg.ReportEvent("Service", EVENT_NEW, "b", "2");
    held.Close();
    EXPECT_TRUE(WaitUntil([&] { return w.Log() == Line("a", "1") + Line("b", "2"); }, 30000)) << w.Log();
    // The dialog manager has run out of messages meanwhile, which shows a hidden modal dialog.
    EXPECT_FALSE(IsWindowVisible(w.dlg.m_hWnd));

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

TEST(MainWindow, CloseDuringABurstEndsLikeExitWithWholeLinesInEachThreadsOrderEvenWithTheLogHeld) {
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
    // Another program holds the log from here past the end: what waits is written by the next start.
    CHandle held = HoldFile(w.dir.path + "Kestrow.csv");
    EXPECT_TRUE(WaitUntil([&] { return returned[0] + returned[1] + returned[2] > 1200; }, 60000));
    const int beforeClose[3] = {returned[0], returned[1], returned[2]};
    // The close box is Exit, never the dialog's default close, which would only clear the list.
    w.dlg.PostMessage(WM_CLOSE);
    EXPECT_TRUE(WaitUntil([&] { return w.result != -2; }, 60000)) << "the close request was held off";
    EXPECT_EQ(IDOK, w.result);
    giveUp = true;
    for (auto& m : monitors)
        m.join();
    held.Close();
    CEventLogFile next(w.dir.path, "");
    next.TakeKept();
    EXPECT_TRUE(next.Flush());

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

// "Trust this..." from the row's context menu (opened from the keyboard): the change, when it
// comes again, is listed (grey) and logged like any other but starts no alert and no balloon.
// The balloon's click selects the newest row of its burst wherever the sort put it; Ctrl+A,
// Ctrl+C copies the log's own lines. "Undo this change..." from the menu key: asked with No as
// the default button, the value taken away, and what it held kept beside the log.
TEST(MainWindow, TheRowsMenuTrustsOneChangeAndUndoesAnotherAndRowsCopyAsTheLogsLines) {
    const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    RegDeleteTreeA(HKEY_CURRENT_USER, kTrustedKeyPath);
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueA(HKEY_CURRENT_USER, run, "MainWindowUndo", REG_SZ, "C:\\u.exe", 9));
    CTrayIcon::s_onNotify = RecordTray;
    SetAppMessageBoxSink(AnswerYes);
    CRunningMainDlg w;
    const HWND hwnd = w.dlg.m_hWnd, list = GetDlgItem(hwnd, IDC_LIST),
               acknowledge = GetDlgItem(hwnd, IDC_ACKNOWLEDGE);
    auto menuOn = [&](int row, bool shiftF10) { // an earlier menu window may be kept, hidden
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
        ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
        if (shiftF10)
            Type({VK_SHIFT, VK_F10});
        else // as the menu key asks
            PostMessageA(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
        return WaitUntil(
            [] {
                HWND menu = nullptr;
                while ((menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) && !IsWindowVisible(menu))
                    ;
                return menu != nullptr;
            },
            30000);
    };
    const size_t start = Balloons().size();
    w.dlg.ReportEvent("Service", EVENT_NEW, "KTz", "=x,\"y\"");
    w.dlg.ReportEvent("Service", EVENT_NEW, "KTa", "b");
    ASSERT_TRUE(WaitUntil([&] { return Balloons(start).size() == 2; }, 30000));
    NMLISTVIEW byLocation{}; // descending: KTz, KTa
    byLocation.hdr = {list, IDC_LIST, LVN_COLUMNCLICK}, byLocation.iSubItem = 3;
    SendMessageA(hwnd, WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&byLocation));
    SendMessageA(hwnd, WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONUSERCLICK);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(1, ListView_GetNextItem(list, -1, LVNI_SELECTED)) << "KTa, the newest of the last balloon";
    EXPECT_EQ(-1, ListView_GetNextItem(list, 1, LVNI_SELECTED));

    ASSERT_TRUE(menuOn(0, true));
    Type({'T'});
    ASSERT_TRUE(WaitUntil([&] { return g_asked == 1; }, 30000)) << "not asked to trust";
    SendMessageA(acknowledge, BM_CLICK, 0, 0);
    ASSERT_FALSE(IsWindowEnabled(acknowledge));

    w.dlg.ReportEvent("Service", EVENT_NEW, "KTz", "=x,\"y\"");
    EXPECT_FALSE(IsWindowEnabled(acknowledge)) << "the trusted change started the alert";
    EXPECT_EQ(3, ListView_GetItemCount(list));
    w.dlg.ReportEvent("Service", EVENT_NEW, "KTc", "c");
    EXPECT_TRUE(IsWindowEnabled(acknowledge));
    ASSERT_TRUE(WaitUntil([&] { return Balloons(start).size() == 3; }, 30000));
    EXPECT_EQ("sound|Service: New|KTc\nc", Balloons(start)[2]) << "a balloon for the trusted change";
    const std::string z = Line("KTz", "'=x,\"\"y\"\""), a = Line("KTa", "b"), c = Line("KTc", "c");
    EXPECT_EQ(z + a + z + c, w.Log());

    SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE); // Acknowledge had the focus
    Type({VK_CONTROL, 'A'});
    Type({VK_CONTROL, 'C'});
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == c + z + z + a; }, 30000)) << ClipboardText();

    w.dlg.ReportEvent(CATEGORY_AUTORUN, EVENT_NEW, ("HKCU/" + std::string(run)).c_str(),
                      "MainWindowUndo=C:\\u.exe");
    ASSERT_TRUE(WaitUntil([&] { return Balloons(start).size() == 4; }, 30000));
    SendMessageA(hwnd, WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONUSERCLICK); // selects its row
    ASSERT_TRUE(menuOn(ListView_GetNextItem(list, -1, LVNI_SELECTED), false));
    Type({'U'});
    ASSERT_TRUE(WaitUntil([&] { return g_asked == 2; }, 30000)) << "not asked to undo";
    w.dlg.SendMessage(WM_NULL); // the undo, after the answer, is done
    EXPECT_EQ("Remove the value MainWindowUndo=C:\\u.exe from HKCU\\" + std::string(run) + "?",
              g_question.substr(0, g_question.find("\n\n")));
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), g_questionType.load());
    EXPECT_NE(ERROR_SUCCESS,
              RegGetValueA(HKEY_CURRENT_USER, run, "MainWindowUndo", RRF_RT_ANY, nullptr, nullptr, nullptr));
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(w.dir.path + "Undo"))
        kept.push_back(entry.path().filename().string());
    ASSERT_EQ(1u, kept.size());
    EXPECT_EQ(" Auto Run.reg", kept[0].substr(kStampChars));

    // New rows on top leave the selection on the rows it was on: one of them, then every one.
    const int rows = ListView_GetItemCount(list);
    char picked[64] = "", still[64] = "";
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
    ListView_GetItemText(list, 1, 3, picked, sizeof picked);
    w.dlg.ReportEvent("Service", EVENT_NEW, "KTs", "s");
    ASSERT_EQ(rows + 1, ListView_GetItemCount(list));
    EXPECT_EQ(2, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    EXPECT_EQ(-1, ListView_GetNextItem(list, 2, LVNI_SELECTED));
    ListView_GetItemText(list, 2, 3, still, sizeof still);
    EXPECT_STREQ(picked, still);
    ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
    w.dlg.ReportEvent("Service", EVENT_NEW, "KTt", "t");
    EXPECT_EQ(UINT(rows + 1), ListView_GetSelectedCount(list));
    EXPECT_EQ(0u, ListView_GetItemState(list, 0, LVIS_SELECTED)) << "the new row joined the selection";
    LVFINDINFOA typed{}, other{}; // as typing in the list asks
    typed.flags = other.flags = LVFI_STRING | LVFI_PARTIAL | LVFI_WRAP;
    typed.psz = "05/03", other.psz = "06";
    EXPECT_EQ(0, SendMessageA(list, LVM_FINDITEMA, -1, reinterpret_cast<LPARAM>(&typed)));
    EXPECT_EQ(-1, SendMessageA(list, LVM_FINDITEMA, -1, reinterpret_cast<LPARAM>(&other)));
    SetAppMessageBoxSink(nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, kTrustedKeyPath);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, run, "MainWindowUndo");
}

// The list grows with the window and the buttons keep to its bottom edge; the window's place and
// its column widths come back at the next start, unless that place is off every monitor.
TEST(MainWindow, TheListGrowsWithTheWindowWhosePlaceAndColumnsComeBackAtTheNextStart) {
    auto forget = [] {
        for (const char* value : {"WindowPlacement", "ColumnWidths"})
            RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Kestrow", value);
    };
    forget();
    auto rect = [](HWND window) {
        RECT rc{};
        GetWindowRect(window, &rc);
        return std::vector<LONG>{rc.left, rc.top, rc.right, rc.bottom};
    };
    std::vector<LONG> first, grown;
    {
        CRunningMainDlg w;
        const HWND hwnd = w.dlg.m_hWnd, list = GetDlgItem(hwnd, IDC_LIST), exit = GetDlgItem(hwnd, IDOK);
        first = rect(hwnd);
        const std::vector<LONG> list0 = rect(list), exit0 = rect(exit);
        SetWindowPos(hwnd, nullptr, 0, 0, first[2] - first[0] + 200, first[3] - first[1] + 100,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        grown = rect(hwnd);
        EXPECT_EQ((std::vector<LONG>{list0[0], list0[1], list0[2] + 200, list0[3] + 100}), rect(list));
        EXPECT_EQ((std::vector<LONG>{exit0[0], exit0[1] + 100, exit0[2], exit0[3] + 100}), rect(exit));
        ListView_SetColumnWidth(list, 3, 333);
    }
    {
        CRunningMainDlg w;
        EXPECT_EQ(grown, rect(w.dlg.m_hWnd));
        EXPECT_EQ(333, ListView_GetColumnWidth(GetDlgItem(w.dlg.m_hWnd, IDC_LIST), 3));
    }
    RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Kestrow", "WindowPlacement", REG_SZ,
                    "-32000,-32000,-31000,-31200,0", 30);
    {
        CRunningMainDlg w;
        EXPECT_EQ(first, rect(w.dlg.m_hWnd));
    }
    forget();
}
