#include "ShareMonitor.h"
#include "RegistryWatch.h"

namespace {
std::string RemotePathText(CRegistryKey& drive) {
    return drive.ReadString("RemotePath").str();
}

// Only mappings coming and going notify: a rewritten RemotePath shows at the next of those.
const RegistryWatchSettings kNetwork{
    HKEY_CURRENT_USER, "HKCU", "Network", FALSE, REG_NOTIFY_CHANGE_NAME, ReadSubkeyTexts, RemotePathText,
};
} // namespace

UINT MonitorShareDriveProc(LPVOID param) {
    return RunRegistryMonitor(static_cast<IMonitorHost*>(param), "MonitorShareDriveProc", kNetwork,
                              &IMonitorHost::ReportShareEvent, "MonitorShareDriveProc: Failed to wait (%d)");
}
