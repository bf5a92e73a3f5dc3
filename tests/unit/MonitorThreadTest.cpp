// RESOURCE_LOCK: runkeys uninstall services winlogon network hkcr
// Monitors on real threads against the Wine registry and scratch folders, with a short settle.
// Every wait is for the event itself, up to a limit that only a broken build reaches.
#include "TestSupport.h"
#include "monitors/AutoRunMonitor.h"
#include "monitors/COMMonitor.h"
#include "monitors/FileAssociationMonitor.h"
#include "monitors/FolderSource.h"
#include "monitors/InstallMonitor.h"
#include "monitors/ServiceMonitor.h"
#include "monitors/ShareMonitor.h"
#include "monitors/WinlogonMonitor.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

namespace {
const DWORD kLimit = 30000;

// The events of the test's own places, those with "KT" in them.
Events Ours(const Events& all) {
    Events ours;
    std::copy_if(all.begin(), all.end(), std::back_inserter(ours), [](const RecordedEvent& e) {
        return (e.location + e.details).find("KT") != std::string::npos;
    });
    return ours;
}

// A monitor on its own thread until the end of the scope.
class CMonitorThread {
public:
    explicit CMonitorThread(std::function<void(IMonitorHost&)> run) : m_thread([this, run] { run(host); }) {
        EXPECT_TRUE(host.WaitForReady(1, kLimit));
    }
    ~CMonitorThread() { SetEvent(host.m_stop.Get()), m_thread.join(); }
    // Waits for n more events of the test's places; the first change that reports something
    // unexpected shows up in them.
    Events Take(size_t n) {
        EXPECT_TRUE(WaitUntil([&] { return Ours(host.Events()).size() >= m_taken + n; }, kLimit));
        Events events = Ours(host.Events());
        events.erase(events.begin(), events.begin() + std::min(m_taken, events.size()));
        m_taken += events.size();
        return std::sort(events.begin(), events.end()), events;
    }
    CRecordingHost host{50};

private:
    size_t m_taken = 0;
    std::thread m_thread;
};

const std::string kCycle = "Software\\KestrowTests\\Cycle\\";
std::atomic<bool> g_meddle{false};
// Reads the values, then (once, when asked) rewrites one behind the reading's back.
void ReadThenRewrite(const CRegistryKey& key, const RegistryWatchSettings& settings,
                     const ItemVisitor& visit) {
    ReadValueTexts(key, settings, visit);
    if (g_meddle.exchange(false))
        RegPut(HKEY_CURRENT_USER, kCycle + "O", "KTx", "z");
}
} // namespace

// One loop over a key missing at start (W), a key read during the settle (O) and a folder.
TEST(MonitorThread, WatchCycleSeesEveryChange) {
    RegDeleteTreeAt(HKEY_CURRENT_USER, kCycle);
    RegPut(HKEY_CURRENT_USER, kCycle + "O", "KTx", "x");
    CTempDir dir;
    const std::string w = kCycle + "Outer\\W", o = kCycle + "O", folder = dir.path + "F";
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFileBytes(folder + "\\KTa.lnk", "");
    RegistryWatchSettings ws = AutoRunKeys()[3], os = ws; // the user's Run key, elsewhere
    ws.path = w.c_str(), ws.location = "W";
    os.path = o.c_str(), os.location = "O", os.read = ReadThenRewrite, os.readAhead = true;
    CMonitorThread run([&](IMonitorHost& host) {
        std::vector<std::unique_ptr<CWatch>> watches;
        watches.push_back(MakeRegistryWatch(ws));
        watches.push_back(MakeRegistryWatch(os));
        watches.push_back(
            std::make_unique<CWatch>(std::make_unique<CFolderSource>(folder), "Auto Start", NameAsLocation));
        RunWatchMonitor(host, std::move(watches), "Cycle", "Cycle");
    });
    auto event = [](int kind, const char* location, const char* details) {
        return RecordedEvent{*location == 'K' ? "Auto Start" : "Auto Run", kind, location, details};
    };
    // Watched from its nearest existing ancestor until it appears; deleted and made again.
    RegPut(HKEY_CURRENT_USER, w, "KTa", "1");
    EXPECT_EQ(Events{event(EVENT_NEW, "W", "KTa=1")}, run.Take(1));
    RegDeleteTreeAt(HKEY_CURRENT_USER, w);
    EXPECT_EQ(Events{event(EVENT_DELETED, "W", "KTa=1")}, run.Take(1));
    RegPut(HKEY_CURRENT_USER, w, "KTb", "1");
    EXPECT_EQ(Events{event(EVENT_NEW, "W", "KTb=1")}, run.Take(1));

    // O written during W's settle is compared after that same settle.
    int settles = 0;
    run.host.m_onSettle = [&] {
        if (++settles == 1)
            RegPut(HKEY_CURRENT_USER, o, "KTx", "y");
    };
    RegPut(HKEY_CURRENT_USER, w, "KTb", "2");
    EXPECT_EQ((Events{event(EVENT_CHANGED, "O", "KTx=y"), event(EVENT_CHANGED, "W", "KTb=2")}), run.Take(2));
    EXPECT_EQ(1, settles);

    // A change made while W is being read signals again.
    run.host.m_onEvent = [&](const RecordedEvent& e) {
        if (e.details == "KTb=3")
            RegPut(HKEY_CURRENT_USER, w, "KTb", "4");
    };
    RegPut(HKEY_CURRENT_USER, w, "KTb", "3");
    EXPECT_EQ((Events{event(EVENT_CHANGED, "W", "KTb=3"), event(EVENT_CHANGED, "W", "KTb=4")}), run.Take(2));

    // O's reading during the settle is dropped when O changed after it began.
    g_meddle = true;
    RegPut(HKEY_CURRENT_USER, o, "KTx", "w");
    EXPECT_EQ(Events{event(EVENT_CHANGED, "O", "KTx=z")}, run.Take(1));

    // The folder removed (Wine keeps a watched folder from going in place: moved away) and made again.
    MoveFileA(folder.c_str(), (folder + ".old").c_str());
    EXPECT_EQ(Events{event(EVENT_DELETED, "KTa.lnk", "KTa.lnk")}, run.Take(1));
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFileBytes(folder + "\\KTb.lnk", "");
    EXPECT_EQ(Events{event(EVENT_NEW, "KTb.lnk", "KTb.lnk")}, run.Take(1));
    RegDeleteTreeAt(HKEY_CURRENT_USER, kCycle);
}

