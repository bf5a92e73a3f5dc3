// RESOURCE_LOCK: network
// A wait that fails shows the monitor's own message and ends its thread.
#include "TestSupport.h"
#include "monitors/InstallMonitor.h"
#include "monitors/ServiceMonitor.h"
#include "monitors/ShareMonitor.h"
#include "monitors/WinlogonMonitor.h"
#include <gtest/gtest.h>

namespace {
// A stop event that is no handle at all makes every wait fail.
class CBrokenStopHost : public CRecordingHost {
public:
    HANDLE GetStopEvent() const override { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0xBAD0)); }
};
} // namespace

TEST(MonitorWaitFailure, EachMonitorNamesItselfAndEnds) {
    RegCreateKeyAt(HKEY_CURRENT_USER, "Network");
    const struct {
        UINT (*proc)(LPVOID);
        const char* message;
    } monitors[] = {
        {MonitorServiceProc, "MonitorServiceProc: Failed to wait (6)"},
        {MonitorInstallProc, "MonitorInstallProc: Failed to wait (6)"},
        {MonitorWinlogonProc, "MonitorWinlogonProc: Failed to wait (6)"},
        {MonitorShareDriveProc, "MonitorShareDriveProc: Failed to wait (6)"},
    };
    for (const auto& m : monitors) {
        CBrokenStopHost host;
        EXPECT_EQ(0u, m.proc(static_cast<IMonitorHost*>(&host))); // returns rather than waiting on
        EXPECT_TRUE(host.WaitForReady(1, 0)) << m.message;
        EXPECT_EQ(std::vector<std::string>{m.message}, host.Errors());
    }
}
