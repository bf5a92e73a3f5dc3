// The main window's layout. Its controls follow the window as it is resized: the list fills the
// space, the heading widens, the buttons keep their place above the bottom edge. The window is
// never made smaller than it was first made. Its place, size and column widths are kept per user
// under HKEY_CURRENT_USER\Software\Kestrow (WindowPlacement "left,top,right,bottom,maximised",
// ColumnWidths "75,80,...") and come back at the next start; a place off every monitor does not.
#pragma once
#include "../ui/EventList.h"
#include <vector>

class CWindowLayout {
public:
    // Once the controls and the list's columns are made: takes the first layout as the one to
    // follow, then restores the saved place and widths.
    void Attach(HWND dialog, CEventList& list);
    // WM_SIZE and WM_GETMINMAXINFO; true when the window need not see the message itself.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void Save() const;

private:
    void Restore();
    void Follow(int width, int height);

    struct Child {
        HWND hwnd;
        RECT first;   // in the first client area
        UINT anchors; // the edges that move with the window's right and bottom edges
    };
    HWND m_hWnd = nullptr;
    CEventList* m_list = nullptr;
    SIZE m_minimum{}, m_firstClient{};
    std::vector<Child> m_children;
};
