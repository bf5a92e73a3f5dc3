#include "AfxCmn.h"

CString CListCtrl::GetItemText(int row, int col) const {
    // Grow until the text fits: the control cuts silently at the buffer size.
    std::string buf(256, '\0');
    for (;;) {
        LVITEMA it{};
        it.iSubItem = col;
        it.pszText = &buf[0];
        it.cchTextMax = static_cast<int>(buf.size());
        int n = static_cast<int>(SendMessage(LVM_GETITEMTEXTA, row, (LPARAM)&it));
        if (n < static_cast<int>(buf.size()) - 1) {
            buf.resize(n > 0 ? n : 0);
            return CString(std::move(buf));
        }
        buf.assign(buf.size() * 2, '\0');
    }
}
