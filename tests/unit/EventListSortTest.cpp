// RESOURCE_LOCK: tray
// Sorting the event list by a header click, on the real main window and its list control.
#include "RunningMainWindow.h"
#include "res/resource.h"
#include "ui/stListCtrl.h"
#include <climits>

using Texts = std::vector<std::string>;

class EventListSort : public testing::Test {
protected:
    static CRunningMainDlg* s_window;

    // The window stays hidden: a shown one is slow to close under Xvfb, and sorting does not
    // depend on it.
    static void SetUpTestSuite() { s_window = new CRunningMainDlg; }
    static void TearDownTestSuite() { delete s_window; }
    void SetUp() override { dlg().SendMessage(WM_COMMAND, IDCANCEL); }

    static CMainDlg& dlg() { return s_window->dlg; }
    static stListCtrl& list() { return s_window->list; }
    static int Rows() { return list().GetItemCount(); }
    static std::string Cell(int row, int col) { return std::string(list().GetItemText(row, col)); }
    static Texts Column(int col) {
        Texts out;
        for (int r = 0; r < Rows(); ++r)
            out.push_back(Cell(r, col));
        return out;
    }
    // A left click on the column's header, as the user makes it; returns when the click is done.
    static void ClickHeader(int col) {
        HWND header = list().GetHeaderCtrl();
        RECT rc{};
        ASSERT_TRUE(SendMessageA(header, HDM_GETITEMRECT, col, (LPARAM)&rc));
        LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(header, WM_LBUTTONUP, 0, at);
    }
    static void Report(WORD day, WORD month, const char* category, const char* details) {
        s_window->clock.fixedNow = true;
        s_window->clock.now = SYSTEMTIME{2003, month, 0, day, 10, 0, 0, 0};
        dlg().ReportEvent(category, EVENT_NEW, "loc", details);
    }
    // Rows whose Location texts are given, top to bottom.
    static void FillLocations(const std::vector<const char*>& texts) {
        for (auto it = texts.rbegin(); it != texts.rend(); ++it)
            dlg().ReportEvent("Service", EVENT_NEW, *it, "d");
    }
};
CRunningMainDlg* EventListSort::s_window;

TEST_F(EventListSort, HeaderClicksSortByDayThenReverseEachColumnOnItsOwn) {
    Report(5, 3, "Service", "a");
    Report(28, 2, "auto run", "b");
    Report(15, 1, "Installs", "c");
    Report(9, 12, "Auto Start", "d");
    ASSERT_EQ((Texts{"d", "c", "b", "a"}), Column(4));

    // Dates compare by their day: the 28th of February before the 5th of March. Whole rows move.
    ClickHeader(0);
    EXPECT_EQ((Texts{"28/02/2003", "15/01/2003", "09/12/2003", "05/03/2003"}), Column(0));
    EXPECT_EQ((Texts{"b", "c", "d", "a"}), Column(4));
    EXPECT_EQ((Texts{"auto run", "Installs", "Auto Start", "Service"}), Column(1));
    ClickHeader(0);
    EXPECT_EQ((Texts{"a", "d", "c", "b"}), Column(4));

    // Another column starts descending too, text without regard to case.
    ClickHeader(1);
    EXPECT_EQ((Texts{"Service", "Installs", "Auto Start", "auto run"}), Column(1));
    ClickHeader(1);
    EXPECT_EQ((Texts{"auto run", "Auto Start", "Installs", "Service"}), Column(1));
    // The Date column goes on from its own direction: descending again.
    ClickHeader(0);
    EXPECT_EQ((Texts{"b", "c", "d", "a"}), Column(4));

    // A new event still goes to the top of the sorted list.
    Report(1, 1, "WinLogon", "e");
    EXPECT_EQ((Texts{"e", "b", "c", "d", "a"}), Column(4));
}

TEST_F(EventListSort, CompareItemTextRules) {
    const struct {
        const char *a, *b;
        int sign;
    } cases[] = {
        // Hundredths below 1000, units above.
        {"1.5", "1.504", 0},
        {"1.5", "1.52", -1},
        {"1500.2", "1500.9", 0},
        {"1502.2", "1500.9", 1},
        {"2", "10", -1},
        // A date compares by its day.
        {"28/02/2003", "05/03/2003", 1},
        {"05/03/2003", "05/11/1999", 0},
        // Text without regard to case; the first text alone chooses text or number ("x" reads as 0).
        {"Auto Run", "AUTO RUN", 0},
        {"Auto Run", "Service", -1},
        {"x", "9", 1},
        {"0", "x", 0},
        {"", "abc", 0},
        {"abc", "", 1},
        // Differences far outside the int range keep their sign.
        {"1e300", "-1e300", 1},
        {"3000000000", "1e300", -1},
        {"2147483648", "0", 1},
    };
    auto compare = [](const char* a, const char* b) {
        CString x(a), y(b);
        return stListCtrl::CompareItemText(&x, &y);
    };
    for (const auto& c : cases) {
        int r = compare(c.a, c.b);
        EXPECT_EQ(c.sign, (r > 0) - (r < 0)) << c.a << " vs " << c.b;
    }
    EXPECT_EQ(INT_MAX, compare("5000000000000", "-5000000000000"));
    EXPECT_EQ(INT_MIN, compare("-5000000000000", "5000000000000"));
}

TEST_F(EventListSort, EmptyOrSingleListAndUnknownColumnsChangeNothing) {
    ClickHeader(2);
    EXPECT_EQ(0, Rows());
    dlg().ReportEvent("Service", EVENT_DELETED, "only", "x");
    ClickHeader(3);
    ClickHeader(3);
    EXPECT_EQ((Texts{"Service", "Deleted", "only", "x"}),
              (Texts{Cell(0, 1), Cell(0, 2), Cell(0, 3), Cell(0, 4)}));

    // No such column: nothing moves, whatever the notification says.
    FillLocations({"1", "3", "2"});
    EXPECT_FALSE(list().SortColumn(6, TRUE));
    NMLISTVIEW click{};
    click.hdr.hwndFrom = list().m_hWnd;
    click.hdr.idFrom = IDC_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    for (int column : {6, 519, 520, 100000, -1}) {
        click.iSubItem = column;
        dlg().SendMessage(WM_NOTIFY, IDC_LIST, (LPARAM)&click);
    }
    EXPECT_EQ((Texts{"1", "3", "2", "only"}), Column(3));
}
