#include "Preferences.h"
#include <cstdlib>
#include <string>

static const char* const kSettingsKeyPath = "Software\\Kestrow";
const char* const kReportOfflineSwitch = "ReportOffline";

bool IsSwitchedOn(const char* value) {
    DWORD data = 1, size = sizeof data;
    LONG error =
        ::RegGetValueA(HKEY_CURRENT_USER, kSettingsKeyPath, value, RRF_RT_REG_DWORD, nullptr, &data, &size);
    return error != ERROR_SUCCESS || data != 0;
}

LONG SetSwitch(const char* value, bool on) {
    DWORD data = on ? 1 : 0;
    return ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, value, REG_DWORD, &data, sizeof data);
}

std::vector<int> ReadNumbers(const char* value) {
    char text[256] = "";
    DWORD size = sizeof text;
    if (::RegGetValueA(HKEY_CURRENT_USER, kSettingsKeyPath, value, RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
        return {};
    std::vector<int> numbers;
    for (const char* p = text; *p;) {
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
    return ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, value, REG_SZ, text.c_str(),
                             static_cast<DWORD>(text.size() + 1));
}
