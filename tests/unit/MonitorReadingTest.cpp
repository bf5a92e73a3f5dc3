// Saved snapshots, what cannot be watched and the Startup folders' paths, without threads.
#include "TestSupport.h"
#include "monitors/places/Places.h"
#include "monitors/places/COMMonitor.h"
#include "monitors/places/FileAssociationMonitor.h"
#include "monitors/engine/SnapshotStore.h"
#include "monitors/places/StartupMonitor.h"
#include <gtest/gtest.h>

// What changed while the program was not running is reported at the next start: names keyed
// whole, texts compared whole, separators and line ends kept through the file; so is what a
// closing window refused. A damaged file is set aside and that start reports nothing.
TEST(MonitorReading, FirstReadingIsComparedWithTheLastRunsSnapshot) {
    CTempDir dir;
    const std::string path = "Software\\KestrowTests\\Saved", key = "HKCU\\" + path + "|", n300(300, 'n'),
                      t2000(2000, 't');
    RegPutAll({key + "Gone\t[x]\\|x\ny\r\n", key + n300 + "1|one", key + "T|" + t2000});
    RegistryWatchSettings settings = UserRunKey(); // the user's Run key, elsewhere
    settings.path = path.c_str(), settings.location = "KT";
    auto run = [&](CSnapshotStore::LoadResult load, bool refuse = false) {
        CRecordingHost host;
        CSnapshotStore store;
        host.m_refuse = refuse;
        EXPECT_EQ(load, store.Load(dir.path + "state"));
        auto watch = MakeRegistryWatch(settings);
        EXPECT_TRUE(watch->Source().Arm(host));
        watch->KeepSnapshotsIn(&store);
        watch->TakeFirstSnapshot(host);
        EXPECT_TRUE(store.Save());
        return Ours(host.Events());
    };
    EXPECT_EQ(Texts{}, run(CSnapshotStore::NoFile));
    RegPutAll({key + "Gone\t[x]\\|"}, true), RegPutAll({key + n300 + "2|two", key + "T|" + t2000 + "!"});
    EXPECT_EQ(Texts{}, run(CSnapshotStore::Loaded, true));
    EXPECT_EQ((Texts{"C|KT|T=" + t2000 + "!", "D|KT|Gone\t[x]\\=x\ny\r\n", "N|KT|" + n300 + "2=two"}),
              run(CSnapshotStore::Loaded));
    std::ofstream(dir.path + "state") << "damaged", RegPutAll({key + "T|"}, true);
    EXPECT_EQ(Texts{}, run(CSnapshotStore::Unreadable));
    EXPECT_EQ("damaged", ReadFileBytes(dir.path + "state.bad"));
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
}

// A place this run did not read (gone, or its monitor not started) keeps what the last run saved.
TEST(MonitorReading, ASaveKeepsThePlacesThisRunDidNotRead) {
    CTempDir dir;
    std::map<std::string, CMapStringToString> places, saved;
    places["A"].SetAt("a", "1"), places["B"].SetAt("b", "2");
    std::ofstream(dir.path + "state", std::ios::binary) << CSnapshotStore::Format(places);
    CSnapshotStore store;
    CMapStringToString a;
    ASSERT_EQ(CSnapshotStore::Loaded, store.Load(dir.path + "state"));
    ASSERT_TRUE(store.TakeSaved("A", a));
    a.SetAt("a", "3"), store.Update("A", a), places["A"].SetAt("a", "3");
    ASSERT_TRUE(store.Save());
    ASSERT_TRUE(CSnapshotStore::Parse(ReadFileBytes(dir.path + "state"), saved));
    EXPECT_EQ(CSnapshotStore::Format(places), CSnapshotStore::Format(saved));
}

// A reading keeps each key's items while its last-write time stands, which a grandchild's value
// leaves alone: a service's Parameters, and a class's server path, written after a reading that
// kept their keys are still read; a server key added to a kept class is found.
TEST(MonitorReading, AValueBelowAKeptKeyIsStillRead) {
    const std::string memo = "HKCU\\Software\\KTMemo\\", parameters = memo + "Svc\\Parameters|ServiceDll|",
                      cls = memo + "CLSID\\KT";
    const Texts keys = {parameters + "1", cls + "a||A", cls + "a\\InprocServer32||1.dll", cls + "b||B"};
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KTMemo"), RegPutAll(keys);
    CRecordingHost host;
    std::vector<std::unique_ptr<CWatch>> watches;
    for (const RegistryPlace& place :
         {RegistryPlace{"KT", "HKCU\\Software\\KTMemo\\*\\Parameters", ReadValues, "ServiceDll"},
          RegistryPlace{"KT", "HKCU\\Software\\KTMemo\\CLSID", ReadCOMClasses, nullptr, kItemNamed}}) {
        watches.push_back(MakeRegistryWatch(PlaceViews(place)[0]));
        ASSERT_TRUE(watches.back()->Source().Arm(host));
        watches.back()->TakeFirstSnapshot(host);
    }
    // Times this close to a reading are never trusted: the next reading keeps the keys once settled.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG written = static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    ASSERT_TRUE(WaitUntil(
        [written] {
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime) >
                   written + CKeyMemo::kUnsettled;
        },
        30000));
    for (auto& watch : watches)
        watch->Compare(host);
    RegPutAll({parameters + "2", cls + "a\\InprocServer32||2.dll", cls + "b\\LocalServer32||b.exe"});
    for (auto& watch : watches)
        watch->Compare(host);
    EXPECT_EQ((Texts{"C|HKCU/Software\\KTMemo\\Svc\\Parameters|ServiceDll=2", "C|KTa|COM=A;Inproc=2.dll;",
                     "N|KTb|COM=B;Local=b.exe "}),
              Ours(host.Events()));
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KTMemo");
}