// What each monitor reads and how it names it: the 32-bit programs' view, per-user installs, the
// default value, Winlogon's number texts and skipped types, and rewrites below a service, a
// drive or a class seen one settle after the write.
TEST(MonitorThread, EachMonitorReportsItsPlaces) {
    const std::string cv = "\\Microsoft\\Windows\\CurrentVersion\\", wow = "HKLM\\Software\\WOW6432Node" + cv,
                      svc = "HKLM\\System\\CurrentControlSet\\Services\\KT|ImagePath|",
                      wl = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon|";
    const struct {
        UINT (*proc)(LPVOID);
        std::vector<std::string> before, after;
        Events events;
    } rows[] = {
        {MonitorRunKeysProc,
         {},
         {"HKCU\\Software" + cv + "Run||C:\\KT.exe", wow + "Run|KT32|x86.exe"},
         {{"Auto Run", EVENT_NEW, "HKCU/Software" + cv + "Run", "=C:\\KT.exe"},
          {"Auto Run", EVENT_NEW, "HKLM/Software\\WOW6432Node" + cv + "Run", "KT32=x86.exe"}}},
        {MonitorInstallProc,
         {},
         {"HKCU\\Software" + cv + "Uninstall\\KT|DisplayName|Mine", wow + "Uninstall\\KT|DisplayName|Old"},
         {{"Installs", EVENT_NEW, "KT (32-bit)", "Old v"},
          {"Installs", EVENT_NEW, "KT (per user)", "Mine v"}}},
        {MonitorServiceProc,
         {svc + "old.exe"},
         {svc + "new.exe"},
         {{"Service", EVENT_CHANGED, "KT", "new.exe"}}},
        {MonitorShareDriveProc,
         {"HKCU\\Network\\KT|RemotePath|\\\\s\\a"},
         {"HKCU\\Network\\KT|RemotePath|\\\\s\\b"},
         {{"Share Resource", EVENT_CHANGED, "KT", "\\\\s\\b"}}},
        {MonitorCOMProc,
         {"HKCR\\CLSID\\KT\\InprocServer32||a.dll"},
         {"HKCR\\CLSID\\KT\\InprocServer32||b.dll",
          "HKCR\\Wow6432Node\\CLSID\\KT32\\InprocServer32||x86.dll"},
         {{"ActiveX COM", EVENT_CHANGED, "KT", "Inproc=b.dll;"},
          {"ActiveX COM", EVENT_NEW, "KT32 (32-bit)", "Inproc=x86.dll;"}}},
        // KT2 is read just before KT3, whose one byte must not take the rest of KT2's.
        {MonitorWinlogonProc,
         {wl + "KT1|bin:ab"},
         {wl + "KT1|bin:cd", wl + "KT2|dw:\xFF\xFF\xFF\xFF", wl + "KT3|dw:\x07", wl + "KT4|text"},
         {{"WinLogon", EVENT_NEW, "KT2", "-1"},
          {"WinLogon", EVENT_NEW, "KT3", "7"},
          {"WinLogon", EVENT_NEW, "KT4", "text"}}},
    };
    for (const auto& r : rows) {
        RegWipeAll(r.after);
        RegPutAll(r.before);
        {
            CMonitorThread run([&](IMonitorHost& host) { r.proc(&host); });
            RegPutAll(r.after);
            EXPECT_EQ(r.events, run.Take(r.events.size()));
        }
        RegWipeAll(r.after);
    }
}

