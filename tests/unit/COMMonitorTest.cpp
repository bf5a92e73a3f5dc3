// RESOURCE_LOCK: hkcr
// The COM registration monitor: its details text, its reading of the CLSID key, reading
// during the settle, and a real monitor thread against the Wine registry with a short settle.
#include "MonitorThreadTest.h"
#include "monitors/COMMonitor.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <map>

namespace {
const char* kClasses[] = {"{4B543501-0000-4000-8000-000000000001}", "{4B543501-0000-4000-8000-000000000002}",
                          "{4B543501-0000-4000-8000-000000000003}", "{4B543501-0000-4000-8000-000000000004}"};
std::string ClassKey(int i) {
    return std::string("CLSID\\") + kClasses[i];
}

void CleanUp() {
    for (int i = 0; i < 4; ++i)
        RegDeleteTreeAt(HKEY_CLASSES_ROOT, ClassKey(i));
    RegDeleteTreeIn(HKEY_CLASSES_ROOT, ClassKey(3), KEY_WOW64_32KEY);
}

RecordedEvent Com(int kind, int i, const std::string& details) {
    return {"ActiveX COM", kind, kClasses[i], details};
}

Events Ours(const Events& events) {
    return OnlyAt(
        events, {kClasses[0], kClasses[1], kClasses[2], kClasses[3], std::string(kClasses[3]) + " (32-bit)"});
}

std::map<std::string, std::string> ReadClasses() {
    std::map<std::string, std::string> items;
    CRegistryKey clsid;
    if (clsid.Open(HKEY_CLASSES_ROOT, "CLSID") != ERROR_SUCCESS)
        return items;
    ReadCOMClasses(clsid, COMKeys()[0], [&](const std::string& name, const std::string& details) {
        EXPECT_TRUE(items.emplace(name, details).second) << name << " read twice";
    });
    return items;
}

class COMMonitor : public MonitorThreadTest {
protected:
    void CleanUp() override { ::CleanUp(); }
};
} // namespace

TEST(COMClasses, DetailsArePartsInTurnWithExactSeparators) {
    EXPECT_EQ("COM=Foo Class;Inproc=C:\\WINDOWS\\System32\\foo.dll;",
              COMDetails("Foo Class", "C:\\WINDOWS\\System32\\foo.dll", ""));
    EXPECT_EQ("COM=Foo;Inproc=foo.dll;Local=foo.exe /automation ",
              COMDetails("Foo", "foo.dll", "foo.exe /automation"));
    EXPECT_EQ("Inproc=%s.dll;", COMDetails("", "%s.dll", ""));
    EXPECT_EQ("COM=Bar;Local=bar.exe ", COMDetails("Bar", "", "bar.exe"));
    EXPECT_EQ("", COMDetails("Only a name", "", ""));
}

TEST(COMClasses, ReadingFindsOnlyServedClassesAndCreatesNothing) {
    CleanUp();
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0), "", "Named Only");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(1) + "\\LocalServer32", "", "C:\\kt5\\server.exe -Embedding");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(2), "", std::string(1500, 'N'));
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(2) + "\\InprocServer32", "", "C:\\kt5\\long.dll");
    RegCreateKeyAt(HKEY_CLASSES_ROOT, ClassKey(3) + "\\InprocServer32"); // a key with no value

    // Names of 255 characters outside the code page (765 bytes as UTF-8, past any 260-byte
    // buffer): each read whole, and the reading goes on past them.
    std::string wide[2];
    for (int i = 0; i < 2; ++i) {
        for (int c = 0; c < 254; ++c)
            wide[i] += "\xE4\xB8\xAD"; // U+4E2D
        wide[i] += i ? "\xE6\x96\x87" : "\xE6\x97\xA5";
        RegSetWide(HKEY_CLASSES_ROOT, "CLSID\\" + wide[i] + "\\InprocServer32", "",
                   "C:\\kt5\\w" + std::to_string(i));
    }
    auto items = ReadClasses();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ("Inproc=C:\\kt5\\w" + std::to_string(i) + ";", items[wide[i]]) << i;
        RegDeleteTreeIn(HKEY_CLASSES_ROOT, "CLSID\\" + wide[i], 0);
    }
    EXPECT_EQ(0u, items.count(kClasses[0]));
    EXPECT_EQ(0u, items.count(kClasses[3]));
    EXPECT_EQ("Local=C:\\kt5\\server.exe -Embedding ", items[kClasses[1]]);
    EXPECT_EQ("COM=" + std::string(1500, 'N') + ";Inproc=C:\\kt5\\long.dll;", items[kClasses[2]]);

    // Reading opened nothing for writing: no server key appeared where there was none.
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClassKey(0) + "\\LocalServer32"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClassKey(1) + "\\InprocServer32"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ClassKey(2) + "\\LocalServer32"));
    CleanUp();
}

