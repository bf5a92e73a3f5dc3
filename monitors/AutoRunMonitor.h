// The Auto Run monitor: the values of the Run family of keys, all in one thread.
#pragma once
#include <windows.h>

struct AutoRunKey {
    HKEY hive;
    const char* hiveName; // "HKLM" or "HKCU": messages and the report's location
    const char* path;     // null ends the table
};

// The watched keys, in arming order, ended by a row with a null path.
extern const AutoRunKey g_autoRunKeys[];

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorRunKeysProc(LPVOID param);
