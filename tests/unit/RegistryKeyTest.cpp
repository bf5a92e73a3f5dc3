#include "TestSupport.h"
#include "monitors/RegistryKey.h"
#include <gtest/gtest.h>
#include <map>

namespace {
const std::string kScratch = "Software\\KestrowTests\\RegistryKey";

class RegistryKey : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeAt(HKEY_CURRENT_USER, kScratch); }
    void TearDown() override { RegDeleteTreeAt(HKEY_CURRENT_USER, kScratch); }
};
} // namespace

TEST_F(RegistryKey, OpenExistingNeverCreates) {
    CRegistryKey missing(HKEY_CURRENT_USER, kScratch.c_str());
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_STREQ("", missing.ReadString("x"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kScratch));

    CRegistryKey created(HKEY_CURRENT_USER, kScratch.c_str(), CRegistryKey::OpenOrCreate);
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, kScratch));
    RegSetString(HKEY_CURRENT_USER, kScratch, "Kestrow", "C:\\Kestrow.exe");
    EXPECT_EQ(ERROR_SUCCESS, created.DeleteValue("Kestrow"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, created.DeleteValue("Kestrow"));
}

TEST_F(RegistryKey, LongValuesAreCutNotEmptiedAndOthersReadAsText) {
    std::string big(2000, 'a');
    big[1500] = 'b';
    RegSetString(HKEY_CURRENT_USER, kScratch, "big", big);
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "raw", "xyzw", 4, REG_BINARY); // no zero byte
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "none", nullptr, 0, REG_SZ);
    DWORD zero = 0, seven = 7;
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "zero", &zero, 4, REG_DWORD);
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "seven", &seven, 4, REG_DWORD);
    CRegistryKey key(HKEY_CURRENT_USER, kScratch.c_str());
    const std::map<std::string, std::string> expected = {
        {"big", big.substr(0, 1023)}, {"raw", "xyzw"}, {"none", ""}, {"zero", ""}, {"seven", "\x07"}};
    for (const auto& e : expected)
        EXPECT_EQ(e.second, std::string(key.ReadString(e.first.c_str()))) << e.first;

    // The raw read refuses what does not fit and says so by a zero size.
    char buf[260];
    DWORD size = sizeof buf;
    EXPECT_FALSE(key.ReadValue("big", buf, size));
    EXPECT_EQ(0u, size);
    size = sizeof buf;
    EXPECT_TRUE(key.ReadValue("raw", buf, size));
    EXPECT_EQ(4u, size);
}

TEST_F(RegistryKey, EnumerationGoesPastValuesOverTheLimits) {
    std::string longName(300, 'n'), raw(1500, 'r');
    RegSetString(HKEY_CURRENT_USER, kScratch, "first", "1");
    RegSetString(HKEY_CURRENT_USER, kScratch, "long", std::string(2000, 'q'));
    RegSetString(HKEY_CURRENT_USER, kScratch, longName.c_str(), "named");
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "rawlong", raw.data(), 1500, REG_BINARY);
    RegSetString(HKEY_CURRENT_USER, kScratch, "last", "2");

    CRegistryKey key(HKEY_CURRENT_USER, kScratch.c_str());
    std::map<std::string, std::string> seen;
    RegValue v;
    DWORD i = 0;
    for (; EnumValue(key.m_hKey, i, v) == ERROR_SUCCESS; ++i)
        seen[v.name] = v.Text();
    EXPECT_EQ(static_cast<LONG>(ERROR_NO_MORE_ITEMS), EnumValue(key.m_hKey, i, v));
    EXPECT_EQ((std::map<std::string, std::string>{{"first", "1"},
                                                  {"long", std::string(1023, 'q')},
                                                  {longName.substr(0, 259), "named"},
                                                  {"rawlong", std::string(1023, 'r')},
                                                  {"last", "2"}}),
              seen);
}
