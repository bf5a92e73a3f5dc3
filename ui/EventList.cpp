#include "EventList.h"
#include <cstring>

LPARAM CEventList::AddRow(const char* const* texts, int count, bool grey) {
    size_t size = 0;
    for (int column = 0; column < count; ++column)
        size += (texts[column] ? std::strlen(texts[column]) : 0) + 1;
    std::string packed;
    packed.reserve(size);
    for (int column = 0; column < count; ++column)
        packed.append(texts[column] ? texts[column] : "").push_back('\0');
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.pszText = LPSTR_TEXTCALLBACKA;
    item.lParam = (m_lastSerial + 1) * 2 + (grey ? 1 : 0);
    // Held before the row is there: inserting it may draw it.
    m_rowTexts.push_back(std::move(packed));
    int row = InsertItem(&item);
    if (row < 0) {
        m_rowTexts.pop_back();
        return 0;
    }
    for (int column = 1; column < count; ++column)
        SetItemText(row, column, LPSTR_TEXTCALLBACKA);
    return ++m_lastSerial;
}

void CEventList::OnGetDispInfo(NMHDR* hdr) const {
    // The text part of the item is the same in both forms, but for the text's type.
    LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(hdr)->item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    size_t serial = static_cast<size_t>(RowData(item.iItem) / 2);
    const char* text = "";
    if (serial >= 1 && serial <= m_rowTexts.size()) {
        const std::string& texts = m_rowTexts[serial - 1];
        size_t at = 0;
        for (int column = 0; column < item.iSubItem && at < texts.size(); ++column)
            at = texts.find('\0', at) + 1;
        if (at < texts.size())
            text = texts.c_str() + at;
    }
    if (hdr->code == LVN_GETDISPINFOA) {
        ::lstrcpynA(item.pszText, text, item.cchTextMax);
        return;
    }
    auto* wide = reinterpret_cast<wchar_t*>(item.pszText);
    std::wstring converted(std::strlen(text) + 1, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, &converted[0], static_cast<int>(converted.size()));
    ::lstrcpynW(wide, converted.c_str(), item.cchTextMax);
}

void CEventList::SetRowGrey(int row, bool grey) {
    LPARAM data = RowData(row);
    if (grey != IsRowGrey(row))
        SetRowData(row, (data & ~LPARAM(1)) | (grey ? 1 : 0));
}

LPARAM CEventList::RowData(int row) const {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    return GetItem(&item) ? item.lParam : 0;
}

void CEventList::SetRowData(int row, LPARAM data) {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = data;
    SetItem(&item);
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

bool CEventList::ShowRow(LPARAM serial) {
    int row = -1;
    for (LPARAM grey = 0; grey < 2 && row < 0; ++grey) {
        LVFINDINFOA find{};
        find.flags = LVFI_PARAM;
        find.lParam = serial * 2 + grey;
        row = static_cast<int>(SendMessage(LVM_FINDITEMA, static_cast<WPARAM>(-1), (LPARAM)&find));
    }
    if (serial <= 0 || row < 0)
        return false;
    SetItemState(-1, 0, LVIS_SELECTED);
    SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessage(LVM_ENSUREVISIBLE, row, FALSE);
    ::SetFocus(m_hWnd);
    return true;
}

std::vector<int> CEventList::SelectedRows() const {
    std::vector<int> rows;
    for (int row = -1; (row = GetNextItem(row, LVNI_SELECTED)) != -1;)
        rows.push_back(row);
    return rows;
}

int CEventList::ColumnCount() const {
    return static_cast<int>(::SendMessageA(GetHeaderCtrl(), HDM_GETITEMCOUNT, 0, 0));
}

std::vector<int> CEventList::ColumnWidths() const {
    std::vector<int> widths;
    for (int column = 0; column < ColumnCount(); ++column)
        widths.push_back(static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, column)));
    return widths;
}

bool CEventList::SetColumnWidths(const std::vector<int>& widths) {
    if (static_cast<int>(widths.size()) != ColumnCount())
        return false;
    for (size_t column = 0; column < widths.size(); ++column)
        SendMessage(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(widths[column], 0));
    return true;
}

bool CEventList::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    if (msg == WM_NOTIFY && hdr && hdr->code == NM_CUSTOMDRAW) {
        *result = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
        return true;
    }
    if (msg == WM_NOTIFY && hdr && (hdr->code == LVN_GETDISPINFOA || hdr->code == LVN_GETDISPINFOW)) {
        OnGetDispInfo(hdr);
        *result = 0;
        return true;
    }
    if (msg == WM_NOTIFY && hdr && hdr->code == LVN_KEYDOWN) {
        OnKeyDown(reinterpret_cast<NMLVKEYDOWN*>(lp)->wVKey);
        *result = 0;
        return true;
    }
    return stListCtrl::OnChildNotify(msg, wp, lp, result);
}

void CEventList::OnKeyDown(WORD key) {
    bool control = ::GetKeyState(VK_CONTROL) < 0, alt = ::GetKeyState(VK_MENU) < 0;
    if (key == VK_DELETE && !control && !alt && m_onDelete)
        m_onDelete();
    if (!control || alt)
        return;
    if (key == 'A')
        SelectAll();
    else if (key == 'C' && m_onCopy)
        m_onCopy();
}

LRESULT CEventList::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && (draw->nmcd.lItemlParam & 1))
        draw->clrText = ::GetSysColor(COLOR_GRAYTEXT);
    return CDRF_DODEFAULT;
}
