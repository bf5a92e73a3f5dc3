// A .reg file as the registry editor exports one ("Windows Registry Editor Version 5.00", UTF-16
// LE with a byte order mark): `reg import`, or a double click, puts the value back as it was, or
// takes it away again when it was missing.
#pragma once
#include "../monitors/places/PlaceOfEvent.h"
#include <string>

// `keyText` "HKLM\Software\...\Run" (HKLM, HKCU or HKCR; a 32-bit programs' key by its
// WOW6432Node path), `name` "" for the default value.
std::wstring RegFileText(const std::string& keyText, const std::string& name,
                         const RegistryValueState& state);
// Writes the text as UTF-16 LE, with its byte order mark, into a file (a code-page path) that
// did not exist: a .reg file, a task's XML; the error code.
DWORD WriteNewUnicodeFile(const std::string& path, const std::wstring& text);
