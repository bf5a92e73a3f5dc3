#include "WinlogonMonitor.h"
#include "RegistryWatch.h"
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
// REG_SZ values as their text, REG_DWORD values as "%d"; every other type takes no part and
// the enumeration goes on past it.
void ReadWinlogonValues(HKEY key, const RegistryWatchSettings&, const ItemVisitor& visit) {
    RegValue value;
    for (DWORD i = 0; EnumValue(key, i, value) == ERROR_SUCCESS; ++i) {
        if (value.type == REG_SZ) {
            visit(value.WholeName(), value.Text());
        } else if (value.type == REG_DWORD) {
            // A short number value takes the bytes it has, never the stale rest of the buffer.
            DWORD number = 0;
            std::memcpy(&number, value.data, std::min<DWORD>(value.size, sizeof number));
            char text[16];
            std::snprintf(text, sizeof text, "%d", static_cast<int>(number));
            visit(value.WholeName(), text);
        }
    }
}

const RegistryWatchSettings kWinlogon{
    HKEY_LOCAL_MACHINE,
    "HKLM",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
    FALSE,
    REG_NOTIFY_CHANGE_LAST_SET,
    ReadWinlogonValues,
};
} // namespace

UINT MonitorWinlogonProc(LPVOID param) {
    return RunRegistryMonitor(static_cast<IMonitorHost*>(param), "MonitorWinlogonProc", kWinlogon,
                              &IMonitorHost::ReportWinlogonEvent, "MonitorWinlogonProc: Failed to wait (%d)");
}
