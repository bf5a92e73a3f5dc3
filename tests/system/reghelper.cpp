// Writes what `wine reg` cannot express, and holds a file open, for the system tests.
//   reghelper set HIVE PATH NAME DATA TYPE   sets one value; NAME and DATA in hex, DATA may end
//                                            in "*N" (its bytes N times); TYPE a number, and a
//                                            REG_SZ (1) gets its terminating zero added
//   reghelper setw HIVE PATH NAME DATA       sets one REG_SZ through the UTF-16 function, NAME
//                                            and DATA the hex of their UTF-8
//   reghelper delw HIVE PATH NAME            deletes one value so named
//   reghelper burst HIVE PATH COUNT PREFIX   sets COUNT values PREFIX00000.. = C:\burst\<name>.exe
//   reghelper hold FILE MS                   opens FILE letting others read but not write,
//                                            prints "held", keeps it MS ms
// HIVE is HKLM or HKCU. Exit 0 on success.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static bool Hex(const char* text, std::string& out) {
    out.clear();
    const char* star = std::strchr(text, '*');
    size_t len = star ? static_cast<size_t>(star - text) : std::strlen(text);
    if (len % 2)
        return false;
    for (size_t i = 0; i < len; i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end;
        long b = std::strtol(pair, &end, 16);
        if (*end)
            return false;
        out += static_cast<char>(b);
    }
    if (star) {
        std::string once = out;
        for (long n = std::atol(star + 1); n > 1; --n)
            out += once;
    }
    return true;
}

static std::wstring Wide(const std::string& utf8) {
    std::wstring out(utf8.size() + 1, L'\0');
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0],
                                  static_cast<int>(out.size()));
    out.resize(n > 0 ? n : 0);
    return out;
}

static HKEY Hive(const char* name) {
    return !std::strcmp(name, "HKLM")   ? HKEY_LOCAL_MACHINE
           : !std::strcmp(name, "HKCU") ? HKEY_CURRENT_USER
                                        : nullptr;
}

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const char* cmd = argv[1];
    if (!std::strcmp(cmd, "hold") && argc > 3) {
        HANDLE f = ::CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return 1;
        std::puts("held");
        std::fflush(stdout);
        ::Sleep(static_cast<DWORD>(std::atol(argv[3])));
        ::CloseHandle(f);
        return 0;
    }
    if (argc < 5 || !Hive(argv[2]))
        return 2;
    HKEY key;
    if (::RegCreateKeyA(Hive(argv[2]), argv[3], &key) != ERROR_SUCCESS)
        return 1;
    LONG r = ERROR_SUCCESS;
    if (!std::strcmp(cmd, "set") && argc > 6) {
        std::string name, data;
        if (!Hex(argv[4], name) || !Hex(argv[5], data))
            return 2;
        DWORD type = static_cast<DWORD>(std::atol(argv[6]));
        if (type == REG_SZ)
            data += '\0';
        r = ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size()));
    } else if ((!std::strcmp(cmd, "setw") && argc > 5) || (!std::strcmp(cmd, "delw") && argc > 4)) {
        std::string name, data;
        if (!Hex(argv[4], name) || (argc > 5 && !Hex(argv[5], data)))
            return 2;
        std::wstring wideName = Wide(name), wideData = Wide(data);
        r = cmd[0] == 'd' ? ::RegDeleteValueW(key, wideName.c_str())
                          : ::RegSetValueExW(key, wideName.c_str(), 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(wideData.c_str()),
                                             static_cast<DWORD>((wideData.size() + 1) * sizeof(wchar_t)));
    } else if (!std::strcmp(cmd, "burst") && argc > 5) {
        for (long i = 0, n = std::atol(argv[4]); i < n && r == ERROR_SUCCESS; ++i) {
            char name[128], data[192];
            std::snprintf(name, sizeof name, "%s%05ld", argv[5], i);
            std::snprintf(data, sizeof data, "C:\\burst\\%s.exe", name);
            r = ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                                 static_cast<DWORD>(std::strlen(data) + 1));
        }
    } else {
        r = -1;
    }
    ::RegCloseKey(key);
    return r == ERROR_SUCCESS ? 0 : 1;
}
