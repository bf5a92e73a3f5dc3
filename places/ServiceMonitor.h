// The service monitor: one item per service key, its text the service's ImagePath. Also the
// start-up clean-up of empty ImagePath values.
#pragma once
#include <windows.h>

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorServiceProc(LPVOID param);

// Deletes every service's empty ImagePath value. Run once, before the first monitor starts.
void CleanEmptyImagePaths();
