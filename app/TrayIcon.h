// The window's icon in the notification area. It remembers the frame it shows, so that the
// icon put back after the shell restarted (TaskbarCreated) blinks on where it was.
#pragma once
#include <windows.h>

#include <shellapi.h>

class CTrayIcon {
public:
    // The window that gets the icon's mouse messages (WM_TRAY_NOTIFY).
    void SetOwner(HWND owner) { m_owner = owner; }
    BOOL Add() { return Notify(NIM_ADD); }
    // Shows another frame of the icon.
    BOOL ShowFrame(UINT iconResource);
    BOOL Remove() { return Notify(NIM_DELETE); }
    // A balloon over the icon, for news the user should get while the window is hidden;
    // `quiet` keeps the shell from playing its sound.
    BOOL ShowBalloon(const char* text, const char* title = "Kestrow", bool quiet = false);

    // Sent to every top-level window when the shell (re)creates the task bar.
    static UINT TaskbarCreatedMessage();

    // Sees every icon and balloon handed to the shell, on the window's thread: the notification
    // area gives none of them back.
    static inline void (*s_onNotify)(UINT icon, const char* balloon, const char* title, bool quiet) = nullptr;

private:
    BOOL Notify(DWORD command, const char* balloon = nullptr, const char* title = nullptr,
                bool quiet = false);

    HWND m_owner = nullptr;
    UINT m_icon = 0; // 0: the program's icon
};
