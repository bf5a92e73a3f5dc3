// The event list as the main window uses it. Each row carries a serial number in its item data,
// by which it is found again however the rows were sorted since, and a grey mark for a change
// that started no alert. Ctrl+A selects every row; Ctrl+C asks the owner to copy the selection,
// and Delete to undo it.
#pragma once
#include "stListCtrl.h"
#include <functional>
#include <vector>

class CEventList : public stListCtrl {
public:
    // Gives the row just inserted the next serial number and its mark; returns that number.
    LPARAM MarkNewRow(int row, bool grey);
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

    LPARAM m_lastSerial = 0;
};
