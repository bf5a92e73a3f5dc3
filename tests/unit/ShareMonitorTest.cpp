// RESOURCE_LOCK: network
// The network share monitor on a real thread against the Wine registry. A fresh prefix has
// no HKCU\Network, so the tests create it first.
#include "MonitorThreadTest.h"
#include "monitors/ShareMonitor.h"

namespace {
RecordedEvent Share(int kind, const std::string& drive, const std::string& remotePath) {
    return {"Share Resource", kind, drive, remotePath};
}
void MapDrive(const char* drive, const std::string& remotePath) {
    RegSetString(HKEY_CURRENT_USER, std::string("Network\\") + drive, "RemotePath", remotePath);
}

class ShareMonitor : public MonitorThreadTest {
protected:
    void CleanUp() override {
        RegDeleteTreeAt(HKEY_CURRENT_USER, "Network\\Z");
        RegDeleteTreeAt(HKEY_CURRENT_USER, "Network\\Y");
        RegCreateKeyAt(HKEY_CURRENT_USER, "Network");
    }
};
} // namespace

TEST_F(ShareMonitor, MappingsAddedOrRemovedAndRewritesShownWithThem) {
    MapDrive("Z", "\\\\server\\share");
    Start(MonitorShareDriveProc);
    // Only mappings coming and going signal; a path rewritten meanwhile shows with them.
    MapDrive("Z", "\\\\other\\share");
    EXPECT_TRUE(Quiet().empty());
    MapDrive("Y", "\\\\server\\docs");
    EXPECT_EQ((Events{Share(EVENT_NEW, "Y", "\\\\server\\docs"), Share(EVENT_CHANGED, "Z", "\\\\other\\share")}),
              Expect(2));
    RegDeleteTreeAt(HKEY_CURRENT_USER, "Network\\Z");
    EXPECT_EQ(Events{Share(EVENT_DELETED, "Z", "\\\\other\\share")}, Expect(1));
}

TEST_F(ShareMonitor, NoNetworkKeyEndsTheMonitorSilently) {
    CMessageBoxRecorder boxes;
    RegDeleteTreeAt(HKEY_CURRENT_USER, "Network");
    EXPECT_EQ(0u, MonitorShareDriveProc(static_cast<IMonitorHost*>(&host))); // returns instead of waiting
    EXPECT_FALSE(host.WaitForReady(1, 0));
    EXPECT_TRUE(boxes.Texts().empty());
}
