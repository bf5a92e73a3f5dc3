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

const std::vector<MonitorRow> kRoster = {
    {"MonitorRunKeysProc", CATEGORY_AUTORUN, RunPlaces, true},
    {"MonitorServiceProc", CATEGORY_SERVICE, RunServicePlaces},
    {"MonitorStartProc", CATEGORY_AUTOSTART,
     [](IMonitorHost& host, const MonitorRow&, CSnapshotStore* store) {
         return RunStartPlaces(host, store);
     }},
    {"MonitorInstallProc", CATEGORY_INSTALLS, RunPlaces},
    {"MonitorCOMProc", CATEGORY_COM, RunPlaces},
    {"MonitorWinlogonProc", CATEGORY_WINLOGON, RunPlaces},
    {"MonitorTaskSchedulerProc", CATEGORY_TASKS,
     [](IMonitorHost& host, const MonitorRow&, CSnapshotStore* store) {
         return RunTaskMonitor(host, kTaskPollPeriod, nullptr, store);
     }},
    {"MonitorShareDriveProc", CATEGORY_SHARES, RunPlaces},
    {"MonitorFileAssociationProc", CATEGORY_FILEASSOC,
     [](IMonitorHost& host, const MonitorRow&, CSnapshotStore* store) {
         return RunFileAssociationMonitor(host, HKEY_CLASSES_ROOT, store);
     }},
    {"MonitorStartupApprovedProc", CATEGORY_STARTUP_APPROVED, RunPlaces},
    {"MonitorBootExecuteProc", CATEGORY_BOOT_EXECUTE, RunPlaces},
    {"MonitorImageHijacksProc", CATEGORY_IMAGE_HIJACKS, RunPlaces},
    {"MonitorAppInitProc", CATEGORY_APPINIT, RunPlaces},
    {"MonitorLsaProc", CATEGORY_LSA, RunPlaces},
    {"MonitorPrintMonitorsProc", CATEGORY_PRINT_MONITORS, RunPlaces},
    {"MonitorNetworkProvidersProc", CATEGORY_NETWORK_PROVIDERS, RunPlaces},
    {"MonitorActiveSetupProc", CATEGORY_ACTIVE_SETUP, RunPlaces},
    {"MonitorLogonScriptsProc", CATEGORY_LOGON_SCRIPTS, RunPlaces},
    {"MonitorExplorerAddonsProc", CATEGORY_EXPLORER_ADDONS, RunPlaces},
    {"MonitorScreensaverProc", CATEGORY_SCREENSAVER, RunPlaces},
    {"MonitorOfficeAddinsProc", CATEGORY_OFFICE_ADDINS, RunPlaces},
    {"MonitorTerminalServerProc", CATEGORY_TERMINAL_SERVER, RunPlaces},
    {"MonitorSafeBootProc", CATEGORY_SAFE_BOOT, RunPlaces},
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
