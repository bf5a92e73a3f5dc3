#include "TestSupport.h"
#include "monitors/RegistryKey.h"
#include <gtest/gtest.h>

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
    EXPECT_EQ("", std::string(missing.ReadString("x")));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kScratch));

    CRegistryKey created(HKEY_CURRENT_USER, kScratch.c_str(), CRegistryKey::OpenOrCreate);
    EXPECT_TRUE(created.IsOpen());
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, kScratch));
    EXPECT_TRUE(created.WriteString("Kestrow", "C:\\Program Files\\Kestrow\\Kestrow.exe"));
    EXPECT_EQ("C:\\Program Files\\Kestrow\\Kestrow.exe", std::string(created.ReadString("Kestrow")));
    EXPECT_EQ(ERROR_SUCCESS, created.DeleteValue("Kestrow"));
    EXPECT_EQ("", std::string(created.ReadString("Kestrow")));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, created.DeleteValue("Kestrow"));
}

TEST_F(RegistryKey, ReadingLongBinaryAndEmptyValues) {
    std::string big(2000, 'a');
    big[1500] = 'b';
    RegSetString(HKEY_CURRENT_USER, kScratch, "big", big);
    BYTE raw[] = {'x', 'y', 'z', 'w'}; // no zero byte
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "raw", raw, sizeof raw, REG_BINARY);
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "none", nullptr, 0, REG_SZ);
    DWORD zero = 0, seven = 7;
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "zero", &zero, 4, REG_DWORD);
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "seven", &seven, 4, REG_DWORD);

    CRegistryKey key(HKEY_CURRENT_USER, kScratch.c_str());
    // A long value reads as its first 1023 bytes, not as the empty text.
    EXPECT_EQ(big.substr(0, 1023), std::string(key.ReadString("big")));
    EXPECT_EQ("xyzw", std::string(key.ReadString("raw")));
    EXPECT_EQ("", std::string(key.ReadString("none")));
    EXPECT_EQ("", std::string(key.ReadString("zero")));
    EXPECT_EQ("\x07", std::string(key.ReadString("seven")));

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
    RegSetString(HKEY_CURRENT_USER, kScratch, "first", "1");
    RegSetString(HKEY_CURRENT_USER, kScratch, "long", std::string(2000, 'q'));
    std::string longName(300, 'n');
    RegSetString(HKEY_CURRENT_USER, kScratch, longName.c_str(), "named");
    BYTE raw[1500];
    memset(raw, 'r', sizeof raw);
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "rawlong", raw, sizeof raw, REG_BINARY);
    RegSetString(HKEY_CURRENT_USER, kScratch, "last", "2");

    CRegistryKey key(HKEY_CURRENT_USER, kScratch.c_str());
    std::map<std::string, std::string> seen;
    RegValue v;
    DWORD i = 0;
    for (; EnumValue(key.m_hKey, i, v) == ERROR_SUCCESS; ++i)
        seen[v.name] = v.Text();
    EXPECT_EQ(5u, i);
    EXPECT_EQ("1", seen["first"]);
    EXPECT_EQ(std::string(1023, 'q'), seen["long"]);
    EXPECT_EQ("named", seen[longName.substr(0, 259)]);
    EXPECT_EQ(std::string(1023, 'r'), seen["rawlong"]);
    EXPECT_EQ("2", seen["last"]);
    EXPECT_EQ(static_cast<LONG>(ERROR_NO_MORE_ITEMS), EnumValue(key.m_hKey, i, v));
}
