#include "AutoRunMonitor.h"
#include "RegistryWatch.h"
#include <memory>
#include <vector>

const AutoRunKey g_autoRunKeys[] = {
    {HKEY_LOCAL_MACHINE, "HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, "HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, "HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {HKEY_CURRENT_USER, "HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, "HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {nullptr, nullptr, nullptr},
};

UINT MonitorRunKeysProc(LPVOID param) {
    auto* host = static_cast<IMonitorHost*>(param);
    try {
        std::vector<std::unique_ptr<CRegistryWatchKey>> armed;
        for (const AutoRunKey* row = g_autoRunKeys; row->path; ++row) {
            RegistryWatchSettings settings{row->hive, row->hiveName, row->path, FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                           ReadValueTexts};
            auto key = std::make_unique<CRegistryWatchKey>(
                settings, [host, row](int kind, const std::string& name, const std::string& text) {
                    host->ReportAutoRunEvent(row, kind, name.c_str(), text.c_str());
                });
            // A missing key is skipped silently; one that cannot be armed was already shown.
            if (key->Arm() != CRegistryWatchKey::Armed)
                continue;
            key->TakeFirstSnapshot();
            armed.push_back(std::move(key));
        }
        if (armed.empty())
            return 0;
        host->OnMonitorReady("MonitorRunKeysProc");
        std::vector<CRegistryWatchKey*> keys;
        for (auto& k : armed)
            keys.push_back(k.get());
        RunWatchLoop(host, keys.data(), keys.size(), "Failed to wait (%d)");
    } catch (...) {
    }
    return 0;
}
