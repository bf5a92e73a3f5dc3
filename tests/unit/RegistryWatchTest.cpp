// The shared registry watch cycle when a watched key is deleted and created again while it
// is watched: on its own scratch keys, then through the real Auto Run and share monitors.
#include "monitors/AutoRunMonitor.h"
#include "monitors/RegistryWatch.h"
#include "monitors/ShareMonitor.h"
#include "MonitorThreadTest.h"
#include <memory>

namespace {
const std::string kRoot = "Software\\KestrowWatchTest";
const std::string kWatched = kRoot + "\\Outer\\Watched";
const std::string kOther = kRoot + "\\Other";

// Two keys in one loop, as the Auto Run monitor has them; location "W/name" or "O/name".
UINT WatchTwoKeys(LPVOID param) {
    auto* host = static_cast<IMonitorHost*>(param);
    static const std::string paths[2] = {kWatched, kOther};
    static const char* const labels[2] = {"W/", "O/"};
    std::vector<std::unique_ptr<CRegistryWatchKey>> keys;
    std::vector<CRegistryWatchKey*> loop;
    for (int i = 0; i < 2; ++i) {
        RegistryWatchSettings settings{HKEY_CURRENT_USER, "HKCU", paths[i].c_str(), FALSE,
                                       REG_NOTIFY_CHANGE_LAST_SET, ReadValueTexts};
        const char* label = labels[i];
        keys.push_back(std::make_unique<CRegistryWatchKey>(
            settings, [host, label](int kind, const std::string& name, const std::string& text) {
                host->ReportEvent("Watch", kind, (label + name).c_str(), text.c_str());
            }));
        if (keys.back()->Arm() != CRegistryWatchKey::Armed)
            return 1;
        keys.back()->TakeFirstSnapshot();
        loop.push_back(keys.back().get());
    }
    host->OnMonitorReady("WatchTwoKeys");
    RunWatchLoop(host, loop.data(), loop.size(), "wait failed (%d)");
    return 0;
}

RecordedEvent Watch(int kind, const std::string& location, const std::string& text) {
    return {"Watch", kind, location, text};
}

class RegistryWatch : public MonitorThreadTest {
protected:
    void SetUp() override {
        RegDeleteTreeAt(HKEY_CURRENT_USER, kRoot);
        RegSetString(HKEY_CURRENT_USER, kWatched, "A", "1");
        RegSetString(HKEY_CURRENT_USER, kWatched, "B", "2");
        RegSetString(HKEY_CURRENT_USER, kOther, "X", "x");
    }
    void TearDown() override {
        Stop();
        RegDeleteTreeAt(HKEY_CURRENT_USER, kRoot);
    }
};
} // namespace

TEST_F(RegistryWatch, DeletedKeyIsReportedAndFollowedWhenItComesBack) {
    Start(WatchTwoKeys);
    RegDeleteTreeAt(HKEY_CURRENT_USER, kWatched);
    auto ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Watch(EVENT_DELETED, "W/A", "1"), ev[0]);
    EXPECT_EQ(Watch(EVENT_DELETED, "W/B", "2"), ev[1]);

    RegSetString(HKEY_CURRENT_USER, kWatched, "A", "1");
    RegSetString(HKEY_CURRENT_USER, kWatched, "C", "3");
    ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Watch(EVENT_NEW, "W/A", "1"), ev[0]);
    EXPECT_EQ(Watch(EVENT_NEW, "W/C", "3"), ev[1]);

    // The key that came back is the one watched now.
    RegSetString(HKEY_CURRENT_USER, kWatched, "C", "4");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Watch(EVENT_CHANGED, "W/C", "4"), ev[0]);

    // The other key of the loop was never disturbed.
    RegSetString(HKEY_CURRENT_USER, kOther, "X", "y");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Watch(EVENT_CHANGED, "O/X", "y"), ev[0]);
}

TEST_F(RegistryWatch, DeletedAndCreatedAgainWithinOneSettle) {
    Start(WatchTwoKeys);
    RegDeleteTreeAt(HKEY_CURRENT_USER, kWatched);
    RegSetString(HKEY_CURRENT_USER, kWatched, "A", "1");
    RegSetString(HKEY_CURRENT_USER, kWatched, "B", "9");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Watch(EVENT_CHANGED, "W/B", "9"), ev[0]);

    RegSetString(HKEY_CURRENT_USER, kWatched, "A", "5");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Watch(EVENT_CHANGED, "W/A", "5"), ev[0]);
}

