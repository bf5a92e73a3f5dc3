// Reading the default value of a class registration key, for the monitors that follow
// HKEY_CLASSES_ROOT. Keys are opened for reading only: reading never creates a key.
#pragma once
#include <windows.h>
#include <string>

// The default value of the open key as text: its bytes up to the first zero byte, at most
// 1023 (a longer value is cut); empty when missing or unreadable.
std::string ReadDefaultText(HKEY key);
// The same for parent\path; empty when the key does not exist or cannot be opened.
std::string ReadDefaultText(HKEY parent, const char* path);
