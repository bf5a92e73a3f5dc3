// The Auto Run monitor: the values of the Run family of keys, all in one thread, reported with
// the key as the location ("HKLM/Software\...\Run") and "name=data" as the details.
#pragma once
#include "../engine/RegistrySource.h"
#include <vector>

// The watched keys, in arming order: the machine's Run, RunOnce and RunOnceEx, the user's Run
// and RunOnce, then (on 64-bit Windows) the machine's three in the 32-bit programs' view.
std::vector<RegistryWatchSettings> AutoRunKeys();

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorRunKeysProc(LPVOID param);
