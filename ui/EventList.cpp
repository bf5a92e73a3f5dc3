#include "EventList.h"
#include "../framework/AfxString.h"
#include <algorithm>
#include <cstring>
#include <cwchar>

LPARAM CEventList::AddRow(const char* const* texts, int count, bool grey) {
    size_t size = 0;
    for (int column = 0; column < count; ++column)
        size += (texts[column] ? std::strlen(texts[column]) : 0) + 1;
    std::string packed;
    packed.reserve(size);
    for (int column = 0; column < count; ++column)
        packed.append(texts[column] ? texts[column] : "").push_back('\0');
    m_newRows.push_back({std::move(packed), ++m_lastSerial, grey});
    return m_lastSerial;
}

void CEventList::ShowNewRows() {
    int added = static_cast<int>(m_newRows.size()), shown = static_cast<int>(m_rows.size());
    if (added == 0)
        return;
    // A virtual list-view keeps its selection by row number: it moves down with the rows.
    std::vector<int> selected = SelectedRows();
    int focused = GetNextItem(-1, LVNI_FOCUSED);
    int mark = static_cast<int>(SendMessage(LVM_GETSELECTIONMARK));
    for (Row& row : m_newRows)
        m_rows.push_front(std::move(row));
    m_newRows.clear();
    if (!selected.empty())
        SetItemState(-1, 0, LVIS_SELECTED);
    SendMessage(LVM_SETITEMCOUNT, m_rows.size(), LVSICF_NOSCROLL);
    if (shown > 0 && static_cast<int>(selected.size()) == shown) {
        SelectAll();
        for (int row = 0; row < added; ++row)
            SetItemState(row, 0, LVIS_SELECTED);
    } else {
        for (int row : selected)
            SetItemState(row + added, LVIS_SELECTED, LVIS_SELECTED);
    }
    if (focused >= 0)
        SetItemState(focused + added, LVIS_FOCUSED, LVIS_FOCUSED);
    if (mark >= 0)
        SendMessage(LVM_SETSELECTIONMARK, 0, mark + added);
}

const CEventList::Row* CEventList::RowAt(int row) const {
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? &m_rows[row] : nullptr;
}

const char* CEventList::Text(const Row& row, int column) {
    size_t at = 0;
    for (int c = 0; c < column && at < row.texts.size(); ++c)
        at = row.texts.find('\0', at) + 1;
    return at < row.texts.size() ? row.texts.c_str() + at : "";
}

void CEventList::SetRowGrey(int row, bool grey) {
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || m_rows[row].grey == grey)
        return;
    m_rows[row].grey = grey;
    SendMessage(LVM_REDRAWITEMS, row, row);
}

bool CEventList::IsRowGrey(int row) const {
    const Row* r = RowAt(row);
    return r && r->grey;
}

bool CEventList::ShowRow(LPARAM serial) {
    ShowNewRows();
    auto found =
        std::find_if(m_rows.begin(), m_rows.end(), [serial](const Row& r) { return r.serial == serial; });
    if (serial <= 0 || found == m_rows.end())
        return false;
    int row = static_cast<int>(found - m_rows.begin());
    SetItemState(-1, 0, LVIS_SELECTED);
    SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessage(LVM_ENSUREVISIBLE, row, FALSE);
    ::SetFocus(m_hWnd);
    return true;
}

BOOL CEventList::SortColumn(int column, BOOL ascending) {
    if (column < 0 || column >= ColumnCount())
        return FALSE;
    ShowNewRows();
    int n = static_cast<int>(m_rows.size());
    CStringArray texts;
    texts.SetSize(n);
    for (int row = 0; row < n; ++row)
        texts[row] = Text(m_rows[row], column);
    std::vector<int> order = AscendingOrder(texts, n);
    if (!ascending)
        std::reverse(order.begin(), order.end());
    std::deque<Row> sorted;
    for (int row : order)
        sorted.push_back(std::move(m_rows[row]));
    m_rows.swap(sorted);
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    return TRUE;
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
    if (msg == WM_NOTIFY && hdr && (hdr->code == LVN_ODFINDITEMA || hdr->code == LVN_ODFINDITEMW)) {
        *result = OnFindItem(hdr);
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

LRESULT CEventList::OnCustomDraw(NMLVCUSTOMDRAW* draw) const {
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && IsRowGrey(static_cast<int>(draw->nmcd.dwItemSpec)))
        draw->clrText = ::GetSysColor(COLOR_GRAYTEXT);
    return CDRF_DODEFAULT;
}

void CEventList::OnGetDispInfo(NMHDR* hdr) const {
    // The text part of the item is the same in both forms, but for the text's type.
    LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(hdr)->item;
    const Row* row = RowAt(item.iItem);
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    const char* text = row ? Text(*row, item.iSubItem) : "";
    if (hdr->code == LVN_GETDISPINFOA) {
        ::lstrcpynA(item.pszText, text, item.cchTextMax);
        return;
    }
    std::wstring wide(std::strlen(text) + 1, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], static_cast<int>(wide.size()));
    ::lstrcpynW(reinterpret_cast<wchar_t*>(item.pszText), wide.c_str(), item.cchTextMax);
}

LRESULT CEventList::OnFindItem(NMHDR* hdr) const {
    // Typing in the list goes to the next row whose first column begins with what was typed.
    const LVFINDINFOA& find = reinterpret_cast<NMLVFINDITEMA*>(hdr)->lvfi;
    if (!(find.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.psz)
        return -1;
    auto* wide = reinterpret_cast<const wchar_t*>(find.psz);
    std::string typed = hdr->code == LVN_ODFINDITEMA ? std::string(find.psz)
                                                     : Utf8ToAnsi(WideToUtf8(wide, std::wcslen(wide)));
    int n = static_cast<int>(m_rows.size()), start = reinterpret_cast<NMLVFINDITEMA*>(hdr)->iStart;
    start = start < 0 || start >= n ? 0 : start;
    for (int k = 0; k < n; ++k) {
        int row = start + k;
        if (row >= n && !(find.flags & LVFI_WRAP))
            break;
        const char* text = Text(m_rows[row % n], 0);
        if (find.flags & LVFI_PARTIAL ? _strnicmp(text, typed.c_str(), typed.size()) == 0
                                      : _stricmp(text, typed.c_str()) == 0)
            return row % n;
    }
    return -1;
}
