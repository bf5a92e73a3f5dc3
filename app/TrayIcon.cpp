#include "TrayIcon.h"
#include "../framework/AfxHandle.h"
#include "../res/resource.h"
#include "Messages.h"
#include <shellapi.h>

UINT CTrayIcon::TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageA("TaskbarCreated");
    return message;
}

BOOL CTrayIcon::ShowFrame(UINT iconResource) {
    m_icon = iconResource;
    return Notify(NIM_MODIFY);
}

BOOL CTrayIcon::ShowBalloon(const char* text, const char* title, bool quiet) {
    return Notify(NIM_MODIFY, text, title, quiet);
}

BOOL CTrayIcon::Notify(DWORD command, const char* balloon, const char* title, bool quiet) {
    NOTIFYICONDATAA nid{};
    // The balloon needs the version 2 layout; everything else works with the first.
    nid.cbSize = balloon ? NOTIFYICONDATAA_V2_SIZE : NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = m_owner;
    nid.uID = TRAY_ICON_ID;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAY_NOTIFY;
    UINT icon = m_icon ? m_icon : IDR_MAINFRAME;
    if (s_onNotify)
        s_onNotify(icon, balloon, title ? title : "Kestrow", quiet);
    CIconHandle loaded(static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(icon),
                                                       IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    nid.hIcon = loaded.Get();
    lstrcpynA(nid.szTip, "Kestrow", sizeof nid.szTip);
    if (balloon) {
        nid.uFlags |= NIF_INFO;
        nid.dwInfoFlags = NIIF_INFO | (quiet ? NIIF_NOSOUND : 0);
        lstrcpynA(nid.szInfoTitle, title ? title : "Kestrow", sizeof nid.szInfoTitle);
        lstrcpynA(nid.szInfo, balloon, sizeof nid.szInfo);
    }
    return ::Shell_NotifyIconA(command, &nid);
}
