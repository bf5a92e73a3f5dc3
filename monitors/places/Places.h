// What Kestrow watches: the roster of its monitors, and the registry and folder places as rows
// of tables. A new place in an existing category is one row of kRegistryPlaces or kFolderPlaces;
// a new category is one roster row, its text here, and its place rows.
#pragma once
#include "../engine/FolderSource.h"
#include "../engine/MonitorSet.h"
#include "../engine/RegistrySource.h"
#include <vector>

// Category texts of the monitors that are not only registry places are in engine/Event.h.
#define CATEGORY_STARTUP_APPROVED "Startup Approved"
#define CATEGORY_BOOT_EXECUTE "Boot Execute"
#define CATEGORY_IMAGE_HIJACKS "Image Hijacks"
#define CATEGORY_APPINIT "AppInit"
#define CATEGORY_LSA "LSA Providers"
#define CATEGORY_PRINT_MONITORS "Print Monitors"
#define CATEGORY_NETWORK_PROVIDERS "Network Providers"
#define CATEGORY_ACTIVE_SETUP "Active Setup"
#define CATEGORY_LOGON_SCRIPTS "Logon Scripts"
#define CATEGORY_EXPLORER_ADDONS "Explorer Add-ons"
#define CATEGORY_SCREENSAVER "Screensaver"
#define CATEGORY_OFFICE_ADDINS "Office Add-ins"
#define CATEGORY_TERMINAL_SERVER "Terminal Server"
#define CATEGORY_SAFE_BOOT "Safe Boot"

// Every monitor, in start order.
const std::vector<MonitorRow>& Roster();
// The roster's row of that name; null when there is none.
const MonitorRow* FindMonitor(const char* name);

// Every registry place, in table order.
const std::vector<RegistryPlace>& RegistryPlaces();
// The watches of the category's registry places, each in its views, in table order.
std::vector<RegistryWatchSettings> RegistryPlacesOf(const char* category);

// One folder place: one row of the folder table.
struct FolderPlace {
    const char* category;
    // "%APPDATA%\Microsoft\Word\STARTUP"; environment variables are expanded as the monitor starts.
    const char* folder;
    // Files: location the folder, details the entry's name. Stamps and HashedStamps: location the
    // file's path, details its stamp.
    FolderItemKind items;
    const char* names = nullptr; // see FolderWatchSettings
};
const std::vector<FolderPlace>& FolderPlaces();
// A place's folder in the code page, as the folder source takes it; empty when its variable is
// not set or it does not fit a path.
std::string ExpandFolder(const char* folder);
// The watches of the category's folder places, in table order.
std::vector<std::unique_ptr<CWatch>> FolderWatchesOf(const char* category);
// The watches of the row's registry and folder places, in table order.
std::vector<std::unique_ptr<CWatch>> PlaceWatches(const MonitorRow& row);
// A monitor of the row's registry and folder places, in a loop of its own.
UINT RunPlaces(IMonitorHost& host, const MonitorRow& row, CSnapshotStore* store);

// Readers of the places that read more than values.
void ReadWinlogonValues(const CRegistryKey& key, const RegistryWatchSettings&, const ItemVisitor& visit);
void ReadProducts(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit);
void ReadApprovals(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit);

// Service entries whose ImagePath is empty lose it before the first reading.
void CleanEmptyImagePaths();
