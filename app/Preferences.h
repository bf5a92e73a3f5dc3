// The user's switches, REG_DWORD values under HKEY_CURRENT_USER\Software\Kestrow: on unless
// set to 0, so that a user who never touched them gets every feature.
#pragma once
#include <windows.h>

extern const char* const kReportOfflineSwitch; // changes made while the program was not running

bool IsSwitchedOn(const char* value);
LONG SetSwitch(const char* value, bool on);
