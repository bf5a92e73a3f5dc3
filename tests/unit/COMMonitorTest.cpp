// The COM registration monitor: its details text, its reading of the CLSID key, and a real
// monitor thread against the Wine registry with a short settle.
#include "TestSupport.h"
#include "monitors/COMMonitor.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <thread>

namespace {
const char* kClasses[] = {"{4B543501-0000-4000-8000-000000000001}", "{4B543501-0000-4000-8000-000000000002}",
                          "{4B543501-0000-4000-8000-000000000003}", "{4B543501-0000-4000-8000-000000000004}"};
std::string ClassKey(int i) { return std::string("CLSID\\") + kClasses[i]; }

void CleanUp() {
    for (int i = 0; i < 4; ++i)
        RegDeleteTreeAt(HKEY_CLASSES_ROOT, ClassKey(i));
}

RecordedEvent Com(int kind, int i, const std::string& details) { return {"ActiveX COM", kind, kClasses[i], details}; }

// Only this suite's classes: other programs of the prefix may register classes meanwhile.
std::vector<RecordedEvent> Ours(std::vector<RecordedEvent> events) {
    events.erase(std::remove_if(events.begin(), events.end(),
                                [](const RecordedEvent& e) {
                                    return std::none_of(std::begin(kClasses), std::end(kClasses),
                                                        [&](const char* c) { return e.location == c; });
                                }),
                 events.end());
    std::sort(events.begin(), events.end(),
              [](const RecordedEvent& a, const RecordedEvent& b) { return a.location < b.location; });
    return events;
}

std::map<std::string, std::string> ReadClasses() {
    std::map<std::string, std::string> items;
    HKEY clsid;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &clsid) != ERROR_SUCCESS)
        return items;
    ReadCOMClasses(clsid, g_comWatchSettings, [&](const std::string& name, const std::string& details) {
        EXPECT_TRUE(items.emplace(name, details).second) << name << " read twice";
    });
    RegCloseKey(clsid);
    return items;
}

class COMMonitor : public testing::Test {
protected:
    CRecordingHost host{300};
    std::thread thread;

    void SetUp() override { CleanUp(); }
    void TearDown() override {
        Stop();
        CleanUp();
    }
    void Start() {
        thread = std::thread([this] { MonitorCOMProc(static_cast<IMonitorHost*>(&host)); });
        ASSERT_TRUE(host.WaitForReady(1, 10000));
    }
    void Stop() {
        if (thread.joinable()) {
            SetEvent(host.m_stop);
            thread.join();
        }
    }
    // Waits for n events of our classes, then two more settles in which nothing may follow.
    std::vector<RecordedEvent> Expect(size_t n) {
        DWORD start = GetTickCount();
        while (Ours(host.Events()).size() < n && GetTickCount() - start < 8000)
            Sleep(50);
        Sleep(900);
        auto events = Ours(host.Events());
        host.Clear();
        return events;
    }
};
} // namespace

TEST(COMClasses, DetailsArePartsInTurnWithExactSeparatorsCutToTheBuffer) {
    EXPECT_EQ("COM=Foo Class;Inproc=C:\\WINDOWS\\System32\\foo.dll;",
              COMDetails("Foo Class", "C:\\WINDOWS\\System32\\foo.dll", ""));
    EXPECT_EQ("COM=Foo;Inproc=foo.dll;Local=foo.exe /automation ", COMDetails("Foo", "foo.dll", "foo.exe /automation"));
    EXPECT_EQ("Inproc=%s.dll;", COMDetails("", "%s.dll", ""));
    EXPECT_EQ("COM=Bar;Local=bar.exe ", COMDetails("Bar", "", "bar.exe"));
    EXPECT_EQ("", COMDetails("Only a name", "", ""));

    std::string a(1022, 'a'), b(1022, 'b');
    std::string cut = COMDetails(a, b, "c");
    EXPECT_EQ(1023u, cut.size());
    EXPECT_EQ("COM=" + a.substr(0, 1019), cut);
    cut = COMDetails("", "x", b);
    EXPECT_EQ("Inproc=x;Local=" + b.substr(0, 1008), cut);
}

TEST(COMClasses, ReadingFindsOnlyServedClassesAndCreatesNothing) {
    CleanUp();
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0), "", "Named Only");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(1) + "\\LocalServer32", "", "C:\\kt5\\server.exe -Embedding");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(2), "", std::string(1500, 'N'));
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(2) + "\\InprocServer32", "", "C:\\kt5\\long.dll");
    RegCreateKeyAt(HKEY_CLASSES_ROOT, ClassKey(3) + "\\InprocServer32"); // a key with no value

    auto items = ReadClasses();
    EXPECT_EQ(0u, items.count(kClasses[0]));
    EXPECT_EQ(0u, items.count(kClasses[3]));
    EXPECT_EQ("Local=C:\\kt5\\server.exe -Embedding ", items[kClasses[1]]);
    EXPECT_EQ("COM=" + std::string(1019, 'N'), items[kClasses[2]]);

    // Reading opened nothing for writing: no server key appeared where there was none.
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClassKey(0) + "\\LocalServer32"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClassKey(1) + "\\InprocServer32"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClassKey(2) + "\\LocalServer32"));
    CleanUp();
}

TEST_F(COMMonitor, RegisteringAndUnregisteringAnInProcessServer) {
    Start();
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0), "", "KT5 Sample Class");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32", "", "C:\\kt5\\sample.dll");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32", "ThreadingModel", "Apartment");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Com(EVENT_NEW, 0, "COM=KT5 Sample Class;Inproc=C:\\kt5\\sample.dll;"), ev[0]);

    RegDeleteTreeAt(HKEY_CLASSES_ROOT, ClassKey(0));
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Com(EVENT_DELETED, 0, "COM=KT5 Sample Class;Inproc=C:\\kt5\\sample.dll;"), ev[0]);
}

TEST_F(COMMonitor, ServerChangesInsideAClassShowAtTheNextClassAddition) {
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32", "", "C:\\kt5\\v1.dll");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(1) + "\\InprocServer32", "", "C:\\kt5\\gone.dll");
    Start();
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(2), "", "KT5 Pending"); // signals, but has no server
    Sleep(1200);
    // Changes inside class keys signal nothing by themselves.
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32", "", "C:\\kt5\\v2.dll");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(1) + "\\InprocServer32", "", ""); // no server left
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(2) + "\\LocalServer32", "", "C:\\kt5\\pending.exe");
    Sleep(1200);
    EXPECT_TRUE(Ours(host.Events()).empty());

    RegSetString(HKEY_CLASSES_ROOT, ClassKey(3) + "\\InprocServer32", "", "C:\\kt5\\marker.dll");
    auto ev = Expect(4);
    ASSERT_EQ(4u, ev.size());
    EXPECT_EQ(Com(EVENT_CHANGED, 0, "Inproc=C:\\kt5\\v2.dll;"), ev[0]);
    EXPECT_EQ(Com(EVENT_DELETED, 1, "Inproc=C:\\kt5\\gone.dll;"), ev[1]);
    EXPECT_EQ(Com(EVENT_NEW, 2, "COM=KT5 Pending;Local=C:\\kt5\\pending.exe "), ev[2]);
    EXPECT_EQ(Com(EVENT_NEW, 3, "Inproc=C:\\kt5\\marker.dll;"), ev[3]);
}
