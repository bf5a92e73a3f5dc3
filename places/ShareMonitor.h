// The network share monitor: one item per mapped drive recorded under HKCU\Network, its text
// the drive's RemotePath.
#pragma once
#include <windows.h>

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorShareDriveProc(LPVOID param);
