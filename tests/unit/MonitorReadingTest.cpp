// Each monitor's reading of its place, saved snapshots and the Startup folders' paths, on
// scratch keys and folders, without threads.
#include "TestSupport.h"
#include "monitors/AutoRunMonitor.h"
#include "monitors/COMMonitor.h"
#include "monitors/SnapshotStore.h"
#include "monitors/StartupMonitor.h"
#include <gtest/gtest.h>
#include <set>

namespace {
using Items = std::set<std::string>; // "name|text"
const std::string kScratch = "Software\\KestrowTests\\Reading\\";
const std::string kZhe = "KT_\xD0\x96", kIi = "KT_\xD0\x98"; // U+0416, U+0418: both "KT_?" in the code page

// Writes "subkey|value name|data" below the scratch key (as RegPutAll does), then reads it as
// `settings` say.
Items Read(RegistryWatchSettings settings, const std::vector<std::string>& writes) {
    RegDeleteTreeAt(HKEY_CURRENT_USER, kScratch);
    for (const std::string& w : writes)
        RegPutAll({"HKCU\\" + kScratch + w});
    settings.hive = HKEY_CURRENT_USER, settings.path = kScratch.c_str();
    CRegistrySource source(settings);
    CRecordingHost host;
    Items items;
    EXPECT_TRUE(source.Arm(host));
    source.ReadItems(
        [&](const std::string& name, const std::string& text) { items.insert(name + "|" + text); });
    return items;
}

} // namespace

// Names and data over the old limits are read whole and the reading goes on past them; names
// outside the code page stay apart; binary data is read up to its size.
TEST(MonitorReading, EveryReaderGivesEachItemWhole) {
    const std::string n300(300, 'n'), b2000(2000, 'b'), zhe = "C:\\\xE4\xB8\xAD\\app.exe";
    EXPECT_EQ((Items{"A" + n300 + "|long name", "B|" + b2000, "C|xy\xC3\xA9w", kZhe + "|" + zhe, kIi + "|two",
                     "|C:\\x.exe"}),
              Read(AutoRunKeys()[0], {"|A" + n300 + "|long name", "|B|" + b2000, "|C|bin:xy\xE9w",
                                      "|" + kZhe + "|" + zhe, "|" + kIi + "|two", "||C:\\x.exe"}));
    const std::string c255 = "A" + WideToUtf8(std::wstring(253, L'\x4E2D').c_str(), 253);
    EXPECT_EQ((Items{"KT_Local|Local=s.exe ", "KT_Full|COM=Foo;Inproc=foo.dll;Local=foo.exe ",
                     c255 + "1|Inproc=1.dll;", c255 + "2|Inproc=2.dll;"}),
              Read(COMKeys()[0], {c255 + "1\\InprocServer32||1.dll", c255 + "2\\InprocServer32||2.dll",
                                  "KT_Named||Named only", "KT_Local\\LocalServer32||s.exe", "KT_Full||Foo",
                                  "KT_Full\\InprocServer32||foo.dll", "KT_Full\\LocalServer32||foo.exe"}));
    RegDeleteTreeAt(HKEY_CURRENT_USER, kScratch);

    // A place that cannot be watched says the code its notification request gave, not the last error.
    CRecordingHost host;
    CRegistrySource performance({.hive = HKEY_PERFORMANCE_DATA, .hiveName = "HKPD"});
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_FALSE(performance.Arm(host));
    EXPECT_EQ(std::vector<std::string>{"Failed to monitor registry HKPD\\ (6)"}, host.Errors());
}

// What changed while the program was not running is reported at the next start: names keyed
// whole, texts compared whole, separators and line ends kept through the file. A damaged file
// is set aside and that start reports nothing.
TEST(MonitorReading, FirstReadingIsComparedWithTheLastRunsSnapshot) {
    CTempDir dir;
    const std::string path = kScratch + "Saved", key = "HKCU\\" + path + "|", n300(300, 'n'),
                      t2000(2000, 't');
    RegPutAll({key + "Gone\t[x]\\|x\ny\r\n", key + n300 + "1|one", key + "T|" + t2000});
    RegistryWatchSettings settings = AutoRunKeys()[3]; // the user's Run key, elsewhere
    settings.path = path.c_str(), settings.location = "KT";
    auto run = [&](CSnapshotStore::LoadResult load) {
        struct : CRecordingHost {
            CSnapshotStore store;
            CSnapshotStore* GetSnapshotStore() override { return &store; }
        } host;
        EXPECT_EQ(load, host.store.Load(dir.path + "state"));
        auto watch = MakeRegistryWatch(settings);
        EXPECT_TRUE(watch->Source().Arm(host));
        watch->TakeFirstSnapshot(host);
        EXPECT_TRUE(host.store.Save());
        return Ours(host.Events());
    };
    EXPECT_EQ(Texts{}, run(CSnapshotStore::NoFile));
    RegPutAll({key + "Gone\t[x]\\|"}, true), RegPutAll({key + n300 + "2|two", key + "T|" + t2000 + "!"});
    EXPECT_EQ((Texts{"C|KT|T=" + t2000 + "!", "D|KT|Gone\t[x]\\=x\ny\r\n", "N|KT|" + n300 + "2=two"}),
              run(CSnapshotStore::Loaded));
    WriteFileBytes(dir.path + "state", "damaged"), RegPutAll({key + "T|"}, true);
    EXPECT_EQ(Texts{}, run(CSnapshotStore::Unreadable));
    EXPECT_EQ("damaged", ReadFileBytes(dir.path + "state.bad"));
    RegDeleteTreeAt(HKEY_CURRENT_USER, kScratch);
}

// A row the shell leaves out is composed from HOMEDRIVE and HOMEPATH,
// refused rather than cut when too long; a variable that cannot be read is said, and only the
// rows that need it go unwatched. Last in the suite: it changes the variables.
TEST(MonitorReading, StartupFoldersFromTheShellOrTheProfile) {
    const std::string startup = "\\Start Menu\\Programs\\Startup", docs = "C:\\Documents and Settings\\";
    const std::string tooLong = "\\" + std::string(240, 'h') + "\\Owner";
    const struct {
        const char *drive, *home, *shellPersonal, *shellAllUsers; // nullptr: not set
        std::string personal, allUsers;
    } rows[] = {
        {"C:", "\\Documents and Settings\\Owner", "", nullptr, docs + "Owner" + startup,
         docs + "All Users" + startup},
        {"C:", tooLong.c_str(), "", "", "", ""},
        {nullptr, "\\Owner", "", "C:\\shell\\common", "", "C:\\shell\\common"},
        {"C:", nullptr, "C:\\shell\\user", "", "C:\\shell\\user", ""},
    };
    CRecordingHost host;
    char personal[kStartupPathChars], allUsers[kStartupPathChars];
    for (const auto& r : rows) {
        SetEnvironmentVariableA("HOMEDRIVE", r.drive);
        SetEnvironmentVariableA("HOMEPATH", r.home);
        ResolveStartupPaths(host, r.shellPersonal, r.shellAllUsers, personal, allUsers);
        EXPECT_EQ(r.personal + "|" + r.allUsers, personal + std::string("|") + allUsers) << r.home;
    }
    EXPECT_EQ((std::vector<std::string>{"MonitorStartProc: Failed to get HOMEDRIVE (203)",
                                        "MonitorStartProc: Failed to get HOMEPATH (203)"}),
              host.Errors());
}
