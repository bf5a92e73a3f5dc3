// RESOURCE_LOCK: uninstall
// The install monitor on a real thread against the Wine registry.
#include "MonitorThreadTest.h"
#include "monitors/InstallMonitor.h"

namespace {
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kZhe = "KT_\xD0\x96", kIi = "KT_\xD0\x98"; // both "KT_?" in the code page

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
        RegDeleteTreeIn(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool", KEY_WOW64_32KEY);
        RegDeleteTreeAt(HKEY_CURRENT_USER, kUninstall + "KT_Tool");
        for (const std::string& e : {kZhe, kIi})
            RegDeleteTreeIn(HKEY_LOCAL_MACHINE, kUninstall + e, 0);
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
    EXPECT_EQ(
        (Events{Install(EVENT_CHANGED, "KT_Bare", " v2.0"), Install(EVENT_CHANGED, "KT_Tool", "Tool v1.3")}),
        Expect(2));

    // Other values, and subkeys of an entry, are not part of its text.
    SetEntry("KT_Tool", "InstallLocation", "C:\\Tool");
    SetEntry("KT_Tool\\Parts", "Core", "1");
    EXPECT_TRUE(Quiet().empty());

    RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool");
    EXPECT_EQ(Events{Install(EVENT_DELETED, "KT_Tool", "Tool v1.3")}, Expect(1));
}

// The same entry name in the 32-bit programs' list, in the user's list, and two names alike
// in the code page: four entries, each reported once from where it is.
TEST_F(InstallMonitor, EveryListAndNamesOutsideTheCodePage) {
    Start(MonitorInstallProc);
    RegSetWide(HKEY_LOCAL_MACHINE, kUninstall + "KT_Tool", "DisplayName", "Tool32", KEY_WOW64_32KEY);
    RegSetWide(HKEY_CURRENT_USER, kUninstall + "KT_Tool", "DisplayName", "Mine");
    RegSetWide(HKEY_LOCAL_MACHINE, kUninstall + kZhe, "DisplayName", "Zhe");
    RegSetWide(HKEY_LOCAL_MACHINE, kUninstall + kIi, "DisplayName", "I");
    EXPECT_EQ((Events{Install(EVENT_NEW, "KT_?", "I v"), Install(EVENT_NEW, "KT_?", "Zhe v"),
                      Install(EVENT_NEW, "KT_Tool (32-bit)", "Tool32 v"),
                      Install(EVENT_NEW, "KT_Tool (per user)", "Mine v")}),
              Expect(4));
    RegDeleteTreeIn(HKEY_LOCAL_MACHINE, kUninstall + kIi, 0);
    EXPECT_EQ(Events{Install(EVENT_DELETED, "KT_?", "I v")}, Expect(1));
}
