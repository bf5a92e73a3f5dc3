// The Startup folder monitor: entries added to or removed from the user's and the All Users
// Startup folders, reported as "Auto Start" with the folder's label as the location and the
// entry's name as the details. Never Changed: an entry's text is its name. The registry values
// that name the folders (the category's registry places) are watched in the same loop: a folder
// they move is watched in its new place from then on, the new folder's entries reported New and
// the old one's Deleted (an entry of the same name in both is the same entry and gives nothing).
#pragma once
#include "../engine/MonitorHost.h"

class CSnapshotStore;
#include <windows.h>

const size_t kStartupPathChars = 260;

// The Startup monitor, its snapshots kept in `store`. Watches the Startup folders that the
// shell names, falling back on the profile layout under HOMEDRIVE and HOMEPATH for a folder
// the shell does not name.
UINT RunStartPlaces(IMonitorHost& host, CSnapshotStore* store);

// The two rows' folders: the shell's path where given (non-empty), otherwise
// "%HOMEDRIVE%%HOMEPATH%\Start Menu\Programs\Startup" for the user and the same beside the
// profile, with "All Users" for its last part, for All Users. A variable that cannot be read
// is shown in a message box; a row that cannot be composed (a variable missing or too long
// for its buffer, a HOMEPATH without a backslash for All Users) is left empty.
void ResolveStartupPaths(IMonitorHost& host, const char* shellPersonal, const char* shellAllUsers,
                         char (&personal)[kStartupPathChars], char (&allUsers)[kStartupPathChars]);

// The two folders the monitor watches: the shell's, or else those ResolveStartupPaths composes.
void StartupFolders(IMonitorHost& host, char (&personal)[kStartupPathChars],
                    char (&allUsers)[kStartupPathChars]);

// Watches the two folders, and the values that name them, until the stop event. A folder that is missing is
// watched from its nearest existing ancestor until it appears; one with no path, or that cannot be watched,
// is skipped; with neither watched the monitor ends at once.
UINT RunStartupMonitor(IMonitorHost& host, const char* personal, const char* allUsers,
                       CSnapshotStore* store = nullptr);
