#include "RegistryKey.h"
#include <algorithm>
#include <cstring>
#include <vector>

CRegistryKey::CRegistryKey(HKEY hive, const char* path, OpenMode mode) {
    m_openResult = mode == OpenOrCreate ? ::RegCreateKeyA(hive, path, &m_hKey) : ::RegOpenKeyA(hive, path, &m_hKey);
    if (m_openResult != ERROR_SUCCESS)
        m_hKey = nullptr;
}

CRegistryKey::~CRegistryKey() {
    if (m_hKey)
        ::RegCloseKey(m_hKey);
}

bool CRegistryKey::ReadValue(const char* name, void* buffer, DWORD& size) {
    if (size)
        static_cast<BYTE*>(buffer)[0] = 0;
    DWORD type;
    if (::RegQueryValueExA(m_hKey, name, nullptr, &type, static_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS)
        return true;
    size = 0;
    return false;
}

std::string DataText(const BYTE* data, DWORD size) {
    size = std::min(size, kMaxTextBytes);
    const void* zero = std::memchr(data, 0, size);
    size_t n = zero ? static_cast<const BYTE*>(zero) - data : size;
    return std::string(reinterpret_cast<const char*>(data), n);
}

CString CRegistryKey::ReadString(const char* name) {
    BYTE buf[kMaxDataBytes];
    DWORD size = kMaxTextBytes;
    DWORD type;
    LONG r = ::RegQueryValueExA(m_hKey, name, nullptr, &type, buf, &size);
    if (r == ERROR_SUCCESS)
        return CString(DataText(buf, size));
    // Longer than the buffer: read it whole and keep its beginning.
    for (int attempt = 0; r == ERROR_MORE_DATA && attempt < 3; ++attempt) {
        std::vector<BYTE> big(size + 2);
        DWORD bigSize = size;
        r = ::RegQueryValueExA(m_hKey, name, nullptr, &type, big.data(), &bigSize);
        if (r == ERROR_SUCCESS)
            return CString(DataText(big.data(), bigSize));
        size = bigSize;
    }
    return CString();
}

bool CRegistryKey::WriteString(const char* name, const char* text) {
    return ::RegSetValueExA(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

LONG CRegistryKey::DeleteValue(const char* name) { return ::RegDeleteValueA(m_hKey, name); }

LONG EnumValue(HKEY key, DWORD index, RegValue& out) {
    out.name[0] = '\0';
    out.data[0] = 0;
    out.longName.clear();
    DWORD nameLen = kMaxNameChars;
    out.size = kMaxDataBytes;
    LONG r = ::RegEnumValueA(key, index, out.name, &nameLen, nullptr, &out.type, out.data, &out.size);
    for (int attempt = 0; r == ERROR_MORE_DATA && attempt < 3; ++attempt) {
        // Name or data over the limits: read the value whole, then keep what fits.
        DWORD maxName = 0, maxData = 0;
        if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                               &maxData, nullptr, nullptr) != ERROR_SUCCESS)
            return r;
        std::vector<char> name(std::max<DWORD>(maxName, kMaxNameChars) * 2 + 2);
        std::vector<BYTE> data(std::max<DWORD>(std::max(maxData, out.size), kMaxDataBytes) + 2);
        nameLen = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        r = ::RegEnumValueA(key, index, name.data(), &nameLen, nullptr, &out.type, data.data(), &size);
        if (r == ERROR_SUCCESS) {
            CopyCut(out.name, name.data());
            if (nameLen >= kMaxNameChars)
                out.longName = name.data();
            out.size = std::min<DWORD>(size, kMaxDataBytes);
            std::memcpy(out.data, data.data(), out.size);
        } else {
            out.size = size;
        }
    }
    if (r != ERROR_SUCCESS)
        out.size = 0;
    return r;
}

LONG EnumSubkey(HKEY key, DWORD index, char (&name)[kMaxNameChars]) {
    name[0] = '\0';
    return ::RegEnumKeyA(key, index, name, kMaxNameChars);
}

bool KeyExists(HKEY key) {
    return key && ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}
