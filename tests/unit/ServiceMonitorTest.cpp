// RESOURCE_LOCK: services
// The service monitor on a real thread, and the start-up clean-up of empty ImagePath values.
#include "MonitorThreadTest.h"
#include "monitors/RegistryKey.h"
#include "monitors/ServiceMonitor.h"

namespace {
const std::string kServices = "System\\CurrentControlSet\\Services\\";

RecordedEvent Service(int kind, const std::string& name, const std::string& imagePath) {
    return {"Service", kind, name, imagePath};
}
void SetImagePath(const char* service, const std::string& path, DWORD type = REG_SZ) {
    RegSetString(HKEY_LOCAL_MACHINE, kServices + service, "ImagePath", path, type);
}

class ServiceMonitor : public MonitorThreadTest {
protected:
    void CleanUp() override {
        for (const char* s : {"KT_SvcA", "KT_SvcB", "KT_SvcLong", "KT_Empty", "KT_EmptyExpand", "KT_NoData",
                              "KT_Full", "KT_NoPath", "KT_Binary", "KT_Number"})
            RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kServices + s);
    }
};
class ServiceCleanUp : public ServiceMonitor {};
} // namespace

TEST_F(ServiceMonitor, ServicesComeAndGoAndImagePathRewritesShowAtOnce) {
    SetImagePath("KT_SvcA", "C:\\old.exe");
    Start(MonitorServiceProc);
    // A rewritten path is a classic hijack: reported one settle after the write.
    SetImagePath("KT_SvcA", "C:\\new.exe");
    EXPECT_EQ(Events{Service(EVENT_CHANGED, "KT_SvcA", "C:\\new.exe")}, Expect(1));

    // A service key without an ImagePath yet is new with no details; a long path is whole (the
    // event record cuts what it shows).
    RegCreateKeyAt(HKEY_LOCAL_MACHINE, kServices + "KT_SvcB");
    SetImagePath("KT_SvcLong", std::string(1500, 'p'), REG_EXPAND_SZ);
    EXPECT_EQ(
        (Events{Service(EVENT_NEW, "KT_SvcB", ""), Service(EVENT_NEW, "KT_SvcLong", std::string(1500, 'p'))}),
        Expect(2));

    // Other values below a service change nothing that is shown.
    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_SvcB", "Start", "3");
    EXPECT_TRUE(Quiet().empty());
    RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kServices + "KT_SvcA");
    EXPECT_EQ(Events{Service(EVENT_DELETED, "KT_SvcA", "C:\\new.exe")}, Expect(1));
}

TEST_F(ServiceCleanUp, OnlyEmptyTextImagePathsAreDeleted) {
    SetImagePath("KT_Empty", "");
    SetImagePath("KT_EmptyExpand", "", REG_EXPAND_SZ);
    RegSetBinary(HKEY_LOCAL_MACHINE, kServices + "KT_NoData", "ImagePath", "", 0, REG_BINARY);
    SetImagePath("KT_Full", "C:\\full.exe");
    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_NoPath", "Start", "3");
    // Not texts: a leading zero byte does not make them empty.
    RegSetBinary(HKEY_LOCAL_MACHINE, kServices + "KT_Binary", "ImagePath", "\0ab", 3, REG_BINARY);
    DWORD number = 0x100;
    RegSetBinary(HKEY_LOCAL_MACHINE, kServices + "KT_Number", "ImagePath", &number, sizeof number, REG_DWORD);

    CleanEmptyImagePaths();

    const struct {
        const char* service;
        bool kept;
    } expected[] = {{"KT_Empty", false},  {"KT_EmptyExpand", false}, {"KT_NoData", false}, {"KT_Full", true},
                    {"KT_NoPath", false}, {"KT_Binary", true},       {"KT_Number", true}};
    for (const auto& e : expected) {
        CRegistryKey key;
        EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, kServices + e.service))
            << e.service << ": only the value goes";
        DWORD size = 0;
        EXPECT_EQ(e.kept,
                  RegQueryValueExA(key.Get(), "ImagePath", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS)
            << e.service;
        if (std::string(e.service) == "KT_Full") {
            EXPECT_EQ("C:\\full.exe", key.ReadText("ImagePath"));
        }
    }
}
