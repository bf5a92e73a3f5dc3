// The event list as the main window uses it: a virtual list-view (LVS_OWNERDATA) whose rows the
// list keeps itself, a row's texts in one block. A row the list-view kept would cost it a dozen
// allocations, and its item arrays, grown ten rows at a time, leave a trail of freed blocks
// behind them after a burst. Each row carries a serial number, by which it is found again
// however the rows were sorted since, and a grey mark for a change that started no alert.
// Ctrl+A selects every row; Ctrl+C asks the owner to copy the selection, and Delete to undo it.
#pragma once
#include "stListCtrl.h"
#include <deque>
#include <functional>
#include <string>
#include <vector>

class CEventList : public stListCtrl {
public:
    // A new row of `count` texts, one per column (null: empty), with the next serial number and
    // its mark; returns that number. It is shown at the top by the next ShowNewRows.
    LPARAM AddRow(const char* const* texts, int count, bool grey);
    // Shows the rows added since the last call above the others, newest first; the selection,
    // the focus and the selection mark stay on the rows they were on.
    void ShowNewRows();
    void SetRowGrey(int row, bool grey);
    bool IsRowGrey(int row) const;
    // Selects the row with that serial number alone, focused and scrolled into view; false when
    // it is no longer listed.
    bool ShowRow(LPARAM serial);
    // In the order shown, top to bottom.
    std::vector<int> SelectedRows() const;
    void SelectAll() { SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED); }

    std::vector<int> ColumnWidths() const;
    // Widths for every column, or nothing changes.
    bool SetColumnWidths(const std::vector<int>& widths);

    // Reorders the rows it keeps; the list-view only draws them again.
    BOOL SortColumn(int column, BOOL ascending) override;

    // Ctrl+C in the list.
    std::function<void()> m_onCopy;
    // The Delete key in the list.
    std::function<void()> m_onDelete;

    bool OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

private:
    struct Row {
        std::string texts; // the columns' texts, each ended by '\0'
        LPARAM serial;
        bool grey;
    };
    const Row* RowAt(int row) const;
    static const char* Text(const Row& row, int column);
    int ColumnCount() const;
    void OnKeyDown(WORD key);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw) const;
    void OnGetDispInfo(NMHDR* hdr) const;
    LRESULT OnFindItem(NMHDR* hdr) const;

    LPARAM m_lastSerial = 0;
    std::deque<Row> m_rows;     // as shown, top first
    std::vector<Row> m_newRows; // added since the last ShowNewRows, oldest first
};
