// CListCtrl: one-line wrappers over the list-view messages the program sends.
#pragma once
#include "AfxWin.h"
#include <commctrl.h>

class CListCtrl : public CWnd {
public:
    int InsertColumn(int col, const char* heading, int format, int width) {
        LVCOLUMNA c{};
        c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        c.fmt = format;
        c.cx = width;
        c.pszText = const_cast<char*>(heading);
        c.iSubItem = col;
        return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, col, (LPARAM)&c));
    }
    int InsertItem(const LVITEMA* item) {
        return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, (LPARAM)item));
    }
    int InsertItem(int index, const char* text) {
        LVITEMA it{};
        it.mask = LVIF_TEXT;
        it.iItem = index;
        it.pszText = const_cast<char*>(text);
        return InsertItem(&it);
    }
    BOOL SetItem(const LVITEMA* item) {
        return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, (LPARAM)item));
    }
    BOOL GetItem(LVITEMA* item) const {
        return static_cast<BOOL>(SendMessage(LVM_GETITEMA, 0, (LPARAM)item));
    }
    BOOL SetItemText(int row, int col, const char* text) {
        LVITEMA it{};
        it.iSubItem = col;
        it.pszText = const_cast<char*>(text);
        return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, row, (LPARAM)&it));
    }
    CString GetItemText(int row, int col) const;
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    BOOL DeleteItem(int row) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, row)); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    int GetNextItem(int start, int flags) const {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, start, flags));
    }
    BOOL SetItemState(int row, UINT state, UINT mask) {
        LVITEMA it{};
        it.state = state;
        it.stateMask = mask;
        return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, row, (LPARAM)&it));
    }
    DWORD GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    DWORD SetExtendedStyle(DWORD style) {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
    }
    HWND GetHeaderCtrl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER)); }
};
