// The roster: every monitor of the program, in start order.
#include "FileAssociationMonitor.h"
#include "Places.h"
#include "StartupMonitor.h"
#include "TaskMonitor.h"
#include <cstring>

namespace {
UINT RunServicePlaces(IMonitorHost& host, const MonitorRow& row, CSnapshotStore* store) {
    CleanEmptyImagePaths(); // before the first reading, so that it is clean
    return RunPlaces(host, row, store);
}

// The rows of light readings share loops (PlaceWatches); COM, the file associations, the
// services, the installs, the tasks' poll and the Startup folders keep threads of their own.
const std::vector<MonitorRow> kRoster = {
    {"MonitorRunKeysProc", CATEGORY_AUTORUN, RunPlaces, true, PlaceWatches},
    {"MonitorServiceProc", CATEGORY_SERVICE, RunServicePlaces},
    {"MonitorStartProc", CATEGORY_AUTOSTART,
     [](IMonitorHost& host, const MonitorRow&, CSnapshotStore* store) {
         return RunStartPlaces(host, store);
     }},
    {"MonitorInstallProc", CATEGORY_INSTALLS, RunPlaces},
    {"MonitorCOMProc", CATEGORY_COM, RunPlaces},
    {"MonitorWinlogonProc", CATEGORY_WINLOGON, RunPlaces, false, PlaceWatches},
    {"MonitorTaskSchedulerProc", CATEGORY_TASKS,
     [](IMonitorHost& host, const MonitorRow&, CSnapshotStore* store) {
         return RunTaskMonitor(host, kTaskPollPeriod, nullptr, store);
     }},
    {"MonitorShareDriveProc", CATEGORY_SHARES, RunPlaces, false, PlaceWatches},
    {"MonitorFileAssociationProc", CATEGORY_FILEASSOC,
     [](IMonitorHost& host, const MonitorRow&, CSnapshotStore* store) {
         return RunFileAssociationMonitor(host, HKEY_CLASSES_ROOT, store);
     }},
    {"MonitorStartupApprovedProc", CATEGORY_STARTUP_APPROVED, RunPlaces, false, PlaceWatches},
    {"MonitorBootExecuteProc", CATEGORY_BOOT_EXECUTE, RunPlaces, false, PlaceWatches},
    {"MonitorImageHijacksProc", CATEGORY_IMAGE_HIJACKS, RunPlaces, false, PlaceWatches},
    {"MonitorAppInitProc", CATEGORY_APPINIT, RunPlaces, false, PlaceWatches},
    {"MonitorLsaProc", CATEGORY_LSA, RunPlaces, false, PlaceWatches},
    {"MonitorPrintMonitorsProc", CATEGORY_PRINT_MONITORS, RunPlaces, false, PlaceWatches},
    {"MonitorNetworkProvidersProc", CATEGORY_NETWORK_PROVIDERS, RunPlaces, false, PlaceWatches},
    {"MonitorActiveSetupProc", CATEGORY_ACTIVE_SETUP, RunPlaces, false, PlaceWatches},
    {"MonitorLogonScriptsProc", CATEGORY_LOGON_SCRIPTS, RunPlaces, false, PlaceWatches},
    {"MonitorExplorerAddonsProc", CATEGORY_EXPLORER_ADDONS, RunPlaces, false, PlaceWatches},
    {"MonitorScreensaverProc", CATEGORY_SCREENSAVER, RunPlaces, false, PlaceWatches},
    {"MonitorOfficeAddinsProc", CATEGORY_OFFICE_ADDINS, RunPlaces, false, PlaceWatches},
    {"MonitorTerminalServerProc", CATEGORY_TERMINAL_SERVER, RunPlaces, false, PlaceWatches},
    {"MonitorSafeBootProc", CATEGORY_SAFE_BOOT, RunPlaces, false, PlaceWatches},
};
} // namespace

const std::vector<MonitorRow>& Roster() {
    return kRoster;
}

const MonitorRow* FindMonitor(const char* name) {
    for (const MonitorRow& row : kRoster)
        if (std::strcmp(row.name, name) == 0)
            return &row;
    return nullptr;
}
