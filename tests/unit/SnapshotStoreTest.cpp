// Snapshots kept across runs: the file's round trip, a damaged file set aside, and a first
// reading compared with what the last run saved.
#include "TestSupport.h"
#include "monitors/RegistrySource.h"
#include "monitors/SnapshotStore.h"
#include <gtest/gtest.h>

namespace {
const std::string kKey = "Software\\KestrowTests\\Store";

struct CStoreHost : CRecordingHost {
    CSnapshotStore store;
    CSnapshotStore* GetSnapshotStore() override { return &store; }
};

std::map<std::string, std::string> Items(const CMapStringToString& map) {
    return {map.begin(), map.end()};
}
} // namespace

TEST(SnapshotStore, EveryTextSurvivesTheFileAndADamagedFileIsSetAside) {
    CTempDir dir;
    const std::string path = dir.path + "state";
    std::map<std::string, CMapStringToString> places;
    places["HKCU\\Run"].SetAt("a\tb\\c", "x\ny\r\n\x01");
    places["HKCU\\Run"].SetAt(std::string("nul\0in", 6), "\xD0\x96");
    places["[x]\n"].SetAt("", "");
    std::map<std::string, CMapStringToString> back;
    ASSERT_TRUE(CSnapshotStore::Parse(CSnapshotStore::Format(places), back));
    ASSERT_EQ(places.size(), back.size());
    for (const auto& p : places)
        EXPECT_EQ(Items(p.second), Items(back[p.first])) << p.first;

    const std::string good = CSnapshotStore::Format(places);
    for (const std::string& bad : std::vector<std::string>{
             good.substr(0, good.size() - 6), "Kestrow saved snapshots 2\n[end]\n",
             "Kestrow saved snapshots 1\nno place\tx\n[end]\n", std::string("\xFF\xFE", 2)}) {
        WriteFileBytes(path, bad);
        CSnapshotStore store;
        EXPECT_EQ(CSnapshotStore::Unreadable, store.Load(path)) << bad;
        EXPECT_EQ(bad, ReadFileBytes(path + ".bad"));
        EXPECT_EQ(CSnapshotStore::NoFile, CSnapshotStore().Load(path)) << "the next start is a first run";
    }
}

// A value added and another deleted while the program was not running: one New and one
// Deleted at the start; nothing when reporting is switched off; the file written whole.
TEST(SnapshotStore, FirstReadingIsComparedWithTheLastRunsSnapshot) {
    CTempDir dir;
    RegDeleteTreeAt(HKEY_CURRENT_USER, kKey);
    RegSetString(HKEY_CURRENT_USER, kKey, "Kept", "1");
    RegSetString(HKEY_CURRENT_USER, kKey, "Gone", "2");
    RegistryWatchSettings settings{.category = "Test",
                                   .hive = HKEY_CURRENT_USER,
                                   .hiveName = "HKCU",
                                   .path = kKey.c_str(),
                                   .read = ReadValueTexts};
    auto run = [&](bool report) {
        CStoreHost host;
        EXPECT_NE(CSnapshotStore::Unreadable, host.store.Load(dir.path + "state"));
        host.store.SetReportOffline(report);
        auto watch = MakeRegistryWatch(settings);
        EXPECT_TRUE(watch->Source().Arm(host));
        watch->TakeFirstSnapshot(host);
        EXPECT_TRUE(host.store.Save());
        return host.Events();
    };
    EXPECT_TRUE(run(true).empty()) << "a first run reports nothing";
    RegSetString(HKEY_CURRENT_USER, kKey, "Added", "3");
    RegDeleteValueAt(HKEY_CURRENT_USER, kKey, "Gone");
    EXPECT_EQ((Events{{"Test", EVENT_NEW, "Added", "3"}, {"Test", EVENT_DELETED, "Gone", "2"}}), run(true));
    EXPECT_TRUE(run(true).empty());
    RegSetString(HKEY_CURRENT_USER, kKey, "Off", "4");
    EXPECT_TRUE(run(false).empty());
    EXPECT_TRUE(run(true).empty()) << "switched off, the snapshot was still kept";
    RegDeleteTreeAt(HKEY_CURRENT_USER, kKey);
}
