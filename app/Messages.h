// The main window's private messages and timers.
#pragma once
#include <windows.h>

#define WM_TRAY_NOTIFY (WM_APP + 100)
#define WM_START_HIDDEN (WM_APP + 101)
// A report handed from a monitor thread: LPARAM points at a ReportRequest of the sender.
// The result is 1 when the event was recorded, 0 once the window is closing.
#define WM_REPORT_EVENT (WM_APP + 102)
struct ReportRequest {
    const char* category;
    int kind;
    const char* location;
    const char* details;
    HANDLE done; // when posted: set once the report was handled (or refused)
};

#define IDM_ABOUTBOX 0x0010
#define IDT_ALERT 8008
// Retries appending log lines that could not be written yet.
#define IDT_LOG_RETRY 8009
#define TRAY_ICON_ID 1002
