#include "DefaultValue.h"
#include "RegistryKey.h"
#include <vector>

std::string ReadDefaultText(HKEY key) {
    BYTE buf[kMaxDataBytes];
    DWORD size = kMaxTextBytes;
    LONG r = ::RegQueryValueExA(key, "", nullptr, nullptr, buf, &size);
    if (r == ERROR_SUCCESS)
        return DataText(buf, size);
    // Longer than the buffer: read it whole and keep its beginning. The value may grow
    // between the two reads, hence the few attempts.
    for (int attempt = 0; r == ERROR_MORE_DATA && attempt < 3; ++attempt) {
        std::vector<BYTE> big(size + 2);
        DWORD bigSize = size;
        r = ::RegQueryValueExA(key, "", nullptr, nullptr, big.data(), &bigSize);
        if (r == ERROR_SUCCESS)
            return DataText(big.data(), bigSize);
        size = bigSize;
    }
    return std::string();
}

std::string ReadDefaultText(HKEY parent, const char* path) {
    HKEY key;
    if (::RegOpenKeyExA(parent, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::string();
    std::string text = ReadDefaultText(key);
    ::RegCloseKey(key);
    return text;
}
