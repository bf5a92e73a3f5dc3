#include "RowMenu.h"
#include "../res/resource.h"
#include <windowsx.h>

namespace {
// Where a menu asked for from the keyboard opens: below the focused row's start, or at the
// list's corner.
POINT KeyboardMenuPoint(const CEventList& list) {
    POINT at{2, 2};
    int row = list.GetNextItem(-1, LVNI_FOCUSED);
    RECT rc{};
    rc.left = LVIR_LABEL;
    if (row >= 0 && list.SendMessage(LVM_GETITEMRECT, row, (LPARAM)&rc))
        at = {rc.left + 2, rc.bottom};
    ::ClientToScreen(list.m_hWnd, &at);
    return at;
}
} // namespace

bool CRowMenu::Track(HWND owner, const CEventList& list, WPARAM wp, LPARAM lp) {
    if (reinterpret_cast<HWND>(wp) != list.m_hWnd)
        return false;
    POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    if (lp == -1)
        at = KeyboardMenuPoint(list);
    HMENU menu = ::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ROW_MENU));
    HMENU popup = menu ? ::GetSubMenu(menu, 0) : nullptr;
    if (!popup)
        return true;
    // Every item acts on the selected rows; the items the program cannot do yet stay grey.
    bool selected = list.GetNextItem(-1, LVNI_SELECTED) != -1;
    for (int i = 0, n = ::GetMenuItemCount(popup); i < n; ++i) {
        UINT id = ::GetMenuItemID(popup, i);
        if (id != 0 && id != UINT(-1) && (!selected || !m_actions.count(id)))
            ::EnableMenuItem(popup, i, MF_BYPOSITION | MF_GRAYED);
    }
    UINT chosen = ::TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
    ::DestroyMenu(menu);
    if (chosen && m_actions.count(chosen))
        m_actions[chosen]();
    return true;
}
