#include "AfxRegistry.h"
#include "AfxString.h"
#include <algorithm>
#include <cstring>
#include <vector>

LONG CRegistryKey::Open(HKEY parent, const std::string& path, REGSAM access) {
    HKEY key;
    LONG r = ::RegOpenKeyExW(parent, Utf8ToWide(path).c_str(), 0, access, &key);
    if (r == ERROR_SUCCESS)
        m_key.Attach(key);
    return r;
}

LONG CRegistryKey::Create(HKEY parent, const std::string& path, REGSAM access) {
    HKEY key;
    LONG r =
        ::RegCreateKeyExW(parent, Utf8ToWide(path).c_str(), 0, nullptr, 0, access, nullptr, &key, nullptr);
    if (r == ERROR_SUCCESS)
        m_key.Attach(key);
    return r;
}

bool CRegistryKey::Exists() const {
    return m_key && ::RegQueryInfoKeyW(m_key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

LONG CRegistryKey::Notify(bool subtree, DWORD filter, HANDLE event) const {
    return ::RegNotifyChangeKeyValue(m_key.Get(), subtree, filter, event, TRUE);
}

std::string ValueText(DWORD type, const BYTE* data, DWORD size) {
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        const auto* text = reinterpret_cast<const wchar_t*>(data);
        size_t n = 0, units = size / sizeof(wchar_t);
        while (n < units && text[n])
            ++n;
        return WideToUtf8(text, n);
    }
    size_t n = 0;
    while (n < size && data[n])
        ++n;
    return AnsiToUtf8(reinterpret_cast<const char*>(data), n);
}

std::string TypedValueText(DWORD type, const BYTE* data, DWORD size) {
    if (type == REG_MULTI_SZ) {
        const auto* text = reinterpret_cast<const wchar_t*>(data);
        size_t units = size / sizeof(wchar_t), start = 0;
        std::string joined;
        // Each string up to its NUL; an empty one ends the list.
        while (start < units && text[start]) {
            size_t end = start;
            while (end < units && text[end])
                ++end;
            joined += (joined.empty() ? "" : ",") + WideToUtf8(text + start, end - start);
            start = end + 1;
        }
        return joined;
    }
    if ((type == REG_DWORD && size == 4) || (type == REG_QWORD && size == 8)) {
        unsigned long long number = 0;
        std::memcpy(&number, data, size);
        return std::to_string(number);
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        return ValueText(type, data, size);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < size; ++i)
        hex += digits[data[i] >> 4], hex += digits[data[i] & 15];
    return hex;
}

bool CRegistryKey::ReadValue(const std::string& name, DWORD& type, std::vector<BYTE>& data) const {
    if (!m_key)
        return false;
    std::wstring wide = Utf8ToWide(name);
    data.resize(1024);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = static_cast<DWORD>(data.size());
        LONG r = ::RegQueryValueExW(m_key.Get(), wide.c_str(), nullptr, &type, data.data(), &size);
        if (r == ERROR_SUCCESS) {
            data.resize(size);
            return true;
        }
        if (r != ERROR_MORE_DATA)
            break;
        // Longer than the buffer (and perhaps growing): read it whole.
        data.resize(size + 2);
    }
    return false;
}

bool CRegistryKey::ReadNumber(const std::string& name, DWORD& number) const {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!ReadValue(name, type, data) || type != REG_DWORD || data.size() != sizeof number)
        return false;
    std::memcpy(&number, data.data(), sizeof number);
    return true;
}

std::string CRegistryKey::ReadText(const std::string& name) const {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    return ReadValue(name, type, data) ? ValueText(type, data.data(), static_cast<DWORD>(data.size()))
                                       : std::string();
}

std::string CRegistryKey::ReadDefaultText(const std::string& path) const {
    if (path.empty())
        return ReadText(std::string());
    CRegistryKey key;
    if (!m_key || key.Open(m_key.Get(), path, KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return std::string();
    return key.ReadText(std::string());
}

LONG CRegistryKey::WriteValue(const std::string& name, DWORD type, const void* data, DWORD size) {
    return ::RegSetValueExW(m_key.Get(), Utf8ToWide(name).c_str(), 0, type, static_cast<const BYTE*>(data),
                            size);
}

LONG CRegistryKey::WriteText(const std::string& name, const std::string& text, DWORD type) {
    std::wstring wide = Utf8ToWide(text);
    return WriteValue(name, type, wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

LONG CRegistryKey::DeleteValue(const std::string& name) {
    return ::RegDeleteValueW(m_key.Get(), Utf8ToWide(name).c_str());
}

void ForEachValue(
    HKEY key,
    const std::function<void(const std::string& name, DWORD type, const BYTE* data, DWORD size)>& visit) {
    DWORD maxName = 0, maxData = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                           &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(maxName + 2);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD i = 0;; ++i) {
        LONG r = ERROR_MORE_DATA;
        DWORD nameLen = 0, type = REG_NONE, size = 0;
        for (int attempt = 0; r == ERROR_MORE_DATA && attempt < 4; ++attempt) {
            if (attempt > 0) {
                // Written meanwhile: take the key's new limits.
                ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   &maxName, &maxData, nullptr, nullptr);
                name.resize(std::max<size_t>(name.size(), maxName + 2));
                data.resize(std::max<size_t>(std::max<size_t>(data.size(), maxData + 2), size + 2));
            }
            nameLen = static_cast<DWORD>(name.size());
            size = static_cast<DWORD>(data.size());
            r = ::RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &size);
        }
        if (r == ERROR_MORE_DATA)
            continue;
        if (r != ERROR_SUCCESS)
            return;
        visit(WideToUtf8(name.data(), nameLen), type, data.data(), size);
    }
}

namespace {
ULONGLONG FileTimeValue(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
} // namespace

void ForEachSubkey(HKEY key, const std::function<void(const std::string& name)>& visit) {
    ForEachSubkeyStamped(key, [&visit](const std::string& name, ULONGLONG) { visit(name); });
}

void ForEachSubkeyStamped(HKEY key,
                          const std::function<void(const std::string& name, ULONGLONG written)>& visit) {
    DWORD maxName = 0;
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr);
    // Key names stop at 255 characters; a longer limit is taken as given.
    std::vector<wchar_t> name(std::max<DWORD>(maxName, 256) + 2);
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        FILETIME written{};
        LONG r = ::RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, &written);
        // A name over the usual limit is read whole all the same, so that the rest is still read.
        while (r == ERROR_MORE_DATA && name.size() < 32768) {
            name.resize(name.size() * 2);
            length = static_cast<DWORD>(name.size());
            r = ::RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, &written);
        }
        if (r == ERROR_MORE_DATA)
            continue;
        if (r != ERROR_SUCCESS)
            return;
        visit(WideToUtf8(name.data(), length), FileTimeValue(written));
    }
}

ULONGLONG KeyLastWrite(HKEY key) {
    FILETIME written{};
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, &written) != ERROR_SUCCESS)
        return 0;
    return FileTimeValue(written);
}
