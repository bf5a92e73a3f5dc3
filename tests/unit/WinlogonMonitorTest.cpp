// The Winlogon monitor on a real thread against the Wine registry.
#include "monitors/WinlogonMonitor.h"
#include "MonitorThreadTest.h"

namespace {
const std::string kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char* kValues[] = {"KT_1Bin", "KT_2Multi", "KT_3Str", "KT_4Num", "KT_5Short", "KT_Marker"};

void CleanUp() {
    for (const char* v : kValues)
        RegDeleteValueAt(HKEY_LOCAL_MACHINE, kWinlogon, v);
}

RecordedEvent Winlogon(int kind, const std::string& value, const std::string& text) {
    return {"WinLogon", kind, value, text};
}

void SetNumber(const char* name, DWORD number) {
    RegSetBinary(HKEY_LOCAL_MACHINE, kWinlogon, name, &number, sizeof number, REG_DWORD);
}

class WinlogonMonitor : public MonitorThreadTest {
  protected:
    void SetUp() override { CleanUp(); }
    void TearDown() override {
        Stop();
        CleanUp();
    }
};
} // namespace

TEST_F(WinlogonMonitor, StringAndNumberValues) {
    SetNumber("KT_4Num", 0);
    Start(MonitorWinlogonProc);
    SetNumber("KT_4Num", 1);
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Winlogon(EVENT_CHANGED, "KT_4Num", "1"), ev[0]);

    SetNumber("KT_4Num", 0xFFFFFFFF);
    RegSetString(HKEY_LOCAL_MACHINE, kWinlogon, "KT_3Str", "userinit.exe");
    ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Winlogon(EVENT_NEW, "KT_3Str", "userinit.exe"), ev[0]);
    EXPECT_EQ(Winlogon(EVENT_CHANGED, "KT_4Num", "-1"), ev[1]);

    RegSetString(HKEY_LOCAL_MACHINE, kWinlogon, "KT_3Str", "userinit.exe,C:\\extra.exe");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Winlogon(EVENT_CHANGED, "KT_3Str", "userinit.exe,C:\\extra.exe"), ev[0]);

    // A number value shorter than four bytes counts only the bytes it has.
    const BYTE one = 7;
    RegSetBinary(HKEY_LOCAL_MACHINE, kWinlogon, "KT_5Short", &one, 1, REG_DWORD);
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kWinlogon, "KT_3Str");
    ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Winlogon(EVENT_DELETED, "KT_3Str", "userinit.exe,C:\\extra.exe"), ev[0]);
    EXPECT_EQ(Winlogon(EVENT_NEW, "KT_5Short", "7"), ev[1]);
}

TEST_F(WinlogonMonitor, OnlyStringAndNumberTypesTakePart) {
    RegSetString(HKEY_LOCAL_MACHINE, kWinlogon, "KT_3Str", "explorer.exe");
    Start(MonitorWinlogonProc);
    RegSetString(HKEY_LOCAL_MACHINE, kWinlogon, "KT_3Str", "explorer.exe", REG_EXPAND_SZ);
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Winlogon(EVENT_DELETED, "KT_3Str", "explorer.exe"), ev[0]);

    RegSetString(HKEY_LOCAL_MACHINE, kWinlogon, "KT_3Str", "explorer.exe", REG_SZ);
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Winlogon(EVENT_NEW, "KT_3Str", "explorer.exe"), ev[0]);

    // Binary and multi-string values never report, whether added, changed or removed...
    const BYTE bytes[] = {'a', 0, 'b'};
    RegSetBinary(HKEY_LOCAL_MACHINE, kWinlogon, "KT_1Bin", bytes, sizeof bytes, REG_BINARY);
    RegSetBinary(HKEY_LOCAL_MACHINE, kWinlogon, "KT_2Multi", "a\0b\0", 5, REG_MULTI_SZ);
    EXPECT_TRUE(Quiet().empty());
    RegSetBinary(HKEY_LOCAL_MACHINE, kWinlogon, "KT_1Bin", bytes, 1, REG_BINARY);
    RegSetBinary(HKEY_LOCAL_MACHINE, kWinlogon, "KT_2Multi", "c\0\0", 3, REG_MULTI_SZ);
    EXPECT_TRUE(Quiet().empty());
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kWinlogon, "KT_1Bin");
    EXPECT_TRUE(Quiet().empty());

    // ...and a skipped value does not end the reading of the values after it.
    RegSetBinary(HKEY_LOCAL_MACHINE, kWinlogon, "KT_1Bin", bytes, sizeof bytes, REG_BINARY);
    RegSetString(HKEY_LOCAL_MACHINE, kWinlogon, "KT_3Str", "explorer.exe /x");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Winlogon(EVENT_CHANGED, "KT_3Str", "explorer.exe /x"), ev[0]);
}

// Names longer than the 259 characters kept for a name, alike in those: still two values.
TEST_F(WinlogonMonitor, LongNamesThatShareTheirStartAreTwoValues) {
    std::string one = "KT_Long" + std::string(293, 'L') + "1", two = one.substr(0, one.size() - 1) + "2";
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kWinlogon, one.c_str());
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kWinlogon, two.c_str());
    Start(MonitorWinlogonProc);
    RegSetString(HKEY_LOCAL_MACHINE, kWinlogon, one.c_str(), "one");
    RegSetString(HKEY_LOCAL_MACHINE, kWinlogon, two.c_str(), "two");
    auto ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Winlogon(EVENT_NEW, one, "one"), ev[0]);
    EXPECT_EQ(Winlogon(EVENT_NEW, two, "two"), ev[1]);
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kWinlogon, one.c_str());
    ev = Expect(1);
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kWinlogon, two.c_str());
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Winlogon(EVENT_DELETED, one, "one"), ev[0]);
}
