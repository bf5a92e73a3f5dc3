#include "Preferences.h"
#include "../framework/AfxRegistry.h"
#include <cstdlib>
#include <string>

static const char* const kSettingsKeyPath = "Software\\Kestrow";
const char* const kReportOfflineSwitch = "ReportOffline";

namespace {
CRegistryKey Settings() {
    CRegistryKey key;
    (void)key.Open(HKEY_CURRENT_USER, kSettingsKeyPath);
    return key;
}

// Creates the settings key if need be, then writes.
template <class Write> LONG WriteSetting(Write write) {
    CRegistryKey key;
    LONG r = key.Create(HKEY_CURRENT_USER, kSettingsKeyPath, KEY_SET_VALUE);
    return r != ERROR_SUCCESS ? r : write(key);
}
} // namespace

bool IsSwitchedOn(const char* value) {
    DWORD data = 1;
    return !Settings().ReadNumber(value, data) || data != 0;
}

LONG SetSwitch(const char* value, bool on) {
    return WriteSetting([&](CRegistryKey& key) { return key.WriteNumber(value, on ? 1 : 0); });
}

std::vector<int> ReadNumbers(const char* value) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!Settings().ReadValue(value, type, data) || type != REG_SZ)
        return {};
    std::string text = ValueText(type, data.data(), static_cast<DWORD>(data.size()));
    std::vector<int> numbers;
    for (const char* p = text.c_str(); *p;) {
        char* end = nullptr;
        long n = std::strtol(p, &end, 10);
        if (end == p || n < -100000 || n > 100000 || (*end && *end != ','))
            return {};
        numbers.push_back(static_cast<int>(n));
        p = *end ? end + 1 : end;
    }
    return numbers;
}

LONG WriteNumbers(const char* value, const std::vector<int>& numbers) {
    std::string text;
    for (int n : numbers)
        text += (text.empty() ? "" : ",") + std::to_string(n);
    return WriteSetting([&](CRegistryKey& key) { return key.WriteText(value, text); });
}