// A parent of the item keys that does not exist (a fresh profile has no classes of its own) holds
// none: the reading during the settle still goes on, and the parent is watched once it exists.
TEST(MonitorReading, AMissingParentOfItemKeysIsWatchedOnceItExists) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KTParent");
    CRecordingHost host;
    CRegistryKeyWatcher watcher(UserRunKey(), {{HKEY_CURRENT_USER, "Software\\KTParent"}});
    CHandle quiet = MakeEvent(true);
    ASSERT_TRUE(watcher.Arm(host));
    EXPECT_TRUE(watcher.WatchWhileReading(quiet.Get()));
    RegPutAll({"HKCU\\Software\\KTParent\\P|v|1"});
    EXPECT_TRUE(watcher.WatchWhileReading(quiet.Get()));
    EXPECT_FALSE(watcher.ChangedWhileReading(quiet.Get()));
    RegPutAll({"HKCU\\Software\\KTParent\\P|v|2"});
    EXPECT_TRUE(WaitUntil([&] { return watcher.ChangedWhileReading(quiet.Get()); }, 30000));
    watcher.EndWatchWhileReading();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KTParent");
}

// A place that cannot be watched says the code its notification request gave, not the last
// error; the file associations say a root that cannot be opened, then the wait that fails, and
// nothing of a root that cannot be armed. A Startup row the shell leaves out is composed from HOMEDRIVE and
// HOMEPATH, refused rather than cut when too long; a variable that cannot be read is said, and only the rows
// that need it go unwatched. Last in the suite: it changes the variables.
TEST(MonitorReading, WhatCannotBeWatchedIsSaid) {
    CRecordingHost host;
    CRegistrySource performance({.hive = HKEY_PERFORMANCE_DATA, .hiveName = "HKPD"});
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_FALSE(performance.Arm(host));
    RunFileAssociationMonitor(host, reinterpret_cast<HKEY>(0x800000AAu));
    SetEvent(host.m_stop.Get()), RunFileAssociationMonitor(host, HKEY_PERFORMANCE_DATA);
    const std::string startup = "\\Start Menu\\Programs\\Startup", docs = "C:\\D\\";
    const std::string tooLong = "\\" + std::string(240, 'h') + "\\Owner";
    const struct {
        const char *drive, *home, *shellPersonal, *shellAllUsers; // nullptr: not set
        std::string personal, allUsers;
    } rows[] = {
        {"C:", "\\D\\Owner", "", nullptr, docs + "Owner" + startup, docs + "All Users" + startup},
        {"C:", tooLong.c_str(), "", "", "", ""},
        {nullptr, "\\Owner", "", "C:\\shell\\common", "", "C:\\shell\\common"},
        {"C:", nullptr, "C:\\shell\\user", "", "C:\\shell\\user", ""},
    };
    char personal[kStartupPathChars], allUsers[kStartupPathChars];
    for (const auto& r : rows) {
        SetEnvironmentVariableA("HOMEDRIVE", r.drive), SetEnvironmentVariableA("HOMEPATH", r.home);
        ResolveStartupPaths(host, r.shellPersonal, r.shellAllUsers, personal, allUsers);
        EXPECT_EQ(r.personal + "|" + r.allUsers, personal + std::string("|") + allUsers) << r.home;
    }
    EXPECT_EQ((std::vector<std::string>{"Failed to monitor registry HKPD\\ (6)",
                                        "Failed to monitor registry HKCR\\.FileAssociation (6)",
                                        "MonitorFileAssociationProc: Failed to wait (6)",
                                        "MonitorStartProc: Failed to get HOMEDRIVE (203)",
                                        "MonitorStartProc: Failed to get HOMEPATH (203)"}),
              host.Errors());
}
