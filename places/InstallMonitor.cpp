#include "InstallMonitor.h"
#include "../engine/RegistrySource.h"

namespace {
// Missing parts stay empty, so an entry with neither value reads " v".
std::string ProductText(const CRegistryKey& entry) {
    return entry.ReadText("DisplayName") + " v" + entry.ReadText("DisplayVersion");
}

#define UNINSTALL_PATH "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
// Any value set anywhere below notifies; only entries whose text differs are reported.
RegistryWatchSettings UninstallKey(HKEY hive, const char* hiveName, const char* suffix) {
    return {.category = CATEGORY_INSTALLS,
            .hive = hive,
            .hiveName = hiveName,
            .path = UNINSTALL_PATH,
            .view = hive == HKEY_LOCAL_MACHINE ? OwnView() : 0,
            .subtree = true,
            .filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
            .read = ReadSubkeyTexts,
            .renderSubkey = ProductText,
            .locationSuffix = suffix};
}
} // namespace

std::vector<RegistryWatchSettings> UninstallKeys() {
    RegistryWatchSettings machine = UninstallKey(HKEY_LOCAL_MACHINE, "HKLM", "");
    std::vector<RegistryWatchSettings> keys{machine};
    if (HasOtherView())
        keys.push_back(OtherView(machine, nullptr, kView32Suffix));
    // Programs installed for the current user only.
    keys.push_back(UninstallKey(HKEY_CURRENT_USER, "HKCU", kPerUserSuffix));
    return keys;
}

UINT MonitorInstallProc(LPVOID param) {
    return RunRegistryMonitor(*static_cast<IMonitorHost*>(param), "MonitorInstallProc", UninstallKeys());
}
