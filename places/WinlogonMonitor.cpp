#include "WinlogonMonitor.h"
#include "../engine/RegistrySource.h"
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
// REG_SZ values as their text, REG_DWORD values as "%d"; every other type takes no part and
// the enumeration goes on past it.
void ReadWinlogonValues(const CRegistryKey& key, const RegistryWatchSettings&, const ItemVisitor& visit) {
    ForEachValue(key.Get(), [&visit](const std::string& name, DWORD type, const BYTE* data, DWORD size) {
        if (type == REG_SZ) {
            visit(name, ValueText(type, data, size));
        } else if (type == REG_DWORD) {
            // A short number value takes the bytes it has, never the stale rest of the buffer.
            DWORD number = 0;
            std::memcpy(&number, data, std::min<DWORD>(size, sizeof number));
            char text[16];
            std::snprintf(text, sizeof text, "%d", static_cast<int>(number));
            visit(name, text);
        }
    });
}

const RegistryWatchSettings kWinlogon{.category = CATEGORY_WINLOGON,
                                      .hive = HKEY_LOCAL_MACHINE,
                                      .hiveName = "HKLM",
                                      .path = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                      .read = ReadWinlogonValues};
} // namespace

UINT MonitorWinlogonProc(LPVOID param) {
    return RunRegistryMonitor(*static_cast<IMonitorHost*>(param), "MonitorWinlogonProc", {kWinlogon});
}
