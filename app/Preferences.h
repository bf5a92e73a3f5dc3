// The user's switches, REG_DWORD values under HKEY_CURRENT_USER\Software\Kestrow: on unless
// set to 0, so that a user who never touched them gets every feature.
#pragma once
#include <windows.h>
#include <vector>

extern const char* const kReportOfflineSwitch; // changes made while the program was not running

bool IsSwitchedOn(const char* value);
LONG SetSwitch(const char* value, bool on);

// A row of whole numbers kept as text, "75,80,65": empty when the value is missing, is not text,
// or holds anything but numbers and commas.
std::vector<int> ReadNumbers(const char* value);
LONG WriteNumbers(const char* value, const std::vector<int>& numbers);
