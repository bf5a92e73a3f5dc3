// The network share monitor on a real thread against the Wine registry. A fresh prefix has
// no HKCU\Network, so the tests create it first.
#include "monitors/ShareMonitor.h"
#include "MonitorThreadTest.h"

namespace {
const std::string kNetwork = "Network";
const char* kDrives[] = {"Z", "Y"};

void CleanUp() {
    for (const char* d : kDrives)
        RegDeleteTreeAt(HKEY_CURRENT_USER, kNetwork + "\\" + d);
}

RecordedEvent Share(int kind, const std::string& drive, const std::string& remotePath) {
    return {"Share Resource", kind, drive, remotePath};
}

void MapDrive(const char* drive, const std::string& remotePath) {
    RegSetString(HKEY_CURRENT_USER, kNetwork + "\\" + drive, "RemotePath", remotePath);
}

class ShareMonitor : public MonitorThreadTest {
  protected:
    void SetUp() override {
        CleanUp();
        RegCreateKeyAt(HKEY_CURRENT_USER, kNetwork);
    }
    void TearDown() override {
        Stop();
        CleanUp();
    }
};
} // namespace

TEST_F(ShareMonitor, MappedAndRemovedDrive) {
    Start(MonitorShareDriveProc);
    MapDrive("Z", "\\\\server\\share");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Share(EVENT_NEW, "Z", "\\\\server\\share"), ev[0]);

    RegDeleteTreeAt(HKEY_CURRENT_USER, kNetwork + "\\Z");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Share(EVENT_DELETED, "Z", "\\\\server\\share"), ev[0]);
}

TEST_F(ShareMonitor, RemotePathRewriteShowsAtTheNextMappingAddedOrRemoved) {
    MapDrive("Z", "\\\\server\\share");
    Start(MonitorShareDriveProc);
    MapDrive("Z", "\\\\other\\share");
    EXPECT_TRUE(Quiet().empty());

    MapDrive("Y", "\\\\server\\docs");
    auto ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Share(EVENT_NEW, "Y", "\\\\server\\docs"), ev[0]);
    EXPECT_EQ(Share(EVENT_CHANGED, "Z", "\\\\other\\share"), ev[1]);
}

TEST_F(ShareMonitor, NoNetworkKeyEndsTheMonitorSilently) {
    CMessageBoxRecorder boxes;
    RegDeleteTreeAt(HKEY_CURRENT_USER, kNetwork);
    EXPECT_EQ(0u, MonitorShareDriveProc(static_cast<IMonitorHost*>(&host))); // returns instead of waiting
    EXPECT_FALSE(host.WaitForReady(1, 0));
    EXPECT_TRUE(boxes.Texts().empty());
}
