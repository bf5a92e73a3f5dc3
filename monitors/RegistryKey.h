// Registry access shared by the monitors and the Options dialog.
#pragma once
#include "../framework/AfxString.h"
#include <windows.h>

// Holds one open key; closes it when it ends. A key that cannot be opened leaves the handle
// null, and every read through it then fails.
class CRegistryKey {
public:
    enum OpenMode { OpenExisting, OpenOrCreate };

    CRegistryKey(HKEY hive, const char* path, OpenMode mode = OpenExisting);
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;
    ~CRegistryKey();

    bool IsOpen() const { return m_hKey != nullptr; }
    LONG OpenResult() const { return m_openResult; }

    // Raw read into buffer[size]; on any failure (too small included) size becomes 0.
    bool ReadValue(const char* name, void* buffer, DWORD& size);
    // The value as text up to its first zero byte, at most 1023 bytes (a longer value is cut,
    // not emptied); empty when missing or unreadable.
    CString ReadString(const char* name);
    bool WriteString(const char* name, const char* text);
    LONG DeleteValue(const char* name);

    HKEY m_hKey = nullptr;

private:
    LONG m_openResult;
};

// Read limits of the monitors.
const DWORD kMaxNameChars = 260;  // value and subkey names, terminator included
const DWORD kMaxDataBytes = 1024; // value data
const DWORD kMaxTextBytes = 1023; // a value read as text

// The text of registry data: its bytes up to the first zero byte, never beyond `size`, at
// most kMaxTextBytes.
std::string DataText(const BYTE* data, DWORD size);

// One value of an enumeration. A name or data over the limits is read whole and cut to them
// (259 characters, 1024 bytes), so that one long value never ends the enumeration.
struct RegValue {
    char name[kMaxNameChars];
    BYTE data[kMaxDataBytes];
    DWORD size; // bytes of data held
    DWORD type;
    std::string longName; // the whole name when `name` holds it cut, else empty
    std::string Text() const { return DataText(data, size); }
    // The name that tells this value from every other: two long names may share their cut.
    std::string WholeName() const { return longName.empty() ? std::string(name) : longName; }
};

// Whether an open key still exists: a handle to a deleted key stays valid, but every call
// through it fails (ERROR_KEY_DELETED), and it never signals a change again.
bool KeyExists(HKEY key);

// RegEnumValueA at `index`: ERROR_SUCCESS, ERROR_NO_MORE_ITEMS or the error that ended it.
LONG EnumValue(HKEY key, DWORD index, RegValue& out);
// RegEnumKeyA at `index` into name[kMaxNameChars].
LONG EnumSubkey(HKEY key, DWORD index, char (&name)[kMaxNameChars]);
