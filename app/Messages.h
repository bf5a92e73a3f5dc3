// The main window's private messages, timers and tray icon id.
#pragma once
#include <windows.h>

const UINT WM_TRAY_NOTIFY = WM_APP + 100;
const UINT WM_START_HIDDEN = WM_APP + 101;
// WM_APP + 102 is the report channel's (ReportChannel.h).

// A second start asks the running window, found by this property, to come up.
const char* const kMainWindowProp = "Kestrow.MainWindow";
const char* const kShowWindowMessage = "Kestrow.ShowWindow";

const UINT IDM_ABOUTBOX = 0x0010;
const UINT_PTR IDT_ALERT = 8008;
// Retries appending log lines that could not be written yet.
const UINT_PTR IDT_LOG_RETRY = 8009;
// Saves the monitors' snapshots when they changed.
const UINT_PTR IDT_SAVE_SNAPSHOTS = 8010;
// Shows the change balloon held back while one was shown less than a second ago.
const UINT_PTR IDT_BALLOON = 8011;
const UINT TRAY_ICON_ID = 1002;
