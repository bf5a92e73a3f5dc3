// RESOURCE_LOCK: uninstall
// The install monitor on a real thread against the Wine registry.
#include "MonitorThreadTest.h"
#include "monitors/InstallMonitor.h"

namespace {
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

RecordedEvent Install(int kind, const std::string& entry, const std::string& text) {
    return {"Installs", kind, entry, text};
}
void SetEntry(const std::string& entry, const char* name, const char* value) {
    RegSetString(HKEY_LOCAL_MACHINE, kUninstall + entry, name, value);
}

class InstallMonitor : public MonitorThreadTest {
protected:
    void CleanUp() override {
        for (const char* e : {"KT_Tool", "KT_Solo", "KT_Bare"})
            RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kUninstall + e);
    }
};
} // namespace

TEST_F(InstallMonitor, InstallUpgradeAndRemovalWithMissingPartsLeftEmpty) {
    Start(MonitorInstallProc);
    SetEntry("KT_Tool", "DisplayName", "Tool");
    SetEntry("KT_Tool", "DisplayVersion", "1.2");
    SetEntry("KT_Solo", "DisplayName", "Solo");
    SetEntry("KT_Bare", "UninstallString", "C:\\bare.exe /x");
    EXPECT_EQ((Events{Install(EVENT_NEW, "KT_Bare", " v"), Install(EVENT_NEW, "KT_Solo", "Solo v"),
                      Install(EVENT_NEW, "KT_Tool", "Tool v1.2")}),
              Expect(3));

    // Values inside an entry signal too: the whole tree is watched.
    SetEntry("KT_Tool", "DisplayVersion", "1.3");
    SetEntry("KT_Bare", "DisplayVersion", "2.0");
    EXPECT_EQ((Events{Install(EVENT_CHANGED, "KT_Bare", " v2.0"), Install(EVENT_CHANGED, "KT_Tool", "Tool v1.3")}),
              Expect(2));

    // Other values, and subkeys of an entry, are not part of its text.
    SetEntry("KT_Tool", "InstallLocation", "C:\\Tool");
    SetEntry("KT_Tool\\Parts", "Core", "1");
    EXPECT_TRUE(Quiet().empty());

    RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool");
    EXPECT_EQ(Events{Install(EVENT_DELETED, "KT_Tool", "Tool v1.3")}, Expect(1));
}
