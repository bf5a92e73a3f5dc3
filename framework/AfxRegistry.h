// The program's one way to the registry. Names, paths and texts are
// UTF-8 (plain ASCII paths read as themselves); keys are read through the UTF-16 functions,
// so that nothing the code page cannot show collides or goes unseen.
#pragma once
#include "AfxHandle.h"
#include <functional>
#include <string>
#include <vector>

// One open key, closed when it ends. Open and Create replace the held key only when they
// succeed, and return the registry's error code; after a failure the key held before (or
// none) is still held.
class CRegistryKey {
public:
    CRegistryKey() = default;
    [[nodiscard]] LONG Open(HKEY parent, const std::string& path, REGSAM access = KEY_READ);
    [[nodiscard]] LONG Create(HKEY parent, const std::string& path, REGSAM access = KEY_READ | KEY_WRITE);
    void Close() { m_key.Close(); }

    HKEY Get() const { return m_key.Get(); }
    bool IsOpen() const { return static_cast<bool>(m_key); }
    // False for a key deleted since it was opened: its handle stays valid, but every call
    // through it fails (ERROR_KEY_DELETED), and it never signals a change again.
    bool Exists() const;
    LONG Notify(bool subtree, DWORD filter, HANDLE event) const;

    // A value's text, whole, up to its first NUL; empty when missing or unreadable. Numbers
    // and binary data read as their bytes in the code page.
    std::string ReadText(const std::string& name) const;
    // The default value of subkey `path` (of this key when empty), opened for reading only so
    // that reading never creates a key.
    std::string ReadDefaultText(const std::string& path = std::string()) const;
    // A value whole, as stored: false when missing or unreadable.
    bool ReadValue(const std::string& name, DWORD& type, std::vector<BYTE>& data) const;
    // A REG_DWORD value; false when missing or of another type.
    bool ReadNumber(const std::string& name, DWORD& number) const;
    [[nodiscard]] LONG WriteValue(const std::string& name, DWORD type, const void* data, DWORD size);
    // REG_SZ or REG_EXPAND_SZ, stored as UTF-16.
    [[nodiscard]] LONG WriteText(const std::string& name, const std::string& text, DWORD type = REG_SZ);
    [[nodiscard]] LONG WriteNumber(const std::string& name, DWORD number) {
        return WriteValue(name, REG_DWORD, &number, sizeof number);
    }
    LONG DeleteValue(const std::string& name);

private:
    CKeyHandle m_key;
};

// The text of registry data: strings up to their first NUL, other types as their bytes up to
// the first zero byte.
std::string ValueText(DWORD type, const BYTE* data, DWORD size);

// The text of registry data by its type: strings as stored, up to their first NUL; a multi-string's
// strings joined with ","; numbers in decimal; anything else in hex, two digits a byte.
std::string TypedValueText(DWORD type, const BYTE* data, DWORD size);

// Every value of the key, in enumeration order, whole whatever its length. A value that
// grows between the size check and its reading is read again; one that cannot be read is
// passed over rather than ending the enumeration.
void ForEachValue(
    HKEY key,
    const std::function<void(const std::string& name, DWORD type, const BYTE* data, DWORD size)>& visit);
// Every direct subkey's name, whole, in enumeration order.
void ForEachSubkey(HKEY key, const std::function<void(const std::string& name)>& visit);
// The same with each subkey's last-write time (100 ns units since 1601), as the enumeration gives it.
void ForEachSubkeyStamped(HKEY key,
                          const std::function<void(const std::string& name, ULONGLONG written)>& visit);
// The key's last-write time; 0 when it cannot be read.
ULONGLONG KeyLastWrite(HKEY key);
