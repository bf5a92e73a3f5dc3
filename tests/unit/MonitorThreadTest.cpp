// RESOURCE_LOCK: runkeys uninstall services winlogon network hkcr
// Monitors on real threads against the Wine registry and scratch folders, with a short settle.
// Every wait is for the events themselves, up to a limit that only a broken build reaches.
#include "TestSupport.h"
#include "monitors/places/FileAssociationMonitor.h"
#include "monitors/places/Places.h"
#include "monitors/places/StartupMonitor.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <thread>

namespace {
const DWORD kLimit = 30000;

// A monitor on its own thread until the end of the scope.
class CMonitorThread {
public:
    explicit CMonitorThread(std::function<void(IMonitorHost&)> run) : m_thread([this, run] { run(host); }) {
        EXPECT_TRUE(WaitUntil([this] { return host.m_ready > 0; }, kLimit));
    }
    ~CMonitorThread() { SetEvent(host.m_stop.Get()), m_thread.join(); }
    // Makes the change, then waits for as many events as expected: a change that reports
    // something unexpected shows up among them.
    void Expect(std::function<void()> change, const Texts& expected) {
        change();
        Texts events;
        WaitUntil([&] { return (events = Ours(host.Events())).size() >= expected.size(); }, kLimit);
        host.Clear();
        EXPECT_EQ(expected, events);
    }
    CRecordingHost host;

private:
    std::thread m_thread;
};

const std::string kCycle = "Software\\KestrowTests\\Cycle\\";
std::atomic<char> g_meddle{0}; // the location whose next reading is meddled with
// Reads the values, then (once, when asked) sets KTx behind the reading's back.
void ReadThenWrite(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit) {
    ReadValueTexts(key, settings, visit);
    if (char location = settings.location[0]; g_meddle.compare_exchange_strong(location, 0))
        RegPutAll({"HKCU\\" + std::string(settings.path) + "|KTx|z"});
}

// RegPutAll's writes, and besides "C:\folder\file|content": the file (and its folders) made,
// last written at one fixed time so that its stamp is known; with `wipe`, deleted.
void PutAll(const Texts& writes, bool wipe = false) {
    for (const std::string& w : writes) {
        if (w.rfind("HK", 0) == 0) {
            RegPutAll({w}, wipe);
            continue;
        }
        std::filesystem::path path = Utf8ToWide(w.substr(0, w.find('|')));
        std::error_code error;
        std::filesystem::remove(path, error);
        if (wipe)
            continue;
        std::filesystem::create_directories(path.parent_path(), error);
        std::ofstream(path, std::ios::binary) << w.substr(w.find('|') + 1);
        CHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        const FILETIME at{0x74400080, 0x01DC7B94}; // 2026-01-02T03:04:05Z
        SetFileTime(file.Get(), nullptr, nullptr, &at);
    }
}

// A registry value put back as it was, type and all, at the end of the scope.
struct CKeptValue {
    CKeptValue(HKEY hive, const wchar_t* path, const wchar_t* name) : hive(hive), path(path), name(name) {
        RegGetValueW(hive, path, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size);
    }
    ~CKeptValue() { RegSetKeyValueW(hive, path, name, type, data, size); }
    HKEY hive;
    const wchar_t *path, *name;
    DWORD type = REG_NONE, size = sizeof data;
    BYTE data[2048];
};

// An environment variable pointed elsewhere to the end of the scope: the folder places expand it.
struct CMovedVariable {
    CMovedVariable(const char* name, const std::string& value) : name(name) {
        GetEnvironmentVariableA(name, kept, sizeof kept);
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~CMovedVariable() { SetEnvironmentVariableA(name, kept); }
    const char* name;
    char kept[MAX_PATH] = "";
};
} // namespace

// One loop over a key missing at start (W) and a key read during the settle (O), both of which
// can be written while they are read; the Startup monitor on a scratch folder.
TEST(MonitorThread, WatchCycleSeesEveryChange) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kCycle.c_str()), RegPutAll({"HKCU\\" + kCycle + "O|KTx|x"});
    CTempDir dir;
    const std::string w = kCycle + "Outer\\W", o = kCycle + "O", folder = dir.path + "F";
    CreateDirectoryA(folder.c_str(), nullptr), std::ofstream(folder + "\\KTa.lnk");
    RegistryWatchSettings ws = UserRunKey(), os = ws; // the user's Run key, elsewhere
    ws.path = w.c_str(), ws.location = "W", ws.read = ReadThenWrite;
    os.path = o.c_str(), os.location = "O", os.read = ReadThenWrite, os.readAhead = true;
    auto put = [](const std::string& write) { return [write] { RegPutAll({"HKCU\\" + write}); }; };
    // During the first settle, W appears: watched from its nearest existing ancestor until then,
    // and compared after that same settle.
    int settles = 0;
    CMonitorThread run([&](IMonitorHost& host) {
        static_cast<CRecordingHost&>(host).m_onSettle = [&] {
            ++settles == 1 ? put(w + "|KTa|1")() : void();
        };
        RunRegistryMonitor(host, "Cycle", {ws, os}, "Cycle");
    });
    run.Expect(put(o + "|KTx|y"), {"C|O|KTx=y", "N|W|KTa=1"});
    EXPECT_EQ(1, settles);
    // Deleted and made again.
    run.Expect([&] { RegDeleteTreeA(HKEY_CURRENT_USER, w.c_str()); }, {"D|W|KTa=1"});
    run.Expect(put(w + "|KTb|1"), {"N|W|KTb=1"});
    // A change made while W is being read signals again.
    g_meddle = 'W';
    run.Expect(put(w + "|KTb|2"), {"C|W|KTb=2", "N|W|KTx=z"});
    // O's reading during the settle is dropped when O changed after it began. O is written once
    // the loop is round again: while W's last comparison runs, O would be compared after it, at once.
    EXPECT_TRUE(WaitUntil([&] { return run.host.m_rounds > run.host.m_reportRound; }, kLimit));
    g_meddle = 'O';
    run.Expect(put(o + "|KTx|w"), {"C|O|KTx=z"});

    // The folder removed (Wine keeps a watched folder from going in place: moved away) and made
    // again, with two names alike in the code page; then watched in its new place.
    CMonitorThread startup([&](IMonitorHost& host) { RunStartupMonitor(host, folder.c_str(), ""); });
    startup.Expect([&] { MoveFileA(folder.c_str(), (folder + ".old").c_str()); }, {"D|Personal|KTa.lnk"});
    startup.Expect(
        [&] {
            CreateDirectoryA(folder.c_str(), nullptr);
            for (const char* name : {"\\KT\xD0\x96", "\\KT\xD0\x98"}) // U+0416, U+0418: both "KT?"
                std::ofstream(std::filesystem::path(Utf8ToWide(folder + name)));
        },
        {"N|Personal|KT?", "N|Personal|KT?"});
    startup.Expect([&] { std::ofstream(folder + "\\KTb.lnk"); }, {"N|Personal|KTb.lnk"});
}

