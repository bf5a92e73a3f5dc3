// Sorting the event list: the comparison of two cell texts, and a header click on a real
// list-view control, made here on the test's own thread.
#include "TestSupport.h"
#include "ui/stListCtrl.h"
#include <climits>
#include <gtest/gtest.h>
#include <tuple>

TEST(EventListSort, CompareItemText) {
    auto compare = [](const char* a, const char* b) {
        CString x(a), y(b);
        return stListCtrl::CompareItemText(&x, &y);
    };
    EXPECT_EQ(0, compare("1e999", "1e999")) << "a difference that is no number is none";
    // Far outside the int range: clamped, with its sign.
    EXPECT_EQ(INT_MAX, compare("1e300", "-1e300"));
    EXPECT_EQ(INT_MIN, compare("-5000000000000", "5000000000000"));
}

namespace {
// Fails every insert once this many more have been made.
int g_insertsLeft = INT_MAX;
WNDPROC g_listProc;
LRESULT CALLBACK FailingInserts(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return msg == LVM_INSERTITEMA && g_insertsLeft-- <= 0 ? -1
                                                          : CallWindowProcA(g_listProc, hwnd, msg, wp, lp);
}
} // namespace

TEST(EventListSort, HeaderClickMovesWholeRowsAndAFailedRebuildLosesNone) {
    stListCtrl list;
    list.m_hWnd = CreateWindowExA(0, WC_LISTVIEWA, "", LVS_REPORT, 0, 0, 300, 200, {}, {}, {}, {});
    g_listProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(list.m_hWnd, GWLP_WNDPROC, (LONG_PTR)FailingInserts));
    list.InsertColumn(0, "", LVCFMT_LEFT, 40);
    for (const char* text : {"a", "c", "b"}) // the newest on top, as the window adds them
        list.InsertItem(0, text);
    auto rows = [&] {
        std::string out;
        for (int r = 0; r < list.GetItemCount(); ++r)
            out += list.GetItemText(r, 0);
        return out;
    };
    NMLISTVIEW nm{};
    nm.hdr.code = LVN_COLUMNCLICK;
    LRESULT result;
    auto click = [&](int column) {
        nm.iSubItem = column;
        list.OnChildNotify(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm), &result);
    };
    click(0); // the first click sorts descending
    EXPECT_EQ("cba", rows());
    for (int column : {520, -1, 1 << 28}) // no sort flag: ignored, far out or not
        click(column);
    EXPECT_EQ("cba", rows());

    // An insert that fails halfway through the rebuild: the rows stay as they were.
    g_insertsLeft = 1;
    EXPECT_FALSE(list.SortColumn(0, TRUE));
    EXPECT_EQ("cba", rows());
    DestroyWindow(list.m_hWnd);
}
