// The Auto Run monitor on a real thread against the Wine registry, with a short settle.
#include "MonitorThreadTest.h"
#include "monitors/AutoRunMonitor.h"
#include <gtest/gtest.h>
#include <thread>

namespace {
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::string kLmRun = "HKLM/" + kRun;
const std::string kCuRun = "HKCU/" + kRun;
const char* kNames[] = {"Updater", "KT_Once", "KT_Type", "KT_Marker", "KT_Flip", "KT_Long", "KT_After", "KT_New", "KT_X"};

void CleanUp() {
    for (const char* n : kNames)
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (const std::string& path : {kRun, kRunOnce})
                RegDeleteValueAt(hive, path, n);
    RegDeleteValueAt(HKEY_CURRENT_USER, kRun, "");
}

RecordedEvent AutoRun(int kind, const std::string& location, const std::string& details) {
    return {"Auto Run", kind, location, details};
}

class AutoRunMonitor : public MonitorThreadTest {
protected:
    void SetUp() override { CleanUp(); }
    void TearDown() override {
        Stop();
        CleanUp();
    }
    void Start() { MonitorThreadTest::Start(MonitorRunKeysProc); }
};
} // namespace

TEST_F(AutoRunMonitor, NewChangedAndDeletedValues) {
    Start();
    RegSetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "C:\\Tools\\upd.exe");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_NEW, "HKLM/Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Updater=C:\\Tools\\upd.exe"),
              ev[0]);

    RegSetString(HKEY_LOCAL_MACHINE, kRun, "Updater", "C:\\Tools\\UPD.exe");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_CHANGED, kLmRun, "Updater=C:\\Tools\\UPD.exe"), ev[0]);

    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kRun, "Updater");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_DELETED, kLmRun, "Updater=C:\\Tools\\UPD.exe"), ev[0]);
}

TEST_F(AutoRunMonitor, DeletedRunOnceValueAndDefaultValue) {
    RegSetString(HKEY_LOCAL_MACHINE, kRunOnce, "KT_Once", "C:\\once.exe");
    Start();
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kRunOnce, "KT_Once");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_DELETED, "HKLM/" + kRunOnce, "KT_Once=C:\\once.exe"), ev[0]);

    RegSetString(HKEY_CURRENT_USER, kRun, "", "C:\\default.exe");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_NEW, kCuRun, "=C:\\default.exe"), ev[0]);
}

TEST_F(AutoRunMonitor, SameBytesOrSameTextWithinTheSettleGiveNothing) {
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Type", "abc");
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Flip", "x");
    Start();
    // Another type with the same bytes, and a value deleted and re-created within one settle.
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Type", "abc", REG_EXPAND_SZ);
    RegDeleteValueAt(HKEY_CURRENT_USER, kRun, "KT_Flip");
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Flip", "x");
    Sleep(1000);
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Marker", "m");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_NEW, kCuRun, "KT_Marker=m"), ev[0]);

    // Re-created with another text: one Changed.
    RegDeleteValueAt(HKEY_CURRENT_USER, kRun, "KT_Flip");
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Flip", "y");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_CHANGED, kCuRun, "KT_Flip=y"), ev[0]);
}

TEST_F(AutoRunMonitor, ChangesInTwoKeysWithinOneSettleAreBothReported) {
    Start();
    RegSetString(HKEY_LOCAL_MACHINE, kRun, "KT_New", "C:\\lm.exe");
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_New", "C:\\cu.exe");
    auto ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_NEW, kCuRun, "KT_New=C:\\cu.exe"), ev[0]);
    EXPECT_EQ(AutoRun(EVENT_NEW, kLmRun, "KT_New=C:\\lm.exe"), ev[1]);
}

TEST_F(AutoRunMonitor, LongValueNoLongerHidesTheValuesAfterIt) {
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Long", std::string(2000, 'L'));
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_After", "1");
    Start();
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_After", "2");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_CHANGED, kCuRun, "KT_After=2"), ev[0]);

    std::string longer(3000, 'M');
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Long", longer);
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_CHANGED, kCuRun, "KT_Long=" + std::string(1023, 'M')), ev[0]);
}

TEST_F(AutoRunMonitor, KeyMissingAtStartIsNeverWatched) {
    RegDeleteTreeAt(HKEY_CURRENT_USER, kRunOnce);
    Start();
    RegSetString(HKEY_CURRENT_USER, kRunOnce, "KT_X", "C:\\x.exe"); // creates the key
    Sleep(800);
    RegSetString(HKEY_CURRENT_USER, kRunOnce, "KT_X", "C:\\y.exe");
    RegSetString(HKEY_CURRENT_USER, kRun, "KT_Marker", "m");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(AutoRun(EVENT_NEW, kCuRun, "KT_Marker=m"), ev[0]);
}
