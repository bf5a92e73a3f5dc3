// The event list's context menu: the popup IDR_ROW_MENU of the resources, each item bound to
// what it does to the selected rows. A new item is one MENUITEM line in res/Kestrow.rc (its id in
// resource.h) and one Bind call.
#pragma once
#include "../ui/EventList.h"
#include <functional>
#include <map>

class CRowMenu {
public:
    void Bind(UINT id, std::function<void()> action) { m_actions[id] = std::move(action); }

    // For WM_CONTEXTMENU: when it came from `list`, shows the menu at the mouse or, from the
    // keyboard (Shift+F10, the menu key), at the focused row, and runs the item chosen. False
    // for another window's menu.
    bool Track(HWND owner, const CEventList& list, WPARAM wp, LPARAM lp);

private:
    std::map<UINT, std::function<void()>> m_actions;
};
