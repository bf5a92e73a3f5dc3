#include "InstallMonitor.h"
#include "RegistryWatch.h"

namespace {
// Missing parts stay empty, so an entry with neither value reads " v".
std::string ProductText(CRegistryKey& entry) {
    return entry.ReadString("DisplayName").str() + " v" + entry.ReadString("DisplayVersion").str();
}

// Any value set anywhere below notifies; only entries whose text differs are reported.
const RegistryWatchSettings kUninstall{
    HKEY_LOCAL_MACHINE,
    "HKLM",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    TRUE,
    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
    ReadSubkeyTexts,
    ProductText,
};
} // namespace

UINT MonitorInstallProc(LPVOID param) {
    return RunRegistryMonitor(static_cast<IMonitorHost*>(param), "MonitorInstallProc", kUninstall,
                              &IMonitorHost::ReportInstallEvent, "MonitorInstallProc: Failed to wait (%d)");
}
