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

TEST_F(ShareMonitor, MappingsComeAndGoAndRewritesShowAtOnce) {
    MapDrive("Z", "\\\\server\\share");
    Start(MonitorShareDriveProc);
    MapDrive("Z", "\\\\other\\share");
    EXPECT_EQ(Events{Share(EVENT_CHANGED, "Z", "\\\\other\\share")}, Expect(1));
    MapDrive("Y", "\\\\server\\docs");
    EXPECT_EQ(Events{Share(EVENT_NEW, "Y", "\\\\server\\docs")}, Expect(1));
    RegDeleteTreeAt(HKEY_CURRENT_USER, "Network\\Z");
    EXPECT_EQ(Events{Share(EVENT_DELETED, "Z", "\\\\other\\share")}, Expect(1));
}

// HKCU\Network is missing until the first drive is mapped: watched from HKCU until then.
TEST_F(ShareMonitor, NetworkKeyMadeAfterStartIsWatched) {
    RegDeleteTreeAt(HKEY_CURRENT_USER, "Network");
    Start(MonitorShareDriveProc);
    MapDrive("Y", "\\\\server\\docs");
    EXPECT_EQ(Events{Share(EVENT_NEW, "Y", "\\\\server\\docs")}, Expect(1));
    EXPECT_TRUE(host.Errors().empty());
}
