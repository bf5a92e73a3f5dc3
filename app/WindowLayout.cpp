#include "WindowLayout.h"
#include "../res/resource.h"
#include "Preferences.h"

namespace {
const char* const kPlacementValue = "WindowPlacement";
const char* const kColumnWidthsValue = "ColumnWidths";

enum : UINT { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8 };
// Each control of the main window with the edges that follow the window's right and bottom.
const struct {
    int id;
    UINT anchors;
} kAnchors[] = {
    {IDC_LIST, kRight | kBottom},  {IDC_NOTICE, kRight},          {IDC_NOTICE_ICON, kLeft | kRight},
    {IDOK, kTop | kBottom},        {IDCANCEL, kTop | kBottom},    {IDC_ACKNOWLEDGE, kTop | kBottom},
    {IDC_VIEWLOG, kTop | kBottom}, {IDC_OPTIONS, kTop | kBottom},
};
} // namespace

void CWindowLayout::Attach(HWND dialog, CEventList& list) {
    m_hWnd = dialog;
    m_list = &list;
    RECT window, client;
    ::GetWindowRect(dialog, &window);
    ::GetClientRect(dialog, &client);
    m_minimum = {window.right - window.left, window.bottom - window.top};
    m_firstClient = {client.right, client.bottom};
    for (const auto& a : kAnchors) {
        Child child{::GetDlgItem(dialog, a.id), {}, a.anchors};
        if (!child.hwnd)
            continue;
        ::GetWindowRect(child.hwnd, &child.first);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&child.first), 2);
        m_children.push_back(child);
    }
    Restore();
}

bool CWindowLayout::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SIZE && m_hWnd && wp != SIZE_MINIMIZED)
        Follow(LOWORD(lp), HIWORD(lp));
    if (msg != WM_GETMINMAXINFO || !m_hWnd)
        return false;
    auto* info = reinterpret_cast<MINMAXINFO*>(lp);
    info->ptMinTrackSize = {m_minimum.cx, m_minimum.cy};
    return true;
}

void CWindowLayout::Follow(int width, int height) {
    int dx = width - m_firstClient.cx, dy = height - m_firstClient.cy;
    HDWP defer = ::BeginDeferWindowPos(static_cast<int>(m_children.size()));
    for (const Child& c : m_children) {
        RECT rc = c.first;
        rc.left += c.anchors & kLeft ? dx : 0;
        rc.top += c.anchors & kTop ? dy : 0;
        rc.right += c.anchors & kRight ? dx : 0;
        rc.bottom += c.anchors & kBottom ? dy : 0;
        if (defer)
            defer = ::DeferWindowPos(defer, c.hwnd, nullptr, rc.left, rc.top, rc.right - rc.left,
                                     rc.bottom - rc.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (defer)
        ::EndDeferWindowPos(defer);
    // The heading centres its text: drawn again whole, not only where it grew.
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CWindowLayout::Restore() {
    m_list->SetColumnWidths(ReadNumbers(kColumnWidthsValue));
    std::vector<int> saved = ReadNumbers(kPlacementValue);
    if (saved.size() != 5)
        return;
    RECT rc{saved[0], saved[1], saved[2], saved[3]};
    if (rc.right - rc.left < m_minimum.cx || rc.bottom - rc.top < m_minimum.cy ||
        !::MonitorFromRect(&rc, MONITOR_DEFAULTTONULL))
        return;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    ::GetWindowPlacement(m_hWnd, &placement);
    placement.rcNormalPosition = rc;
    placement.showCmd = saved[4] ? SW_SHOWMAXIMIZED : SW_HIDE;
    ::SetWindowPlacement(m_hWnd, &placement);
}

void CWindowLayout::Save() const {
    if (!m_hWnd)
        return;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!::GetWindowPlacement(m_hWnd, &placement))
        return;
    const RECT& rc = placement.rcNormalPosition;
    bool maximised = ::IsZoomed(m_hWnd) || (::IsIconic(m_hWnd) && (placement.flags & WPF_RESTORETOMAXIMIZED));
    WriteNumbers(kPlacementValue,
                 {int(rc.left), int(rc.top), int(rc.right), int(rc.bottom), maximised ? 1 : 0});
    WriteNumbers(kColumnWidthsValue, m_list->ColumnWidths());
}