// The classes are read during the settle; that reading stands only when nothing below CLSID
// changed from its start to the settle's end.
TEST(COMClasses, ReadingDuringTheSettleIsKeptOnlyWhenNothingChangedSinceItBegan) {
    CleanUp();
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32", "", "C:\\kt5\\a1.dll");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(1) + "\\InprocServer32", "", "C:\\kt5\\b1.dll");
    static int reads;
    static bool meddle; // changes class 0's server right after the reading has passed it
    RegistryWatchSettings settings = COMKeys()[0];
    settings.read = [](const CRegistryKey& key, const RegistryWatchSettings& s, const ItemVisitor& visit) {
        ++reads;
        ReadCOMClasses(key, s, [&visit](const std::string& name, const std::string& text) {
            visit(name, text);
            if (meddle && name == kClasses[0]) {
                meddle = false;
                RegSetString(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32", "", "C:\\kt5\\a2.dll");
            }
        });
    };
    CRecordingHost host(300);
    auto watch = MakeRegistryWatch(settings);
    ASSERT_TRUE(watch->Source().Arm(host));
    watch->TakeFirstSnapshot(host);

    RegSetString(HKEY_CLASSES_ROOT, ClassKey(2) + "\\InprocServer32", "", "C:\\kt5\\c.dll");
    reads = 0;
    watch->SettleAndCompare(host);
    EXPECT_EQ(1, reads) << "a quiet settle needs no second reading";
    EXPECT_EQ(Events{Com(EVENT_NEW, 2, "Inproc=C:\\kt5\\c.dll;")}, Ours(host.Events()));

    host.Clear();
    reads = 0;
    meddle = true;
    RegDeleteTreeAt(HKEY_CLASSES_ROOT, ClassKey(1));
    watch->SettleAndCompare(host);
    EXPECT_EQ(2, reads);
    EXPECT_EQ((Events{Com(EVENT_CHANGED, 0, "Inproc=C:\\kt5\\a2.dll;"),
                      Com(EVENT_DELETED, 1, "Inproc=C:\\kt5\\b1.dll;")}),
              Ours(host.Events()));
    CleanUp();
}

TEST_F(COMMonitor, ClassesComeAndGoAndServerRewritesShowAtOnce) {
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(1) + "\\InprocServer32", "", "C:\\kt5\\gone.dll");
    Start(MonitorCOMProc);
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0), "", "KT5 Sample Class");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32", "", "C:\\kt5\\sample.dll");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32", "ThreadingModel", "Apartment");
    EXPECT_EQ(Events{Com(EVENT_NEW, 0, "COM=KT5 Sample Class;Inproc=C:\\kt5\\sample.dll;")}, Ours(Expect(1)));
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(2), "", "KT5 Pending"); // signals, but has no server
    EXPECT_TRUE(Ours(Quiet()).empty());

    // A server path rewritten inside a class is reported one settle after the write.
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(0) + "\\InprocServer32", "", "C:\\kt5\\v2.dll");
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(1) + "\\InprocServer32", "", ""); // no server left
    RegSetString(HKEY_CLASSES_ROOT, ClassKey(2) + "\\LocalServer32", "", "C:\\kt5\\pending.exe");
    EXPECT_EQ((Events{Com(EVENT_CHANGED, 0, "COM=KT5 Sample Class;Inproc=C:\\kt5\\v2.dll;"),
                      Com(EVENT_DELETED, 1, "Inproc=C:\\kt5\\gone.dll;"),
                      Com(EVENT_NEW, 2, "COM=KT5 Pending;Local=C:\\kt5\\pending.exe ")}),
              Ours(Expect(3)));

    // The 32-bit programs' classes, under their own name.
    RegSetWide(HKEY_CLASSES_ROOT, ClassKey(3) + "\\InprocServer32", "", "C:\\kt5\\x86.dll", KEY_WOW64_32KEY);
    RegDeleteTreeAt(HKEY_CLASSES_ROOT, ClassKey(0));
    EXPECT_EQ((Events{Com(EVENT_DELETED, 0, "COM=KT5 Sample Class;Inproc=C:\\kt5\\v2.dll;"),
                      {"ActiveX COM", EVENT_NEW, std::string(kClasses[3]) + " (32-bit)",
                       "Inproc=C:\\kt5\\x86.dll;"}}),
              Ours(Expect(2)));
}
