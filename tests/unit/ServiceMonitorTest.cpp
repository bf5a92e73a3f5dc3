// The service monitor on a real thread, and the start-up clean-up of empty ImagePath values.
#include "monitors/ServiceMonitor.h"
#include "MonitorThreadTest.h"
#include "monitors/RegistryKey.h"

namespace {
const std::string kServices = "System\\CurrentControlSet\\Services\\";
const char* kTestServices[] = {"KT_SvcA",   "KT_SvcB",        "KT_SvcC",   "KT_SvcLong",
                               "KT_Empty",  "KT_EmptyExpand", "KT_NoData", "KT_Full",
                               "KT_NoPath", "KT_Binary",      "KT_Number"};

void CleanUp() {
    for (const char* s : kTestServices)
        RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kServices + s);
}

RecordedEvent Service(int kind, const std::string& name, const std::string& imagePath) {
    return {"Service", kind, name, imagePath};
}

bool HasImagePath(const char* service) {
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, (kServices + service).c_str(), &key) != ERROR_SUCCESS)
        return false;
    bool found = RegQueryValueExA(key, "ImagePath", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

class ServiceMonitor : public MonitorThreadTest {
  protected:
    void SetUp() override { CleanUp(); }
    void TearDown() override {
        Stop();
        CleanUp();
    }
};
} // namespace

TEST_F(ServiceMonitor, InstalledAndRemovedServices) {
    Start(MonitorServiceProc);
    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_SvcA", "ImagePath", "C:\\svc\\a.exe");
    auto ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Service(EVENT_NEW, "KT_SvcA", "C:\\svc\\a.exe"), ev[0]);

    // A path over the text limit is cut, not emptied.
    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_SvcLong", "ImagePath", std::string(1500, 'p'),
                 REG_EXPAND_SZ);
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Service(EVENT_NEW, "KT_SvcLong", std::string(1023, 'p')), ev[0]);

    RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kServices + "KT_SvcA");
    ev = Expect(1);
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Service(EVENT_DELETED, "KT_SvcA", "C:\\svc\\a.exe"), ev[0]);
}

TEST_F(ServiceMonitor, ImagePathChangesShowAtTheNextServiceAddedOrRemoved) {
    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_SvcA", "ImagePath", "C:\\old.exe");
    Start(MonitorServiceProc);

    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_SvcA", "ImagePath", "C:\\new.exe");
    EXPECT_TRUE(Quiet().empty());

    // A service key without an ImagePath yet is new with no details.
    RegCreateKeyAt(HKEY_LOCAL_MACHINE, kServices + "KT_SvcB");
    auto ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Service(EVENT_CHANGED, "KT_SvcA", "C:\\new.exe"), ev[0]);
    EXPECT_EQ(Service(EVENT_NEW, "KT_SvcB", ""), ev[1]);

    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_SvcB", "ImagePath", "C:\\late.exe");
    EXPECT_TRUE(Quiet().empty());
    RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kServices + "KT_SvcA");
    ev = Expect(2);
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Service(EVENT_DELETED, "KT_SvcA", "C:\\new.exe"), ev[0]);
    EXPECT_EQ(Service(EVENT_CHANGED, "KT_SvcB", "C:\\late.exe"), ev[1]);
}

namespace {
class ServiceCleanUp : public testing::Test {
  protected:
    void SetUp() override { CleanUp(); }
    void TearDown() override { CleanUp(); }
};
} // namespace

TEST_F(ServiceCleanUp, OnlyEmptyImagePathsAreDeleted) {
    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_Empty", "ImagePath", "");
    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_EmptyExpand", "ImagePath", "", REG_EXPAND_SZ);
    RegSetBinary(HKEY_LOCAL_MACHINE, kServices + "KT_NoData", "ImagePath", "", 0, REG_BINARY);
    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_Full", "ImagePath", "C:\\full.exe");
    RegSetString(HKEY_LOCAL_MACHINE, kServices + "KT_NoPath", "Start", "3");
    // Not texts: a leading zero byte does not make them empty.
    const BYTE binary[] = {0, 'a', 'b'};
    RegSetBinary(HKEY_LOCAL_MACHINE, kServices + "KT_Binary", "ImagePath", binary, sizeof binary, REG_BINARY);
    DWORD number = 0x100;
    RegSetBinary(HKEY_LOCAL_MACHINE, kServices + "KT_Number", "ImagePath", &number, sizeof number, REG_DWORD);

    CleanEmptyImagePaths();

    EXPECT_FALSE(HasImagePath("KT_Empty"));
    EXPECT_FALSE(HasImagePath("KT_EmptyExpand"));
    EXPECT_FALSE(HasImagePath("KT_NoData"));
    EXPECT_STREQ("C:\\full.exe",
                 CRegistryKey(HKEY_LOCAL_MACHINE, (kServices + "KT_Full").c_str()).ReadString("ImagePath"));
    EXPECT_TRUE(HasImagePath("KT_Binary"));
    EXPECT_TRUE(HasImagePath("KT_Number"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kServices + "KT_NoPath"));
    EXPECT_FALSE(HasImagePath("KT_NoPath"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kServices + "KT_Empty")); // only the value goes
}