// An ImagePath left empty is deleted at start-up; a number or binary value is no text and stays.
TEST(MonitorThread, StartUpCleanUpDeletesOnlyEmptyTextImagePaths) {
    const std::string svc = "HKLM\\System\\CurrentControlSet\\Services\\";
    const std::vector<std::string> kept = {svc + "KT1|ImagePath|C:\\x.exe",
                                           svc + "KT2|ImagePath|bin:" + std::string("\0ab", 3),
                                           svc + "KT3|ImagePath|dw:" + std::string("\0\1\0\0", 4)},
                                   emptied = {svc + "KT4|ImagePath|"};
    RegPutAll(kept), RegPutAll(emptied);
    CleanEmptyImagePaths();
    for (CRegWrite w : kept)
        EXPECT_EQ(ERROR_SUCCESS,
                  RegGetValueA(w.hive, w.path.c_str(), "ImagePath", RRF_RT_ANY, nullptr, nullptr, nullptr))
            << w.path;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegGetValueA(HKEY_LOCAL_MACHINE, (svc.substr(5) + "KT4").c_str(),
                                                 "ImagePath", RRF_RT_ANY, nullptr, nullptr, nullptr));
    RegWipeAll(kept), RegWipeAll(emptied);
}

// The file association watcher driven as its loop would, without the settle: the command key
// alone, or the identifier's whole key, deleted and made again is watched again, and every
// key is re-armed before the reading.
TEST(MonitorThread, FileAssociationsAreWatchedAgain) {
    const std::vector<std::string> keys = {"HKCR\\KT.P\\shell\\open\\command||one", "HKCR\\.KT1||KT.P",
                                           "HKCR\\.KT2||KT.P"};
    RegWipeAll(keys), RegPutAll(keys);
    CRecordingHost host;
    auto* source = new CFileAssociationWatcher;
    CWatch watch(std::unique_ptr<CWatchSource>(source), CATEGORY_FILEASSOC, NameAsLocation);
    ASSERT_TRUE(source->Arm(host));
    watch.TakeFirstSnapshot(host);
    // After a signal, compares until none is left.
    auto compare = [&] {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(source->ChangeEvent(), kLimit));
        for (int i = 0; i < 10 && (i == 0 || WaitForSingleObject(source->ChangeEvent(), 0) == WAIT_OBJECT_0);
             ++i)
            source->Rearm(), watch.Compare(host);
        Events events = Ours(host.Events());
        return host.Clear(), std::sort(events.begin(), events.end()), events;
    };
    auto changed = [](const char* ext, const char* command) {
        return RecordedEvent{CATEGORY_FILEASSOC, EVENT_CHANGED, ext, std::string("KT.P=") + command};
    };
    EXPECT_TRUE(compare().empty());
    host.m_onEvent = [&](const RecordedEvent& e) {
        if (e == changed(".KT2", "two"))
            RegPut(HKEY_CLASSES_ROOT, "KT.P\\shell\\open\\command", "", "three");
    };
    RegDeleteTreeAt(HKEY_CLASSES_ROOT, "KT.P\\shell");
    RegPut(HKEY_CLASSES_ROOT, "KT.P\\shell\\open\\command", "", "two");
    EXPECT_EQ((Events{changed(".KT1", "three"), changed(".KT1", "two"), changed(".KT2", "three"),
                      changed(".KT2", "two")}),
              compare());
    RegDeleteTreeAt(HKEY_CLASSES_ROOT, "KT.P");
    RegPut(HKEY_CLASSES_ROOT, "KT.P\\shell\\open\\command", "", "three");
    EXPECT_TRUE(compare().empty());
    RegPut(HKEY_CLASSES_ROOT, "KT.P\\shell\\open\\command", "", "four");
    EXPECT_EQ((Events{changed(".KT1", "four"), changed(".KT2", "four")}), compare());
    RegWipeAll(keys);
}
