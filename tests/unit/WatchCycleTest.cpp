// The shared watch cycle on scratch keys: a change made while a key is read, a watched key
// deleted and created again while it is watched, and a key missing at start.
#include "MonitorThreadTest.h"
#include "monitors/RegistrySource.h"
#include <atomic>
#include <memory>

namespace {
const std::string kRoot = "Software\\KestrowWatchTest";
const std::string kWatched = kRoot + "\\Outer\\Watched";
const std::string kOther = kRoot + "\\Other";

// Set by a test: the next reading writes one more value behind its own back, as a change made
// while the key is being compared.
std::atomic<bool> g_writeWhileReading{false};
void ReadThenWrite(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit) {
    ReadValueTexts(key, settings, visit);
    if (g_writeWhileReading.exchange(false))
        RegSetString(HKEY_CURRENT_USER, settings.path, "Late", "1");
}

// Two keys in one loop, as the Auto Run monitor has them; location "W/name" or "O/name".
UINT WatchTwoKeys(LPVOID param) {
    auto* host = static_cast<IMonitorHost*>(param);
    static const std::string paths[2] = {kWatched, kOther};
    static const char* const labels[2] = {"W/", "O/"};
    std::vector<std::unique_ptr<CWatch>> watches;
    for (int i = 0; i < 2; ++i) {
        RegistryWatchSettings settings{.category = "Watch",
                                       .hive = HKEY_CURRENT_USER,
                                       .hiveName = "HKCU",
                                       .path = paths[i].c_str(),
                                       .read = ReadThenWrite};
        std::string label = labels[i];
        watches.push_back(std::make_unique<CWatch>(std::make_unique<CRegistrySource>(settings), "Watch",
                                                   [label](const std::string& name, const std::string& text,
                                                           std::string& location, std::string& details) {
                                                       location = label + name;
                                                       details = text;
                                                   }));
    }
    return RunWatchMonitor(*host, std::move(watches), "WatchTwoKeys", "WatchTwoKeys");
}

RecordedEvent Watch(int kind, const std::string& location, const std::string& text) {
    return {"Watch", kind, location, text};
}

class WatchCycle : public MonitorThreadTest {
protected:
    void Begin(bool watchedThere = true) {
        if (watchedThere) {
            RegSetString(HKEY_CURRENT_USER, kWatched, "A", "1");
            RegSetString(HKEY_CURRENT_USER, kWatched, "B", "2");
        }
        RegSetString(HKEY_CURRENT_USER, kOther, "X", "x");
        Start(WatchTwoKeys);
    }
    void CleanUp() override {
        g_writeWhileReading = false;
        RegDeleteTreeAt(HKEY_CURRENT_USER, kRoot);
    }
};
} // namespace

TEST_F(WatchCycle, ChangeMadeWhileTheKeyIsReadIsNotLost) {
    Begin();
    g_writeWhileReading = true;
    RegSetString(HKEY_CURRENT_USER, kWatched, "A", "5");
    EXPECT_EQ((Events{Watch(EVENT_CHANGED, "W/A", "5"), Watch(EVENT_NEW, "W/Late", "1")}), Expect(2));
}

TEST_F(WatchCycle, DeletedKeyIsReportedAndFollowedWhenItComesBack) {
    Begin();
    // Subkeys of the parent, or of the key, coming and going are no events.
    RegCreateKeyAt(HKEY_CURRENT_USER, kRoot + "\\Outer\\Sibling");
    RegDeleteTreeAt(HKEY_CURRENT_USER, kRoot + "\\Outer\\Sibling");
    RegCreateKeyAt(HKEY_CURRENT_USER, kWatched + "\\Child");
    EXPECT_TRUE(Quiet().empty());

    RegDeleteTreeAt(HKEY_CURRENT_USER, kWatched);
    EXPECT_EQ((Events{Watch(EVENT_DELETED, "W/A", "1"), Watch(EVENT_DELETED, "W/B", "2")}), Expect(2));
    RegSetString(HKEY_CURRENT_USER, kWatched, "A", "1");
    RegSetString(HKEY_CURRENT_USER, kWatched, "C", "3");
    EXPECT_EQ((Events{Watch(EVENT_NEW, "W/A", "1"), Watch(EVENT_NEW, "W/C", "3")}), Expect(2));

    // The key that came back is the one watched now; the other key of the loop was never disturbed.
    RegSetString(HKEY_CURRENT_USER, kWatched, "C", "4");
    RegSetString(HKEY_CURRENT_USER, kOther, "X", "y");
    EXPECT_EQ((Events{Watch(EVENT_CHANGED, "O/X", "y"), Watch(EVENT_CHANGED, "W/C", "4")}), Expect(2));

    // Deleted and created again within one settle: only what differs, and still watched.
    RegDeleteTreeAt(HKEY_CURRENT_USER, kWatched);
    RegSetString(HKEY_CURRENT_USER, kWatched, "A", "1");
    RegSetString(HKEY_CURRENT_USER, kWatched, "C", "9");
    EXPECT_EQ(Events{Watch(EVENT_CHANGED, "W/C", "9")}, Expect(1));
    RegSetString(HKEY_CURRENT_USER, kWatched, "A", "5");
    EXPECT_EQ(Events{Watch(EVENT_CHANGED, "W/A", "5")}, Expect(1));
}

TEST_F(WatchCycle, AncestorsRemovedAndCreatedAgainStepByStep) {
    Begin();
    RegDeleteTreeAt(HKEY_CURRENT_USER, kRoot);
    EXPECT_EQ((Events{Watch(EVENT_DELETED, "O/X", "x"), Watch(EVENT_DELETED, "W/A", "1"),
                      Watch(EVENT_DELETED, "W/B", "2")}),
              Expect(3));

    // Each level that comes back moves the watch one level down; none is an event.
    RegCreateKeyAt(HKEY_CURRENT_USER, kRoot);
    EXPECT_TRUE(Quiet().empty());
    RegCreateKeyAt(HKEY_CURRENT_USER, kRoot + "\\Outer");
    RegCreateKeyAt(HKEY_CURRENT_USER, kRoot + "\\Outer\\Sibling");
    EXPECT_TRUE(Quiet().empty());
    RegSetString(HKEY_CURRENT_USER, kWatched, "D", "4");
    RegSetString(HKEY_CURRENT_USER, kOther, "X", "z");
    EXPECT_EQ((Events{Watch(EVENT_NEW, "O/X", "z"), Watch(EVENT_NEW, "W/D", "4")}), Expect(2));

    RegSetString(HKEY_CURRENT_USER, kWatched, "D", "5");
    EXPECT_EQ(Events{Watch(EVENT_CHANGED, "W/D", "5")}, Expect(1));
}

// A key missing at start is watched from its nearest existing ancestor and reported when it appears.
TEST_F(WatchCycle, KeyMissingAtStartIsReportedWhenItAppears) {
    Begin(false);
    RegSetString(HKEY_CURRENT_USER, kWatched, "A", "1");
    EXPECT_EQ(Events{Watch(EVENT_NEW, "W/A", "1")}, Expect(1));
    RegSetString(HKEY_CURRENT_USER, kWatched, "A", "2");
    EXPECT_EQ(Events{Watch(EVENT_CHANGED, "W/A", "2")}, Expect(1));
}
