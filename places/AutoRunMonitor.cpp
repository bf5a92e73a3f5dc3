#include "AutoRunMonitor.h"

namespace {
struct AutoRunRow {
    HKEY hive;
    const char* hiveName;
    const char* path;
    // The location of the row's events: "HIVE/path".
    const char* location;
    // The same key as 32-bit programs see it, where it has such a view.
    const char* location32;
};

#define CURRENT_VERSION "Software\\Microsoft\\Windows\\CurrentVersion\\"
#define WOW64_VERSION "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\"
const AutoRunRow kRows[] = {
    {HKEY_LOCAL_MACHINE, "HKLM", CURRENT_VERSION "Run", "HKLM/" CURRENT_VERSION "Run",
     "HKLM/" WOW64_VERSION "Run"},
    {HKEY_LOCAL_MACHINE, "HKLM", CURRENT_VERSION "RunOnce", "HKLM/" CURRENT_VERSION "RunOnce",
     "HKLM/" WOW64_VERSION "RunOnce"},
    {HKEY_LOCAL_MACHINE, "HKLM", CURRENT_VERSION "RunOnceEx", "HKLM/" CURRENT_VERSION "RunOnceEx",
     "HKLM/" WOW64_VERSION "RunOnceEx"},
    {HKEY_CURRENT_USER, "HKCU", CURRENT_VERSION "Run", "HKCU/" CURRENT_VERSION "Run", nullptr},
    {HKEY_CURRENT_USER, "HKCU", CURRENT_VERSION "RunOnce", "HKCU/" CURRENT_VERSION "RunOnce", nullptr},
};
} // namespace

std::vector<RegistryWatchSettings> AutoRunKeys() {
    std::vector<RegistryWatchSettings> keys;
    for (const AutoRunRow& row : kRows)
        keys.push_back({.category = CATEGORY_AUTORUN,
                        .hive = row.hive,
                        .hiveName = row.hiveName,
                        .path = row.path,
                        .view = row.location32 ? OwnView() : 0,
                        .read = ReadValueTexts,
                        .location = row.location,
                        .detailsWithName = true});
    if (HasOtherView())
        for (size_t i = 0; i < std::size(kRows); ++i)
            if (kRows[i].location32)
                keys.push_back(OtherView(keys[i], kRows[i].location32, ""));
    return keys;
}

UINT MonitorRunKeysProc(LPVOID param) {
    auto& host = *static_cast<IMonitorHost*>(param);
    try {
        std::vector<std::unique_ptr<CWatch>> watches;
        for (const RegistryWatchSettings& settings : AutoRunKeys())
            watches.push_back(MakeRegistryWatch(settings));
        // Its wait-failure message, unlike the other monitors', names no procedure.
        return RunWatchMonitor(host, std::move(watches), "MonitorRunKeysProc", nullptr);
    } catch (...) {
    }
    return 0;
}
