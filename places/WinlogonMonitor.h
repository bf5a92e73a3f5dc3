// The Winlogon monitor: the string and number values of the logon configuration key.
#pragma once
#include <windows.h>

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorWinlogonProc(LPVOID param);
