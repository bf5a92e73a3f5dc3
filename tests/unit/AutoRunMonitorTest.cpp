// RESOURCE_LOCK: runkeys
// The Auto Run monitor on a real thread against the Wine registry, with a short settle.
#include "MonitorThreadTest.h"
#include "monitors/AutoRunMonitor.h"

namespace {
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::string kLmRun = "HKLM/" + kRun, kCuRun = "HKCU/" + kRun;

RecordedEvent AutoRun(int kind, const std::string& location, const std::string& details) {
    return {"Auto Run", kind, location, details};
}

class AutoRunMonitor : public MonitorThreadTest {
protected:
    void CleanUp() override {
        for (const char* n : {"Updater", "KT_Once", "KT_Type", "KT_Marker", "KT_Flip", "KT_New", "KT_X", ""})
            for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
                for (const std::string& path : {kRun, kRunOnce})
                    RegDeleteValueAt(hive, path, n);
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
    EXPECT_EQ(Events{AutoRun(EVENT_CHANGED, kLmRun, "Updater=C:\\Tools\\UPD.exe")}, Expect(1));

    // A key missing at the start is never watched; the default value is an item like any other.
    RegSetString(HKEY_CURRENT_USER, kRunOnce, "KT_X", "C:\\x.exe");
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kRun, "Updater");
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kRunOnce, "KT_Once");
    RegSetString(HKEY_CURRENT_USER, kRun, "", "C:\\default.exe");
    EXPECT_EQ((Events{AutoRun(EVENT_NEW, kCuRun, "=C:\\default.exe"),
                      AutoRun(EVENT_DELETED, kLmRun, "Updater=C:\\Tools\\UPD.exe"),
                      AutoRun(EVENT_DELETED, "HKLM/" + kRunOnce, "KT_Once=C:\\once.exe")}),
              Expect(3));
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
