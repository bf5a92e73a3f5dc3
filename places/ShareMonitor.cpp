#include "ShareMonitor.h"
#include "../engine/RegistrySource.h"

namespace {
std::string RemotePathText(const CRegistryKey& drive) {
    return drive.ReadText("RemotePath");
}

// The whole subtree, so that a rewritten RemotePath is seen one settle after the write.
const RegistryWatchSettings kNetwork{.category = CATEGORY_SHARES,
                                     .hive = HKEY_CURRENT_USER,
                                     .hiveName = "HKCU",
                                     .path = "Network",
                                     .subtree = true,
                                     .filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                     .read = ReadSubkeyTexts,
                                     .renderSubkey = RemotePathText};
} // namespace

UINT MonitorShareDriveProc(LPVOID param) {
    return RunRegistryMonitor(*static_cast<IMonitorHost*>(param), "MonitorShareDriveProc", {kNetwork});
}
