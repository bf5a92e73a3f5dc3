// Sorting the event list by a header click, on the real main window and its list control.
#include "RunningMainWindow.h"
#include "res/resource.h"
#include "ui/stListCtrl.h"
#include <climits>
#include <string>
#include <vector>

namespace {
int Compare(const char* a, const char* b) {
    CString x(a), y(b);
    return stListCtrl::CompareItemText(&x, &y);
}
} // namespace

class EventListSort : public testing::Test {
protected:
    static CRunningMainDlg* s_window;

    // The window stays hidden: a shown one is slow to close under Xvfb, and sorting does not
    // depend on it.
    static void SetUpTestSuite() { s_window = new CRunningMainDlg; }
    static void TearDownTestSuite() { delete s_window; }
    void SetUp() override {
        dlg().fixedNow = false;
        list().DeleteAllItems();
    }

    static CQuietMainDlg& dlg() { return s_window->dlg; }
    static stListCtrl& list() { return s_window->dlg.m_list; }
    static int Rows() { return list().GetItemCount(); }
    static std::string Cell(int row, int col) { return std::string(list().GetItemText(row, col)); }
    static std::vector<std::string> Column(int col) {
        std::vector<std::string> out;
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
        dlg().fixedNow = true;
        dlg().now = SYSTEMTIME{2003, month, 0, day, 10, 0, 0, 0};
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
    ASSERT_EQ((std::vector<std::string>{"d", "c", "b", "a"}), Column(4));

    // Dates compare by their day: the 28th of February before the 5th of March.
    ClickHeader(0);
    EXPECT_EQ((std::vector<std::string>{"28/02/2003", "15/01/2003", "09/12/2003", "05/03/2003"}), Column(0));
    // Whole rows move.
    EXPECT_EQ((std::vector<std::string>{"b", "c", "d", "a"}), Column(4));
    EXPECT_EQ((std::vector<std::string>{"auto run", "Installs", "Auto Start", "Service"}), Column(1));

    ClickHeader(0);
    EXPECT_EQ((std::vector<std::string>{"a", "d", "c", "b"}), Column(4));

    // Another column starts descending too, text without regard to case.
    ClickHeader(1);
    EXPECT_EQ((std::vector<std::string>{"Service", "Installs", "Auto Start", "auto run"}), Column(1));
    ClickHeader(1);
    EXPECT_EQ((std::vector<std::string>{"auto run", "Auto Start", "Installs", "Service"}), Column(1));

    // The Date column goes on from its own direction: descending again.
    ClickHeader(0);
    EXPECT_EQ((std::vector<std::string>{"b", "c", "d", "a"}), Column(4));

    // A new event still goes to the top of the sorted list.
    Report(1, 1, "WinLogon", "e");
    EXPECT_EQ("e", Cell(0, 4));
    EXPECT_EQ("b", Cell(1, 4));
}

TEST_F(EventListSort, NumbersSortByValue) {
    FillLocations({"10", "2", "-3000000000", "3000000000", "0", "-1.5", "999"});
    ClickHeader(3);
    EXPECT_EQ((std::vector<std::string>{"3000000000", "999", "10", "2", "0", "-1.5", "-3000000000"}), Column(3));
    ClickHeader(3);
    EXPECT_EQ((std::vector<std::string>{"-3000000000", "-1.5", "0", "2", "10", "999", "3000000000"}), Column(3));
}

TEST_F(EventListSort, CompareItemTextRules) {
    // Hundredths below 1000, units above.
    EXPECT_EQ(0, Compare("1.5", "1.504"));
    EXPECT_LT(Compare("1.5", "1.52"), 0);
    EXPECT_EQ(0, Compare("1500.2", "1500.9"));
    EXPECT_GT(Compare("1502.2", "1500.9"), 0);
    EXPECT_LT(Compare("2", "10"), 0);
    // A date compares by its day.
    EXPECT_GT(Compare("28/02/2003", "05/03/2003"), 0);
    EXPECT_EQ(0, Compare("05/03/2003", "05/11/1999"));
    // Text without regard to case; the first text alone chooses text or number.
    EXPECT_EQ(0, Compare("Auto Run", "AUTO RUN"));
    EXPECT_LT(Compare("Auto Run", "Service"), 0);
    EXPECT_GT(Compare("x", "9"), 0);
    EXPECT_EQ(0, Compare("0", "x")); // "x" reads as the number 0
    EXPECT_EQ(0, Compare("", "abc"));
    EXPECT_GT(Compare("abc", ""), 0);
    // Differences far outside the int range keep their sign.
    EXPECT_EQ(INT_MAX, Compare("5000000000000", "-5000000000000"));
    EXPECT_EQ(INT_MIN, Compare("-5000000000000", "5000000000000"));
    EXPECT_GT(Compare("1e300", "-1e300"), 0);
    EXPECT_LT(Compare("3000000000", "1e300"), 0);
    EXPECT_GT(Compare("2147483648", "0"), 0);
}

TEST_F(EventListSort, RowsKeepImageDataAndStateAndLoseTheSelection) {
    FillLocations({"b", "c", "a"});
    for (int r = 0; r < 3; ++r) {
        LVITEMA item{};
        item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
        item.iItem = r;
        item.iImage = 10 + r;
        item.lParam = 100 + r;
        item.state = r == 1 ? LVIS_CUT | INDEXTOOVERLAYMASK(2) : 0;
        item.stateMask = LVIS_CUT | LVIS_OVERLAYMASK;
        ASSERT_TRUE(list().SetItem(&item));
    }
    list().SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
    ASSERT_EQ(2, list().GetNextItem(-1, LVNI_SELECTED));

    ClickHeader(3);
    ASSERT_EQ((std::vector<std::string>{"c", "b", "a"}), Column(3));
    EXPECT_EQ(-1, list().GetNextItem(-1, LVNI_SELECTED)) << "the selection is cleared";
    const int was[3] = {1, 0, 2}; // the row each one came from
    for (int r = 0; r < 3; ++r) {
        LVITEMA item{};
        item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
        item.iItem = r;
        item.stateMask = LVIS_CUT | LVIS_OVERLAYMASK;
        ASSERT_TRUE(list().GetItem(&item));
        EXPECT_EQ(10 + was[r], item.iImage) << r;
        EXPECT_EQ(100 + was[r], item.lParam) << r;
        EXPECT_EQ(was[r] == 1 ? static_cast<UINT>(LVIS_CUT | INDEXTOOVERLAYMASK(2)) : 0u, item.state) << r;
        EXPECT_EQ("Service", Cell(r, 1));
        EXPECT_EQ("New", Cell(r, 2));
    }
}

TEST_F(EventListSort, EmptyOrSingleListAndUnknownColumnsChangeNothing) {
    ClickHeader(2);
    EXPECT_EQ(0, Rows());

    dlg().ReportEvent("Service", EVENT_DELETED, "only", "x");
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.lParam = 42;
    ASSERT_TRUE(list().SetItem(&item));
    ClickHeader(3);
    ClickHeader(3);
    ASSERT_EQ(1, Rows());
    EXPECT_EQ((std::vector<std::string>{"Service", "Deleted", "only", "x"}),
              (std::vector<std::string>{Cell(0, 1), Cell(0, 2), Cell(0, 3), Cell(0, 4)}));
    item = LVITEMA{};
    item.mask = LVIF_PARAM;
    ASSERT_TRUE(list().GetItem(&item));
    EXPECT_EQ(42, item.lParam);

    // No such column: nothing moves, whatever the notification says.
    FillLocations({"1", "3", "2"});
    EXPECT_FALSE(list().SortColumn(5, TRUE));
    NMLISTVIEW click{};
    click.hdr.hwndFrom = list().m_hWnd;
    click.hdr.idFrom = IDC_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    for (int column : {5, 519, 520, 100000, -1}) {
        click.iSubItem = column;
        dlg().SendMessage(WM_NOTIFY, IDC_LIST, (LPARAM)&click);
    }
    EXPECT_EQ((std::vector<std::string>{"1", "3", "2", "only"}), Column(3));
}