// What each monitor reads and how it names it. Names and data over the old limits are read whole
// and the reading goes on past them; names outside the code page stay apart (shown alike, as
// "?"); binary data is read up to its size; the 32-bit programs' view, per-user installs, the
// default value, Winlogon's number texts and skipped types; rewrites below a service, a drive or
// a class are seen one settle after the write. Each row: the monitor, then the writes made
// before it starts ("<" first), those made after, and the events they give ("N|", "D|" or "C|").
TEST(MonitorThread, EachMonitorReportsItsPlaces) {
    const std::string cv = "\\Microsoft\\Windows\\CurrentVersion\\", wow = "Software\\WOW6432Node" + cv,
                      run = "HKCU\\Software" + cv + "Run|", ran = "N|HKCU/Software" + cv + "Run|",
                      un = "HKCU\\Software" + cv + "Uninstall\\KT",
                      net = "HKCU\\Network\\KT|RemotePath|\\\\s\\",
                      svc = "HKLM\\System\\CurrentControlSet\\Services\\KT|ImagePath|",
                      cls = "HKCR\\CLSID\\KT",
                      wl = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon|", n300(300, 'n'),
                      b2000(2000, 'b'), c255 = cls + WideToUtf8(std::wstring(252, L'\x4E2D').c_str(), 252),
                      c255a = "KT" + std::string(252, '?'),
                      usf = "Software" + cv + "Explorer\\User Shell Folders",
                      sf = "Software" + cv + "Explorer\\Shell Folders";
    // The user's Startup folder moved to a scratch folder: followed, as User Shell Folders names it
    // rather than Shell Folders. The values are put back at the end.
    CTempDir dir;
    char startup[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, startup);
    const std::wstring usfW = Utf8ToWide(usf), sfW = Utf8ToWide(sf);
    CKeptValue keptStartup(HKEY_CURRENT_USER, usfW.c_str(), L"StartUp"),
        keptShell(HKEY_CURRENT_USER, sfW.c_str(), L"StartUp");
    // The folder places in scratch folders; a file's stamp is "size=..;time=..[;sha256=..]".
    const std::string sys = dir.path + "KTwin\\System32\\", data = dir.path + "KTdata\\Microsoft\\",
                      stamp = "size=3;time=2026-01-02T03:04:05Z";
    CMovedVariable systemRoot("SystemRoot", dir.path + "KTwin"), appData("APPDATA", dir.path + "KTdata");
    std::vector<std::pair<const char*, Texts>> rows = {
        {"MonitorRunKeysProc",
         {run + "|C:\\KT.exe", run + "A" + n300 + "|KT1", run + "B|KT" + b2000, run + "KTc|bin:xy\xE9w",
          run + "KT_\xD0\x96|C:\\\xE4\xB8\xAD\\app.exe", run + "KT_\xD0\x98|two", ran + "=C:\\KT.exe",
          ran + "A" + n300 + "=KT1", ran + "B=KT" + b2000, ran + "KT_?=C:\\?\\app.exe", ran + "KT_?=two",
          ran + "KTc=xy\xE9w"}},
        {"MonitorInstallProc",
         {"<" + un + "|DisplayVersion|1.2", "<HKLM\\" + wow + "Uninstall\\KT||", un + "|DisplayName|Mine",
          un + "bare|X|", "HKLM\\" + wow + "Uninstall\\KT|DisplayName|Old", "C|KT (32-bit)|Old v",
          "C|KT (per user)|Mine v1.2", "N|KTbare (per user)| v"}},
        {"MonitorServiceProc", {"<" + svc + "old.exe", svc + "new.exe", "C|KT|new.exe"}},
        {"MonitorShareDriveProc", {"<" + net + "a", net + "b", "C|KT|\\\\s\\b"}},
        {"MonitorCOMProc",
         {"<" + cls + "\\InprocServer32||a.dll", cls + "\\InprocServer32||b.dll", "C|KT|Inproc=b.dll;"}},
        {"MonitorCOMProc",
         {"HKCR\\Wow6432Node\\CLSID\\KT32\\InprocServer32||x.dll", c255 + "1\\InprocServer32||1.dll",
          c255 + "2\\InprocServer32||2.dll", cls + "named||Named only", "N|KT32 (32-bit)|Inproc=x.dll;",
          "N|" + c255a + "1|Inproc=1.dll;", "N|" + c255a + "2|Inproc=2.dll;",
          "HKCU\\Software\\Classes\\CLSID\\KTu\\TreatAs||{KT}", cls + "v\\shell\\open\\command||C:\\o.exe",
          cls + "v\\shell\\find|x|", "N|KTu (per user)|TreatAs={KT};", "N|KTv|open=C:\\o.exe;"}},
        // KT2 is read just before KT3, whose one byte must not take the rest of KT2's.
        {"MonitorWinlogonProc",
         {"<" + wl + "KT1|bin:ab", wl + "KT1|bin:cd", wl + "KT2|dw:\xFF\xFF\xFF\xFF", wl + "KT3|dw:\x07",
          wl + "KT4|text", "N|KT2|-1", "N|KT3|7", "N|KT4|text"}},
        {"MonitorStartProc",
         {"<HKCU\\" + usf + "|StartUp|" + startup, "<" + std::string(startup) + "\\KTold.lnk|",
          "<" + dir.path + "KTstart\\KTnew.lnk|", "HKCU\\" + usf + "|StartUp|" + dir.path + "KTstart",
          "HKCU\\" + sf + "|StartUp|" + dir.path + "KTshell",
          "C|HKCU/" + sf + "|StartUp=" + dir.path + "KTshell",
          "C|HKCU/" + usf + "|StartUp=" + dir.path + "KTstart", "D|Personal|KTold.lnk",
          "N|Personal|KTnew.lnk"}},
        // sethc.exe rewritten with its size and time kept: its hash tells.
        {"MonitorImageHijacksProc",
         {"<" + sys + "sethc.exe|abc", sys + "sethc.exe|abd", sys + "Magnify.exe|m", sys + "KTother.exe|z",
          "C|" + sys + "sethc.exe|" + stamp +
              ";sha256=a52d159f262b2c6ddb724a61840befc36eb30c88877a4030b65cbe86298449c9",
          "N|" + sys + "Magnify.exe|size=1;time=2026-01-02T03:04:05Z;sha256=" +
              "62c66a7a5dd70c3146618063c344e531e6d4b59e379808443ce962b3abd63c5a"}},
        // Excel's and Outlook's folders appear only now.
        {"MonitorOfficeAddinsProc",
         {"<" + data + "Word\\STARTUP\\KTa.dotm|x", data + "Excel\\XLSTART\\KTb.xlam|y",
          data + "Outlook\\VbaProject.OTM|abc", "N|" + data + "Excel\\XLSTART|KTb.xlam",
          "N|" + data + "Outlook\\VbaProject.OTM|" + stamp}},
    };
    // Every Auto Run key, the 32-bit view's among them, each with its own location.
    for (std::string key : {"HKLM\\Software" + cv + "Run", "HKLM\\Software" + cv + "RunOnce",
                            "HKLM\\Software" + cv + "RunOnceEx", "HKCU\\Software" + cv + "Run",
                            "HKCU\\Software" + cv + "RunOnce", "HKLM\\" + wow + "Run",
                            "HKLM\\" + wow + "RunOnce", "HKLM\\" + wow + "RunOnceEx"})
        rows[0].second.push_back(key + "|KTk|k"),
            rows[0].second.push_back("N|" + key.replace(4, 1, "/") + "|KTk=k");
    for (const auto& [proc, texts] : rows) {
        Texts before, after, events;
        for (const std::string& t : texts)
            (t[0] == '<' ? before : t[1] == '|' ? events : after).push_back(t.substr(t[0] == '<'));
        PutAll(after, true), PutAll(before), std::sort(events.begin(), events.end());
        CMonitorThread([proc](IMonitorHost& host) {
            FindMonitor(proc)->run(host, *FindMonitor(proc), nullptr);
        }).Expect([&] { PutAll(after); }, events);
        PutAll(after, true), PutAll(before, true);
    }
}

