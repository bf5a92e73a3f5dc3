#include "stListCtrl.h"

void stListCtrl::SetFullRowSelect() {
    LONG_PTR style = ::GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, style | LVS_SHOWSELALWAYS);
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_FULLROWSELECT);
}
