// The event list: a list-view with full-row selection that sorts its rows by a column when the
// user clicks that column's header. Each click on a column reverses that column's order; the
// first one sorts it descending.
#pragma once
#include "../framework/AfxCmn.h"
#include <vector>

class stListCtrl : public CListCtrl {
public:
    stListCtrl() = default;
    ~stListCtrl() override;

    // Selection always shown, whole rows selected.
    void SetFullRowSelect();

    // Sorts the rows by the texts of `column`, moving whole rows; FALSE, with nothing changed,
    // when there is no such column or the rows could not be rebuilt.
    virtual BOOL SortColumn(int column, BOOL ascending);

    // Two cell texts: numbers when the first text starts with a digit or "-" (or is empty),
    // compared in hundredths below 1000 and in units above; otherwise text without regard to
    // case. Negative, zero or positive.
    static int CompareItemText(const CString* a, const CString* b);

    // Header clicks reach the list reflected from its dialog.
    bool OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

protected:
    // The indices of the first `count` texts in ascending order (see CompareItemText), as a
    // sort moves rows; the texts end in that order.
    static std::vector<int> AscendingOrder(CStringArray& texts, int count);

private:
    void OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult);
    void AllocSortFlags(int count);

    // One flag per column: nonzero when that column's next sort is ascending.
    int* m_pSortAscending = nullptr;
    int m_nSortFlags = 0;
};
