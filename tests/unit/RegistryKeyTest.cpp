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

TEST_F(RegistryKey, OpenNeverCreatesAndAFailedOpenKeepsTheKeyHeld) {
    CRegistryKey key;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_CURRENT_USER, kScratch));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ("", key.ReadText("x"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kScratch));

    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, kScratch));
    EXPECT_NE(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, kScratch + "\\Missing"));
    EXPECT_TRUE(key.Exists()) << "the key held before stays held";
    RegSetString(HKEY_CURRENT_USER, kScratch, "Kestrow", "C:\\Kestrow.exe");
    EXPECT_EQ(ERROR_SUCCESS, key.DeleteValue("Kestrow"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.DeleteValue("Kestrow"));
    RegDeleteTreeAt(HKEY_CURRENT_USER, kScratch);
    EXPECT_FALSE(key.Exists());
}

// Values are read whole whatever their length, names outside the code page stay apart, and
// the enumeration goes past values over every usual limit.
TEST_F(RegistryKey, ValuesAreReadWholeAsUtf8) {
    std::string big(2000, 'a');
    big[1500] = 'b';
    const std::string longName(300, 'n'), zhe = "Updater\xD0\x96", ii = "Updater\xD0\x98"; // U+0416, U+0418
    RegSetString(HKEY_CURRENT_USER, kScratch, "big", big);
    RegSetString(HKEY_CURRENT_USER, kScratch, longName.c_str(), "named");
    RegSetWide(HKEY_CURRENT_USER, kScratch, zhe, "C:\\\xE4\xB8\xAD\xE6\x96\x87\\app.exe"); // C:\中文\app.exe
    RegSetWide(HKEY_CURRENT_USER, kScratch, ii, "two");
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "raw", "xy\xE9w", 4, REG_BINARY); // no zero byte
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "none", nullptr, 0, REG_SZ);
    DWORD seven = 7;
    RegSetBinary(HKEY_CURRENT_USER, kScratch, "seven", &seven, 4, REG_DWORD);
    RegSetString(HKEY_CURRENT_USER, kScratch, "multi", std::string("a\0b\0", 4), REG_MULTI_SZ);

    const std::map<std::string, std::string> expected = {
        {"big", big},      {longName, "named"},    {zhe, "C:\\\xE4\xB8\xAD\xE6\x96\x87\\app.exe"},
        {ii, "two"},       {"raw", "xy\xC3\xA9w"}, {"none", ""},
        {"seven", "\x07"}, {"multi", "a"}};
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, kScratch));
    std::map<std::string, std::string> seen;
    ForEachValue(key.Get(), [&](const std::string& name, DWORD type, const BYTE* data, DWORD size) {
        seen[name] = ValueText(type, data, size);
    });
    EXPECT_EQ(expected, seen);
    for (const auto& e : expected)
        EXPECT_EQ(e.second, key.ReadText(e.first)) << e.first;
    // Shown in the code page, with its replacement character for what it lacks.
    EXPECT_EQ("Updater?", Utf8ToAnsi(zhe));
    EXPECT_EQ("xy\xE9w", Utf8ToAnsi(seen["raw"]));
}