TEST_F(RegistryWatch, AncestorsRemovedAndCreatedAgainStepByStep) {
    Start(WatchTwoKeys);
    RegDeleteTreeAt(HKEY_CURRENT_USER, kRoot);
    auto ev = Expect(3);
    ASSERT_EQ(3u, ev.size());
    EXPECT_EQ(Watch(EVENT_DELETED, "O/X", "x"), ev[0]);
    EXPECT_EQ(Watch(EVENT_DELETED, "W/A", "1"), ev[1]);
    EXPECT_EQ(Watch(EVENT_DELETED, "W/B", "2"), ev[2]);

    // Each level that comes back moves the watch one level down; none is an event.
    RegCreateKeyAt(HKEY_CURRENT_USER, kRoot);
    EXPECT_TRUE(Quiet().empty());
    RegCreateKeyAt(HKEY_CURRENT_USER, kRoot + "\\Outer");
    RegCreateKeyAt(HKEY_CURRENT_USER, kRoot + "\\Outer\\Sibling");
    EXPECT_TRUE(Quiet().empty());
    RegSetString(HKEY_CURRENT_USER, kWatched, "D", "4");
    RegSetString(HKEY_CURRENT_USER, kOther, "X", "z");
    ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Watch(EVENT_NEW, "O/X", "z"), ev[0]);
    EXPECT_EQ(Watch(EVENT_NEW, "W/D", "4"), ev[1]);

    RegSetString(HKEY_CURRENT_USER, kWatched, "D", "5");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Watch(EVENT_CHANGED, "W/D", "5"), ev[0]);
}

TEST_F(RegistryWatch, SubkeysOfTheParentComingAndGoingAreNoEvents) {
    Start(WatchTwoKeys);
    RegCreateKeyAt(HKEY_CURRENT_USER, kRoot + "\\Outer\\Sibling");
    RegDeleteTreeAt(HKEY_CURRENT_USER, kRoot + "\\Outer\\Sibling");
    RegCreateKeyAt(HKEY_CURRENT_USER, kWatched + "\\Child");
    EXPECT_TRUE(Quiet().empty());
    RegSetString(HKEY_CURRENT_USER, kWatched, "B", "3");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Watch(EVENT_CHANGED, "W/B", "3"), ev[0]);
}

// The real monitors: HKCU's RunOnce (Auto Run) and HKCU\Network (a key right under the hive).
TEST_F(RegistryWatch, RunOnceAndNetworkKeysDeletedAndCreatedAgain) {
    const std::string runOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    RegDeleteTreeAt(HKEY_CURRENT_USER, runOnce);
    RegSetString(HKEY_CURRENT_USER, runOnce, "KT_Gone", "C:\\gone.exe");
    Start(MonitorRunKeysProc);
    RegDeleteTreeAt(HKEY_CURRENT_USER, runOnce);
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ((RecordedEvent{"Auto Run", EVENT_DELETED, "HKCU/" + runOnce, "KT_Gone=C:\\gone.exe"}), ev[0]);
    RegSetString(HKEY_CURRENT_USER, runOnce, "KT_Back", "C:\\back.exe");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ((RecordedEvent{"Auto Run", EVENT_NEW, "HKCU/" + runOnce, "KT_Back=C:\\back.exe"}), ev[0]);
    RegDeleteValueAt(HKEY_CURRENT_USER, runOnce, "KT_Back");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(EVENT_DELETED, ev[0].kind);
    Stop();

    RegDeleteTreeAt(HKEY_CURRENT_USER, "Network");
    RegSetString(HKEY_CURRENT_USER, "Network\\W", "RemotePath", "\\\\old\\share");
    thread = std::thread([this] { MonitorShareDriveProc(static_cast<IMonitorHost*>(&host)); });
    ASSERT_TRUE(host.WaitForReady(2, 10000));
    RegDeleteTreeAt(HKEY_CURRENT_USER, "Network");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ((RecordedEvent{"Share Resource", EVENT_DELETED, "W", "\\\\old\\share"}), ev[0]);
    RegSetString(HKEY_CURRENT_USER, "Network\\V", "RemotePath", "\\\\new\\share");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ((RecordedEvent{"Share Resource", EVENT_NEW, "V", "\\\\new\\share"}), ev[0]);
    RegDeleteTreeAt(HKEY_CURRENT_USER, "Network\\V");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ((RecordedEvent{"Share Resource", EVENT_DELETED, "V", "\\\\new\\share"}), ev[0]);
    RegCreateKeyAt(HKEY_CURRENT_USER, runOnce);
}
