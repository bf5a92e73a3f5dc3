// Applies a list of registry and file changes as fast as it can, for the stress test and the
// scale benchmark, and journals each one.
//   stresshelper run OPSFILE     applies every line of OPSFILE in order; prints for each
//                                "<ms since 1970>\t<result>\t<line>" (result 0 = done)
//   stresshelper folders         prints the user's and the common Startup folder, one a line
// Lines of OPSFILE hold tab-separated fields (ROOT is HKLM, HKCU or HKCR):
//   setsz ROOT PATH NAME DATA    REG_SZ value (key created when missing)
//   setdw ROOT PATH NAME NUMBER  REG_DWORD value (decimal, may be negative)
//   setbin ROOT PATH NAME HEX    REG_BINARY value
//   setdef ROOT PATH DATA        the default value, REG_SZ
//   delval ROOT PATH NAME
//   mkkey ROOT PATH
//   delkey ROOT PATH             the key and everything below it
//   mkfile FILE TEXT / delfile FILE / mvfile FROM TO
// Exit 0 when every line was applied, 1 when some failed, 2 on bad use.
#include <windows.h>
#include <shlobj.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
HKEY Root(const std::string& name) {
    if (name == "HKLM")
        return HKEY_LOCAL_MACHINE;
    if (name == "HKCU")
        return HKEY_CURRENT_USER;
    if (name == "HKCR")
        return HKEY_CLASSES_ROOT;
    return nullptr;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

LONG SetValue(const std::vector<std::string>& f, const char* name, DWORD type, const BYTE* data, DWORD size) {
    HKEY key;
    LONG r = ::RegCreateKeyExA(Root(f[1]), f[2].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS)
        return r;
    r = ::RegSetValueExA(key, name, 0, type, data, size);
    ::RegCloseKey(key);
    return r;
}

LONG SetText(const std::vector<std::string>& f, const char* name, const std::string& text) {
    return SetValue(f, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
}

LONG Apply(const std::vector<std::string>& f) {
    const std::string& op = f[0];
    size_t n = f.size();
    bool registry = n >= 3 && Root(f[1]);
    if (op == "setsz" && registry && n == 5)
        return SetText(f, f[3].c_str(), f[4]);
    if (op == "setdef" && registry && n == 4)
        return SetText(f, "", f[3]);
    if (op == "setdw" && registry && n == 5) {
        DWORD number = static_cast<DWORD>(std::strtoll(f[4].c_str(), nullptr, 10));
        return SetValue(f, f[3].c_str(), REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
    if (op == "setbin" && registry && n == 5) {
        std::string bytes;
        for (size_t i = 0; i + 1 < f[4].size(); i += 2)
            bytes += static_cast<char>(std::strtol(f[4].substr(i, 2).c_str(), nullptr, 16));
        return SetValue(f, f[3].c_str(), REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
    }
    if (op == "delval" && registry && n == 4) {
        HKEY key;
        LONG r = ::RegOpenKeyExA(Root(f[1]), f[2].c_str(), 0, KEY_SET_VALUE, &key);
        if (r != ERROR_SUCCESS)
            return r;
        r = ::RegDeleteValueA(key, f[3].c_str());
        ::RegCloseKey(key);
        return r;
    }
    if (op == "mkkey" && registry && n == 3) {
        HKEY key;
        LONG r = ::RegCreateKeyExA(Root(f[1]), f[2].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (r == ERROR_SUCCESS)
            ::RegCloseKey(key);
        return r;
    }
    if (op == "delkey" && registry && n == 3) {
        LONG r = ::RegDeleteTreeA(Root(f[1]), f[2].c_str());
        // Given a subkey, the tree call removes the key itself as well; older systems leave it.
        HKEY left;
        if (r == ERROR_SUCCESS && ::RegOpenKeyExA(Root(f[1]), f[2].c_str(), 0, KEY_READ, &left) == ERROR_SUCCESS) {
            ::RegCloseKey(left);
            r = ::RegDeleteKeyA(Root(f[1]), f[2].c_str());
        }
        return r;
    }
    if (op == "mkfile" && n == 3) {
        HANDLE h = ::CreateFileA(f[1].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return static_cast<LONG>(::GetLastError());
        DWORD written;
        ::WriteFile(h, f[2].data(), static_cast<DWORD>(f[2].size()), &written, nullptr);
        ::CloseHandle(h);
        return 0;
    }
    if (op == "delfile" && n == 2)
        return ::DeleteFileA(f[1].c_str()) ? 0 : static_cast<LONG>(::GetLastError());
    if (op == "mvfile" && n == 3)
        return ::MoveFileA(f[1].c_str(), f[2].c_str()) ? 0 : static_cast<LONG>(::GetLastError());
    return -1;
}

long long NowMs() {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<long long>(t.QuadPart / 10000 - 11644473600000LL);
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && !std::strcmp(argv[1], "folders")) {
        char path[MAX_PATH];
        for (int csidl : {CSIDL_STARTUP, CSIDL_COMMON_STARTUP}) {
            path[0] = '\0';
            ::SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
            std::printf("%s\n", path);
        }
        return 0;
    }
    if (argc != 3 || std::strcmp(argv[1], "run"))
        return 2;
    FILE* in = std::fopen(argv[2], "rb");
    if (!in)
        return 2;
    // Journal lines are written after the whole list is applied, so that printing takes no
    // time between the changes.
    std::vector<std::string> journal;
    int failed = 0;
    std::string line;
    for (int c; (c = std::fgetc(in)) != EOF || !line.empty();) {
        if (c != '\n' && c != EOF) {
            if (c != '\r')
                line += static_cast<char>(c);
            continue;
        }
        if (!line.empty()) {
            LONG r = Apply(Split(line));
            failed += r != 0;
            journal.push_back(std::to_string(NowMs()) + "\t" + std::to_string(r) + "\t" + line);
        }
        line.clear();
        if (c == EOF)
            break;
    }
    std::fclose(in);
    for (const std::string& entry : journal)
        std::printf("%s\n", entry.c_str());
    return failed ? 1 : 0;
}