// File associations: the command key alone, or the identifier's whole key, deleted and made
// again is watched again, and every key is re-armed before the reading. No item without a dot,
// an identifier or its command; a command path of 522 characters is refused whole (cut to 511
// it would name <deep>\shell\o).
TEST(MonitorThread, FileAssociationsAreWatchedAgain) {
    const std::string command = "HKCR\\KT.P\\shell\\open\\command||",
                      deep = "KT" + std::string(248, 'a') + "\\" + std::string(250, 'b') + "\\c";
    const Texts keys = {
        command + "1",         "HKCR\\.KT1||KT.P", "HKCR\\.KT2||KT.P",    "HKCR\\KT_NoDot||KT.P",
        "HKCR\\.KT3||KT.None", "HKCR\\KT.None||x", "HKCR\\.KT4||" + deep, "HKCR\\" + deep + "\\shell\\o||x"};
    auto put = [&](const char* text) { return [&, text] { RegPutAll({command + text}); }; };
    RegPutAll(keys, true), RegPutAll({keys[0], keys[1], keys[2]});
    // Set before the start, on the monitor's thread: the settle that KTgo starts makes the change
    // `inSettle`, so that the reading sees it whole; while a command of an odd number is read,
    // the next number is written.
    std::function<void()> inSettle;
    CMonitorThread run([&](IMonitorHost& host) {
        auto& recorder = static_cast<CRecordingHost&>(host);
        recorder.m_onSettle = [&] {
            RegDeleteKeyValueA(HKEY_CLASSES_ROOT, "KT.P", "KTgo") ? void() : inSettle();
        };
        recorder.m_onEvent = [&](const RecordedEvent& e) {
            if (e.location == ".KT2" && e.details.back() % 2)
                put(std::string(1, e.details.back() + 1).c_str())();
        };
        RunFileAssociationMonitor(host, HKEY_CLASSES_ROOT);
    });
    inSettle = [&] { RegDeleteTreeA(HKEY_CLASSES_ROOT, "KT.P\\shell"), put("2")(); };
    run.Expect([] { RegPutAll({"HKCR\\KT.P|KTgo|"}); }, {"C|.KT1|KT.P=2", "C|.KT2|KT.P=2"});
    run.Expect(put("3"), {"C|.KT1|KT.P=3", "C|.KT1|KT.P=4", "C|.KT2|KT.P=3", "C|.KT2|KT.P=4"});
    inSettle = [&] {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "KT.P"), put("6")(), RegPutAll({keys.begin() + 3, keys.end()});
    };
    run.Expect([] { RegPutAll({"HKCR\\KT.P|KTgo|"}); }, {"C|.KT1|KT.P=6", "C|.KT2|KT.P=6"});
    run.Expect(put("7"), {"C|.KT1|KT.P=7", "C|.KT1|KT.P=8", "C|.KT2|KT.P=7", "C|.KT2|KT.P=8"});
    // An extension pointed at another identifier signals through nothing but its own key.
    run.Expect([] { RegPutAll({"HKCR\\.KT1||KT.None"}); }, {"D|.KT1|KT.P=8"});
    RegPutAll(keys, true);
}

