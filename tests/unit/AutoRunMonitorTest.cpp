// RESOURCE_LOCK: runkeys
// The Auto Run monitor on a real thread against the Wine registry, with a short settle.
#include "MonitorThreadTest.h"
#include "monitors/AutoRunMonitor.h"

namespace {
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::string kLmRun = "HKLM/" + kRun, kCuRun = "HKCU/" + kRun;
const std::string kZhe = "KT_\xD0\x96", kIi = "KT_\xD0\x98"; // U+0416, U+0418: both "KT_?" in the code page

RecordedEvent AutoRun(int kind, const std::string& location, const std::string& details) {
    return {"Auto Run", kind, location, details};
}

class AutoRunMonitor : public MonitorThreadTest {
protected:
    void CleanUp() override {
        for (const char* n :
             {"Updater", "KT_Once", "KT_Type", "KT_Marker", "KT_Flip", "KT_New", "KT_X", "KT_Long", ""})
            for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
                for (const std::string& path : {kRun, kRunOnce})
                    RegDeleteValueAt(hive, path, n);
        for (const std::string& n : {kZhe, kIi})
            RegDeleteKeyValueW(HKEY_CURRENT_USER, Utf8ToWide(kRun).c_str(), Utf8ToWide(n).c_str());
        RegDeleteTreeIn(HKEY_LOCAL_MACHINE, kRun.substr(0, kRun.rfind('\\')) + "\\RunOnceEx",
                        KEY_WOW64_32KEY);
        HKEY run32;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRun.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &run32) ==
            0) {
            RegDeleteValueA(run32, "KT_32");
            RegCloseKey(run32);
        }
    }
};
} // namespace

TEST_F(AutoRunMonitor, NewChangedAndDeletedValuesOfEveryKey) {
    RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, "KT_Once", "C:\\once.exe");
    RegDeleteTreeAt(HKEY_CURRENT_USER, kRunOnce);
    Start(MonitorRunKeysProc);
    // Two keys within one settle: both reported.
    RegSetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "C:\\Tools\\upd.exe");
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_New", "C:\\cu.exe");
    EXPECT_EQ((Events{AutoRun(EVENT_NEW, kCuRun, "KT_New=C:\\cu.exe"),
                      AutoRun(EVENT_NEW, kLmRun, "Updater=C:\\Tools\\upd.exe")}),
              Expect(2));

    RegSetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "C:\\Tools\\UPD.exe");
    Events changed = Expect(1);
    EXPECT_EQ(Events{AutoRun(EVENT_CHANGED, kLmRun, "Updater=C:\\Tools\\UPD.exe")}, changed);
    EXPECT_EQ("Updater=C:\\Tools\\upd.exe", changed.at(0).previous) << "what the change replaced";

    // A key missing at the start is watched once it appears; the default value is an item like any other.
    RegSetString(HKEY_CURRENT_USER, kRunOnce, "KT_X", "C:\\x.exe");
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kRun, "Updater");
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kRunOnce, "KT_Once");
    RegSetString(HKEY_CURRENT_USER, kRun, "", "C:\\default.exe");
    EXPECT_EQ((Events{AutoRun(EVENT_NEW, kCuRun, "=C:\\default.exe"),
                      AutoRun(EVENT_NEW, "HKCU/" + kRunOnce, "KT_X=C:\\x.exe"),
                      AutoRun(EVENT_DELETED, kLmRun, "Updater=C:\\Tools\\UPD.exe"),
                      AutoRun(EVENT_DELETED, "HKLM/" + kRunOnce, "KT_Once=C:\\once.exe")}),
              Expect(4));

    // The 32-bit programs' view of the machine keys, RunOnceEx made after the start included.
    const std::string wow = "HKLM/Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\";
    RegSetWide(HKEY_LOCAL_MACHINE, kRun, "KT_32", "C:\\x86.exe", KEY_WOW64_32KEY);
    RegSetWide(HKEY_LOCAL_MACHINE, kRun + "OnceEx", "KT_X", "C:\\x.exe", KEY_WOW64_32KEY);
    EXPECT_EQ((Events{AutoRun(EVENT_NEW, wow + "Run", "KT_32=C:\\x86.exe"),
                      AutoRun(EVENT_NEW, wow + "RunOnceEx", "KT_X=C:\\x.exe")}),
              Expect(2));
}

TEST_F(AutoRunMonitor, SameBytesOrSameTextWithinTheSettleGiveNothing) {
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Type", "abc");
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Flip", "x");
    Start(MonitorRunKeysProc);
    // Another type with the same bytes, and a value deleted and re-created within one settle.
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Type", "abc", REG_EXPAND_SZ);
    RegDeleteValueAt(HKEY_CURRENT_USER, kRun, "KT_Flip");
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Flip", "x");
    EXPECT_TRUE(Quiet().empty());

    // Re-created with another text: one Changed.
    RegDeleteValueAt(HKEY_CURRENT_USER, kRun, "KT_Flip");
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Flip", "y");
    EXPECT_EQ(Events{AutoRun(EVENT_CHANGED, kCuRun, "KT_Flip=y")}, Expect(1));
}

// Names and data are compared whole in UTF-16: names alike in the code page stay two values,
// and a change only in the tail of a long value is one Changed.
TEST_F(AutoRunMonitor, NamesOutsideTheCodePageAndLongValuesCompareWhole) {
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Long", std::string(2000, 'a'));
    Start(MonitorRunKeysProc);
    RegSetWide(HKEY_CURRENT_USER, kRun, kZhe, "C:\\\xE4\xB8\xAD\xE6\x96\x87\\app.exe"); // C:\中文\app.exe
    RegSetWide(HKEY_CURRENT_USER, kRun, kIi, "C:\\b.exe");
    EXPECT_EQ((Events{AutoRun(EVENT_NEW, kCuRun, "KT_?=C:\\?\?\\app.exe"),
                      AutoRun(EVENT_NEW, kCuRun, "KT_?=C:\\b.exe")}),
              Expect(2));
    RegSetWide(HKEY_CURRENT_USER, kRun, kZhe, "C:\\\xE6\x97\xA5\xE6\x9C\xAC\\app.exe"); // C:\日本\app.exe
    RegDeleteKeyValueW(HKEY_CURRENT_USER, Utf8ToWide(kRun).c_str(), Utf8ToWide(kIi).c_str());
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Long", std::string(1999, 'a') + "b");
    EXPECT_EQ((Events{AutoRun(EVENT_DELETED, kCuRun, "KT_?=C:\\b.exe"),
                      AutoRun(EVENT_CHANGED, kCuRun, "KT_?=C:\\?\?\\app.exe"),
                      AutoRun(EVENT_CHANGED, kCuRun, "KT_Long=" + std::string(1999, 'a') + "b")}),
              Expect(3));
}
