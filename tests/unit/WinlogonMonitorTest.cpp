// RESOURCE_LOCK: winlogon
// The Winlogon monitor on a real thread against the Wine registry.
#include "MonitorThreadTest.h"
#include "monitors/WinlogonMonitor.h"

namespace {
const std::string kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kLong = "KT_Long" + std::string(293, 'L'); // past the 259 characters kept for a name

RecordedEvent Winlogon(int kind, const std::string& value, const std::string& text) {
    return {"WinLogon", kind, value, text};
}
void Set(const std::string& name, const void* data, DWORD size, DWORD type) {
    RegSetBinary(HKEY_LOCAL_MACHINE, kWinlogon, name.c_str(), data, size, type);
}
void SetNumber(const char* name, DWORD number) {
    Set(name, &number, sizeof number, REG_DWORD);
}
void SetText(const std::string& name, const std::string& text, DWORD type = REG_SZ) {
    RegSetString(HKEY_LOCAL_MACHINE, kWinlogon, name.c_str(), text, type);
}
void Delete(const std::string& name) {
    RegDeleteValueAt(HKEY_LOCAL_MACHINE, kWinlogon, name.c_str());
}

class WinlogonMonitor : public MonitorThreadTest {
protected:
    void CleanUp() override {
        for (std::string v : {"KT_1Bin", "KT_2Multi", "KT_3Str", "KT_4Num", "KT_5Short", "KT_6Bin"})
            Delete(v);
        Delete(kLong + "1");
        Delete(kLong + "2");
    }
};
} // namespace

TEST_F(WinlogonMonitor, OnlyStringAndNumberValuesTakePart) {
    // Skipped values first: the reading goes on past them.
    Set("KT_1Bin", "a\0b", 3, REG_BINARY);
    Set("KT_2Multi", "a\0b\0", 5, REG_MULTI_SZ);
    SetNumber("KT_4Num", 0);
    SetText("KT_3Str", "explorer.exe");
    Start(MonitorWinlogonProc);

    // A string given another type leaves; a number shorter than four bytes counts only the
    // bytes it has, never the rest of the one read before it.
    SetNumber("KT_4Num", 0xFFFFFFFF);
    SetText("KT_3Str", "explorer.exe", REG_EXPAND_SZ);
    Set("KT_5Short", "\x07", 1, REG_DWORD);
    EXPECT_EQ((Events{Winlogon(EVENT_DELETED, "KT_3Str", "explorer.exe"),
                      Winlogon(EVENT_CHANGED, "KT_4Num", "-1"), Winlogon(EVENT_NEW, "KT_5Short", "7")}),
              Expect(3));

    // Binary and multi-string values never report, whether added, changed or removed.
    Set("KT_1Bin", "a", 1, REG_BINARY);
    Set("KT_2Multi", "c\0\0", 3, REG_MULTI_SZ);
    Set("KT_6Bin", "x", 1, REG_BINARY);
    EXPECT_TRUE(Quiet().empty());
    Delete("KT_1Bin");
    EXPECT_TRUE(Quiet().empty());

    SetText("KT_3Str", "userinit.exe,C:\\extra.exe");
    SetNumber("KT_4Num", 1);
    EXPECT_EQ((Events{Winlogon(EVENT_NEW, "KT_3Str", "userinit.exe,C:\\extra.exe"),
                      Winlogon(EVENT_CHANGED, "KT_4Num", "1")}),
              Expect(2));
}

// Names alike in the characters kept for a name are still two values, each with its events.
TEST_F(WinlogonMonitor, LongNamesThatShareTheirStartAreTwoValues) {
    Start(MonitorWinlogonProc);
    SetText(kLong + "1", "one");
    SetText(kLong + "2", "two");
    EXPECT_EQ((Events{Winlogon(EVENT_NEW, kLong + "1", "one"), Winlogon(EVENT_NEW, kLong + "2", "two")}),
              Expect(2));
    Delete(kLong + "1");
    EXPECT_EQ(Events{Winlogon(EVENT_DELETED, kLong + "1", "one")}, Expect(1));
}
