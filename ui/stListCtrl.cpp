#include "stListCtrl.h"
#include <climits>
#include <cmath>
#include <cstdlib>
#include <mbstring.h>
#include <utility>

namespace {
const int kSortColumns = 520;

// One sort: the texts of the sort column, sorted together with the rows they came from; the
// rows are then copied below the old ones in the new order and the old ones deleted.
class CListSorter {
public:
    CListSorter(stListCtrl* list, int column, BOOL ascending, int columns)
        : m_nColumns(columns), m_pList(list), m_nColumn(column), m_bAscending(ascending) {}

    // Ascending in the sense of CompareItemText; not stable. The shorter part is sorted by a
    // nested call and the longer one by the loop, so that the depth stays logarithmic however
    // the texts are arranged; the parts are disjoint, so the result is the same in any order.
    void QuickSort(int lo, int hi) {
        while (hi > lo) {
            CString pivot = m_texts[lo + (hi - lo) / 2];
            int i = lo, j = hi;
            do {
                while (i < hi && stListCtrl::CompareItemText(&m_texts[i], &pivot) < 0)
                    ++i;
                while (j > lo && stListCtrl::CompareItemText(&m_texts[j], &pivot) > 0)
                    --j;
                if (i > j)
                    break;
                if (stListCtrl::CompareItemText(&m_texts[i], &m_texts[j]) != 0) {
                    std::swap(m_texts[i], m_texts[j]);
                    std::swap(m_pOrder[i], m_pOrder[j]);
                }
                ++i;
                --j;
            } while (i <= j);

            bool hasLeft = lo < j, hasRight = i < hi;
            if (hasLeft && hasRight && j - lo < hi - i) {
                QuickSort(lo, j);
                lo = i;
            } else if (hasLeft && hasRight) {
                QuickSort(i, hi);
                hi = j;
            } else if (hasLeft) {
                hi = j;
            } else if (hasRight) {
                lo = i;
            } else {
                return;
            }
        }
    }

    // Copies below the n old rows (in reverse for descending), then deletes the old rows. If a
    // copy cannot be made the copies made so far go again, and the list stays as it was.
    bool RebuildRows() {
        int n = m_nRows;
        for (int k = 0; k < n; ++k) {
            if (!CopyRow(m_pOrder[k], m_bAscending ? n + k : n)) {
                while (m_pList->GetItemCount() > n && m_pList->DeleteItem(n))
                    ;
                return false;
            }
        }
        for (int k = 0; k < n; ++k)
            m_pList->DeleteItem(0);
        return true;
    }

    // Image, item data and every state bit travel with the row, and all its texts.
    bool CopyRow(int source, int target) {
        CStringArray texts;
        texts.SetSize(m_nColumns);
        for (int c = 0; c < m_nColumns; ++c)
            texts[c] = m_pList->GetItemText(source, c);
        for (int c = 0; c < m_nColumns; ++c) {
            LVITEMA item{};
            item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
            item.iItem = source;
            item.iSubItem = c;
            item.stateMask = static_cast<UINT>(-1);
            m_pList->GetItem(&item);
            item.iItem = target;
            if (c == 0) {
                target = m_pList->InsertItem(&item);
                if (target < 0)
                    return false;
            } else {
                m_pList->SetItem(&item);
            }
            m_pList->SetItemText(target, c, texts[c]);
        }
        return true;
    }

    CStringArray m_texts;
    int* m_pOrder = nullptr;
    int m_nColumns;
    int m_nRows = 0;
    stListCtrl* m_pList;
    int m_nColumn;
    BOOL m_bAscending;
};
} // namespace

stListCtrl::~stListCtrl() {
    delete[] m_pSortAscending;
}

void stListCtrl::SetFullRowSelect() {
    LONG_PTR style = ::GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, style | LVS_SHOWSELALWAYS);
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_FULLROWSELECT);
}

bool stListCtrl::OnChildNotify(UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    if (msg != WM_NOTIFY || !hdr || hdr->code != LVN_COLUMNCLICK)
        return false;
    OnColumnClick(hdr, result);
    return true;
}

void stListCtrl::OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult) {
    SendMessage(WM_SETREDRAW, FALSE);
    int selected;
    while ((selected = GetNextItem(-1, LVNI_SELECTED)) != -1)
        if (!SetItemState(selected, 0, LVIS_SELECTED))
            break;

    if (!m_pSortAscending)
        AllocSortFlags(kSortColumns);
    int column = reinterpret_cast<NMLISTVIEW*>(pNMHDR)->iSubItem;
    // Columns past the flags cannot be sorted.
    if (column >= 0 && column < m_nSortFlags) {
        SortColumn(column, m_pSortAscending[column]);
        m_pSortAscending[column] = m_pSortAscending[column] ? 0 : 1;
    }

    SendMessage(WM_SETREDRAW, TRUE);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    *pResult = 0;
}

void stListCtrl::AllocSortFlags(int count) {
    if (count <= 0)
        return;
    delete[] m_pSortAscending;
    m_pSortAscending = new int[count];
    m_nSortFlags = count;
    for (int i = 0; i < count; ++i)
        m_pSortAscending[i] = 0;
}

BOOL stListCtrl::SortColumn(int column, BOOL ascending) {
    int columns = static_cast<int>(::SendMessageA(GetHeaderCtrl(), HDM_GETITEMCOUNT, 0, 0));
    if (column < 0 || column >= columns)
        return FALSE;
    int n = GetItemCount();
    CStringArray texts;
    texts.SetSize(n);
    for (int k = 0; k < n; ++k)
        texts[k] = GetItemText(k, column);
    std::vector<int> order = AscendingOrder(texts, n);
    CListSorter sorter(this, column, ascending, columns);
    sorter.m_nRows = n;
    sorter.m_pOrder = order.data();
    return sorter.RebuildRows() ? TRUE : FALSE;
}

std::vector<int> stListCtrl::AscendingOrder(CStringArray& texts, int count) {
    CListSorter sorter(nullptr, 0, TRUE, 0);
    std::vector<int> order(count > 0 ? count : 1);
    for (int k = 0; k < count; ++k)
        order[k] = k;
    // The texts are sorted in place along with their indices.
    std::swap(sorter.m_texts, texts);
    sorter.m_nRows = count;
    sorter.m_pOrder = order.data();
    sorter.QuickSort(0, count - 1);
    std::swap(sorter.m_texts, texts);
    order.resize(count > 0 ? count : 0);
    return order;
}

int stListCtrl::CompareItemText(const CString* a, const CString* b) {
    const char* textA = *a;
    const char* textB = *b;
    // Number or text is decided by the first text alone.
    char first = textA[0];
    if (first != '\0' && !(first >= '0' && first <= '9') && first != '-')
        return _mbsicmp(reinterpret_cast<const unsigned char*>(textA),
                        reinterpret_cast<const unsigned char*>(textB));

    double x = atof(textA), y = atof(textB);
    double difference = std::fabs(x) < 1000.0 && std::fabs(y) < 1000.0 ? x * 100.0 - y * 100.0 : x - y;
    // Kept inside the int range with its sign: a plain conversion of a larger difference is
    // undefined and gives the wrong sign on x86.
    if (std::isnan(difference))
        return 0;
    if (difference >= 2147483647.0)
        return INT_MAX;
    if (difference <= -2147483648.0)
        return INT_MIN;
    return static_cast<int>(difference);
}
