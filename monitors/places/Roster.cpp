// The roster: every monitor of the program, in start order.
#include "FileAssociationMonitor.h"
#include "Places.h"
#include "StartupMonitor.h"
#include "TaskMonitor.h"
#include <cstring>

namespace {
UINT RunServicePlaces(IMonitorHost& host, const MonitorRow& row) {
    CleanEmptyImagePaths(); // before the first reading, so that it is clean
    return RunRegistryPlaces(host, row);
}

const std::vector<MonitorRow> kRoster = {
    {"MonitorRunKeysProc", CATEGORY_AUTORUN, RunRegistryPlaces, true},
    {"MonitorServiceProc", CATEGORY_SERVICE, RunServicePlaces},
    {"MonitorStartProc", CATEGORY_AUTOSTART,
     [](IMonitorHost& host, const MonitorRow&) { return MonitorStartProc(&host); }},
    {"MonitorInstallProc", CATEGORY_INSTALLS, RunRegistryPlaces},
    {"MonitorCOMProc", CATEGORY_COM, RunRegistryPlaces},
    {"MonitorWinlogonProc", CATEGORY_WINLOGON, RunRegistryPlaces},
    {"MonitorTaskSchedulerProc", CATEGORY_TASKS,
     [](IMonitorHost& host, const MonitorRow&) { return MonitorTaskSchedulerProc(&host); }},
    {"MonitorShareDriveProc", CATEGORY_SHARES, RunRegistryPlaces},
    {"MonitorFileAssociationProc", CATEGORY_FILEASSOC,
     [](IMonitorHost& host, const MonitorRow&) { return MonitorFileAssociationProc(&host); }},
    {"MonitorStartupApprovedProc", CATEGORY_STARTUP_APPROVED, RunRegistryPlaces},
    {"MonitorBootExecuteProc", CATEGORY_BOOT_EXECUTE, RunRegistryPlaces},
    {"MonitorImageHijacksProc", CATEGORY_IMAGE_HIJACKS, RunRegistryPlaces},
    {"MonitorAppInitProc", CATEGORY_APPINIT, RunRegistryPlaces},
    {"MonitorLsaProc", CATEGORY_LSA, RunRegistryPlaces},
    {"MonitorPrintMonitorsProc", CATEGORY_PRINT_MONITORS, RunRegistryPlaces},
    {"MonitorNetworkProvidersProc", CATEGORY_NETWORK_PROVIDERS, RunRegistryPlaces},
    {"MonitorActiveSetupProc", CATEGORY_ACTIVE_SETUP, RunRegistryPlaces},
    {"MonitorLogonScriptsProc", CATEGORY_LOGON_SCRIPTS, RunRegistryPlaces},
    {"MonitorExplorerAddonsProc", CATEGORY_EXPLORER_ADDONS, RunRegistryPlaces},
    {"MonitorScreensaverProc", CATEGORY_SCREENSAVER, RunRegistryPlaces},
    {"MonitorOfficeAddinsProc", CATEGORY_OFFICE_ADDINS, RunRegistryPlaces},
    {"MonitorTerminalServerProc", CATEGORY_TERMINAL_SERVER, RunRegistryPlaces},
    {"MonitorSafeBootProc", CATEGORY_SAFE_BOOT, RunRegistryPlaces},
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
