// The install monitor: one item per entry of the uninstall list, its text
// "DisplayName v DisplayVersion".
#pragma once
#include <windows.h>

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorInstallProc(LPVOID param);
