// The install monitor on a real thread against the Wine registry.
#include "monitors/InstallMonitor.h"
#include "MonitorThreadTest.h"

namespace {
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char* kEntries[] = {"KT_Tool", "KT_Solo", "KT_Bare"};

void CleanUp() {
    for (const char* e : kEntries)
        RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kUninstall + e);
}

RecordedEvent Install(int kind, const std::string& entry, const std::string& text) {
    return {"Installs", kind, entry, text};
}

class InstallMonitor : public MonitorThreadTest {
  protected:
    void SetUp() override { CleanUp(); }
    void TearDown() override {
        Stop();
        CleanUp();
    }
};
} // namespace

TEST_F(InstallMonitor, InstallUpgradeAndRemoval) {
    Start(MonitorInstallProc);
    RegSetString(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool", "DisplayName", "Tool");
    RegSetString(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool", "DisplayVersion", "1.2");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Install(EVENT_NEW, "KT_Tool", "Tool v1.2"), ev[0]);

    RegSetString(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool", "DisplayVersion", "1.3");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Install(EVENT_CHANGED, "KT_Tool", "Tool v1.3"), ev[0]);

    // Other values, and subkeys of an entry, are not part of its text.
    RegSetString(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool", "InstallLocation", "C:\\Tool");
    RegSetString(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool\\Parts", "Core", "1");
    EXPECT_TRUE(Quiet().empty());

    RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Install(EVENT_DELETED, "KT_Tool", "Tool v1.3"), ev[0]);
}

TEST_F(InstallMonitor, MissingPartsLeaveTheirPlaceEmpty) {
    Start(MonitorInstallProc);
    RegSetString(HKEY_LOCAL_MACHINE, kUninstall + "KT_Solo", "DisplayName", "Solo");
    RegSetString(HKEY_LOCAL_MACHINE, kUninstall + "KT_Bare", "UninstallString", "C:\\bare.exe /x");
    auto ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Install(EVENT_NEW, "KT_Bare", " v"), ev[0]);
    EXPECT_EQ(Install(EVENT_NEW, "KT_Solo", "Solo v"), ev[1]);

    // A version arriving later in a nested write is seen: the whole tree notifies.
    RegSetString(HKEY_LOCAL_MACHINE, kUninstall + "KT_Bare", "DisplayVersion", "2.0");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Install(EVENT_CHANGED, "KT_Bare", " v2.0"), ev[0]);
}