// A command rewritten while the keys are armed again, after its own key's arming and before a
// later one, which clears the shared event under Wine: seen, and so is the next rewrite. In the
// same turn, before that, a change below the first of the parents whose watch catches such a
// rewrite, made before the second parent is armed (each parent's watch keeps its own signal).
// Last, a rewrite just before a reading arms a new extension's key: seen in the next turn.
TEST(MonitorThread, AFileAssociationRewrittenWhileItsKeysAreArmedStaysWatched) {
    const std::string command = "HKCR\\KT.A\\shell\\open\\command||";
    const Texts keys = {"HKCR\\.KTa||KT.A", command + "1", "HKCR\\.KTb||KT.B",
                        "HKCR\\KT.B\\shell\\open\\command||b", "HKLM\\Software\\Classes\\KT.C||c"};
    RegPutAll(keys, true), RegPutAll(keys);
    // 1: below the first parent, 2: the rewrite, 3: before a new key, 4: done
    static std::atomic<int> meddle{0};
    struct CMeddlingWatcher : CFileAssociationWatcher {
        LONG OpenItemKey(const std::string& path, CRegistryKey& key) override {
            LONG r = CFileAssociationWatcher::OpenItemKey(path, key);
            if (int before = 3; path == "KT.N" && meddle.compare_exchange_strong(before, 4))
                RegPutAll({"HKCR\\KT.A\\shell\\open\\command||4"});
            return path == "KT.A" ? (m_kta = key.Get(), r) : r;
        }
        LONG ArmParent(const CRegistryKey& parent, HANDLE changed) override {
            LONG r = CFileAssociationWatcher::ArmParent(parent, changed);
            if (int first = 1; meddle.compare_exchange_strong(first, 2))
                RegPutAll({"HKLM\\Software\\Classes\\KT.C||d"});
            return r;
        }
        void ArmItemKey(const CRegistryKey& key) override {
            CFileAssociationWatcher::ArmItemKey(key);
            if (int rewrite = 2; key.Get() != m_kta || !meddle.compare_exchange_strong(rewrite, 3))
                return;
            RegPutAll({"HKCR\\KT.A\\shell\\open\\command||2"});
            (void)m_later.Open(HKEY_CLASSES_ROOT, "KT.B", KEY_NOTIFY);
            m_later.Notify(true, REG_NOTIFY_CHANGE_LAST_SET, ChangeEvent());
        }
        HKEY m_kta = nullptr;
        CRegistryKey m_later; // stays open: closing it would signal
    };
    CMonitorThread run([](IMonitorHost& host) {
        std::vector<std::unique_ptr<CWatch>> watches;
        watches.push_back(std::make_unique<CWatch>(std::make_unique<CMeddlingWatcher>(), CATEGORY_FILEASSOC,
                                                   NameAsLocation));
        RunWatchMonitor(host, std::move(watches), "KT", "KT");
    });
    meddle = 1;
    run.Expect([] { RegPutAll({"HKCR\\KT.A|KTgo|x"}); }, {"C|.KTa|KT.A=2"});
    run.Expect([&] { RegPutAll({command + "3"}); }, {"C|.KTa|KT.A=3"});
    const Texts added = {"HKCR\\.KTn||KT.N", "HKCR\\KT.N\\shell\\open\\command||n"};
    run.Expect([&] { RegPutAll(added); }, {"C|.KTa|KT.A=4", "N|.KTn|KT.N=n"});
    RegPutAll(keys, true), RegPutAll(added, true);
}

