// The install monitor: one item per entry of the uninstall lists, its text
// "DisplayName v DisplayVersion", the entry's key name as the location.
#pragma once
#include "../engine/RegistrySource.h"
#include <vector>

// After the entry's name: programs installed for the current user only.
const char kPerUserSuffix[] = " (per user)";

// The machine's list, its 32-bit programs' list where there is one, and the user's.
std::vector<RegistryWatchSettings> UninstallKeys();

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorInstallProc(LPVOID param);
