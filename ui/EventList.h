// The event list as the main window uses it. Each row carries a serial number in its item data,
// by which it is found again however the rows were sorted since, and a grey mark for a change
// that started no alert. Ctrl+A selects every row; Ctrl+C asks the owner to copy the selection,
// and Delete to undo it.
#pragma once
#include "stListCtrl.h"
#include <deque>
#include <functional>
#include <string>
#include <vector>

class CEventList : public stListCtrl {
public:
    CEventList() { m_ownerTexts = true; }
    // A new top row of `count` texts, one per column (null: empty), with the next serial number
    // and its mark; returns that number (0: the row could not be inserted). The list keeps the
    // texts in one block per row and the list-view asks for them: a cell of the list-view's own
    // costs it two allocations and a copy in UTF-16, and rows are many after a burst.
    LPARAM AddRow(const char* const* texts, int count, bool grey);
    void SetRowGrey(int row, bool grey);
    bool IsRowGrey(int row) const { return RowData(row) & 1; }
    // Selects the row with that serial number alone, focused and scrolled into view; false when
    // it is no longer listed.
    bool ShowRow(LPARAM serial);
    // In the order shown, top to bottom.
    std::vector<int> SelectedRows() const;
    void SelectAll() { SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED); }

    std::vector<int> ColumnWidths() const;
    // Widths for every column, or nothing changes.
    bool SetColumnWidths(const std::vector<int>& widths);

    // Ctrl+C in the list.
    std::function<void()> m_onCopy;
    // The Delete key in the list.
    std::function<void()> m_onDelete;

    bool OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

private:
    LPARAM RowData(int row) const;
    void SetRowData(int row, LPARAM data);
    int ColumnCount() const;
    void OnKeyDown(WORD key);
    static LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    void OnGetDispInfo(NMHDR* hdr) const;

    LPARAM m_lastSerial = 0;
    // By serial number, from 1: the row's texts, each ended by '\0'.
    std::deque<std::string> m_rowTexts;
};
