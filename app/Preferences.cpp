#include "Preferences.h"

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