// Writes within one settle are one comparison, with their last data; a Changed event carries
// the details it replaced. The writes come once the settle has begun: without it the key is read
// at once, between them.
TEST(MonitorThread, WritesWithinTheSettleAreOneComparison) {
    const std::string path = kCycle + "S", key = "HKCU\\" + path + "|KTs|";
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()), RegPutAll({"HKCU\\" + path + "|other|x"});
    RegistryWatchSettings settings = UserRunKey();
    settings.path = path.c_str(), settings.location = "S";
    CHandle settling = MakeEvent();
    std::string replaced;
    CMonitorThread run([&](IMonitorHost& host) {
        auto& recorder = static_cast<CRecordingHost&>(host);
        recorder.m_settleMs = 5000; // the program's own, ample for the writes the test makes in it
        recorder.m_onSettle = [&] { SetEvent(settling.Get()); };
        recorder.m_onEvent = [&](const RecordedEvent& e) { replaced = e.previous; };
        RunRegistryMonitor(host, "Settle", {settings}, "Settle");
    });
    run.Expect(
        [&] {
            RegPutAll({key + "1"});
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(settling.Get(), kLimit));
            for (char data = '2'; data <= '9'; ++data)
                RegPutAll({key + data});
        },
        {"N|S|KTs=9"});
    run.Expect([&] { RegPutAll({key + "0"}); }, {"C|S|KTs=0"});
    EXPECT_EQ("KTs=9", replaced);
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
}
