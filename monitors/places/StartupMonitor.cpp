#include "StartupMonitor.h"
#include "../../framework/AfxString.h"
#include "../engine/FolderSource.h"
#include "Places.h"
#include <cstdio>
#include <cstring>
#include <mbstring.h>
#include <shlobj.h>

namespace {
void ShowError(IMonitorHost& host, const char* variable) {
    CString text;
    text.Format("MonitorStartProc: Failed to get %s (%d)", variable, static_cast<int>(::GetLastError()));
    host.ReportError(text);
}

// Copies src into dst[N] whole; false (and dst empty) when it does not fit.
template <size_t N> bool CopyWhole(char (&dst)[N], const char* src) {
    size_t n = src ? std::strlen(src) : 0;
    if (n >= N) {
        dst[0] = '\0';
        return false;
    }
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return true;
}

void ComposeProfileStartup(const char* drive, const char* homePath, char (&path)[kStartupPathChars]) {
    int n = std::snprintf(path, sizeof path, "%s%s\\Start Menu\\Programs\\Startup", drive, homePath);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path)
        path[0] = '\0'; // a cut path would name another folder
}

// Reads an environment variable whole into buf[N]: 1 when read, 0 when it cannot be read
// (GetLastError says why), -1 when too long for the buffer.
template <size_t N> int ReadVariable(const char* name, char (&buf)[N]) {
    DWORD n = ::GetEnvironmentVariableA(name, buf, N);
    if (n == 0)
        return 0;
    if (n >= N) {
        buf[0] = '\0';
        return -1;
    }
    return 1;
}

// The folder the shell gives for csidl, or empty.
void ShellFolder(int csidl, char (&path)[kStartupPathChars]) {
    char buf[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf)))
        CopyWhole(path, buf);
    else
        path[0] = '\0';
}

} // namespace

void ResolveStartupPaths(IMonitorHost& host, const char* shellPersonal, const char* shellAllUsers,
                         char (&personal)[kStartupPathChars], char (&allUsers)[kStartupPathChars]) {
    personal[0] = allUsers[0] = '\0';
    bool needPersonal = !shellPersonal || !*shellPersonal || !CopyWhole(personal, shellPersonal);
    bool needAllUsers = !shellAllUsers || !*shellAllUsers || !CopyWhole(allUsers, shellAllUsers);
    if (!needPersonal && !needAllUsers)
        return;

    char drive[10];
    int read = ReadVariable("HOMEDRIVE", drive);
    if (read == 0)
        ShowError(host, "HOMEDRIVE");
    if (read != 1)
        return;
    char homePath[260];
    read = ReadVariable("HOMEPATH", homePath);
    if (read == 0)
        ShowError(host, "HOMEPATH");
    if (read != 1)
        return;

    if (needPersonal)
        ComposeProfileStartup(drive, homePath, personal);
    if (needAllUsers) {
        // The profile's sibling "All Users": the home path cut after its last backslash.
        auto* homeText = reinterpret_cast<const unsigned char*>(homePath);
        const unsigned char* slash = ::_mbsrchr(homeText, '\\');
        if (!slash)
            return;
        char allUsersHome[260];
        size_t keep = static_cast<size_t>(slash - homeText) + 1;
        const char kAllUsers[] = "All Users";
        if (keep + sizeof kAllUsers > sizeof allUsersHome)
            return;
        std::memcpy(allUsersHome, homePath, keep);
        std::memcpy(allUsersHome + keep, kAllUsers, sizeof kAllUsers);
        ComposeProfileStartup(drive, allUsersHome, allUsers);
    }
}

namespace {
// A Startup folder and the registry values that may move it.
struct FollowedFolder {
    CWatch* watch;
    CFolderSource* source;
    HKEY hive;         // of the values that name it
    std::string start; // the folder at start, where the values name none
    std::string named; // the folder the values named at the last look
};

// The folder the category's registry rows of the hive name, in table order ("User Shell Folders"
// before the "Shell Folders" kept for older programs), in the program's own view, expanded
// (%USERPROFILE%); empty when none names one that fits a path.
std::string NamedFolder(HKEY hive) {
    for (const RegistryWatchSettings& row : RegistryPlacesOf(CATEGORY_AUTOSTART)) {
        CRegistryKey key;
        if (row.hive != hive || (row.view & KEY_WOW64_32KEY) ||
            key.Open(row.hive, row.path, KEY_READ | row.view) != ERROR_SUCCESS)
            continue;
        std::string path = key.ReadText(row.values);
        wchar_t expanded[MAX_PATH];
        DWORD n = ::ExpandEnvironmentStringsW(Utf8ToWide(path).c_str(), expanded, MAX_PATH);
        if (path.empty())
            continue;
        return n > 1 && n <= MAX_PATH ? FolderPath(Utf8ToAnsi(WideToUtf8(expanded, n - 1))) : std::string();
    }
    return std::string();
}

// After a change of those values: a folder they now name elsewhere is watched there, and
// compared at once (its entries New, the old folder's Deleted).
void FollowNamedFolders(IMonitorHost& host, std::vector<FollowedFolder>& folders) {
    for (FollowedFolder& folder : folders) {
        std::string named = NamedFolder(folder.hive);
        if (named == folder.named)
            continue;
        folder.named = named;
        if (folder.source->Retarget(named.empty() ? folder.start : named))
            folder.watch->Compare(host);
    }
}
} // namespace

UINT RunStartupMonitor(IMonitorHost& host, const char* personal, const char* allUsers,
                       CSnapshotStore* store) {
    std::vector<std::unique_ptr<CWatch>> watches;
    std::vector<FollowedFolder> folders;
    const char* paths[2] = {personal, allUsers};
    const char* labels[2] = {"Personal", "All Users"};
    const HKEY hives[2] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    for (int i = 0; i < 2; ++i) {
        // A folder whose listing pattern would not fit MAX_PATH cannot be listed whole.
        if (!paths[i] || !*paths[i] || std::strlen(paths[i]) + 4 >= kStartupPathChars)
            continue;
        std::string label = labels[i];
        // Never Changed: an entry's text is its name.
        ItemFormat format = [label](const std::string&, const std::string& name, std::string& location,
                                    std::string& details) {
            location = label;
            details = name;
        };
        auto source = std::make_unique<CFolderSource>(paths[i]);
        folders.push_back({nullptr, source.get(), hives[i], paths[i], NamedFolder(hives[i])});
        watches.push_back(std::make_unique<CWatch>(std::move(source), CATEGORY_AUTOSTART, format));
        folders.back().watch = watches.back().get();
    }
    for (const RegistryWatchSettings& row : RegistryPlacesOf(CATEGORY_AUTOSTART)) {
        watches.push_back(MakeRegistryWatch(row));
        watches.back()->SetFollowUp([&folders](IMonitorHost& h) { FollowNamedFolders(h, folders); });
    }
    return RunWatchMonitor(host, std::move(watches), "MonitorStartProc", "MonitorStartProc", store);
}

void StartupFolders(IMonitorHost& host, char (&personal)[kStartupPathChars],
                    char (&allUsers)[kStartupPathChars]) {
    char shellPersonal[kStartupPathChars], shellAllUsers[kStartupPathChars];
    ShellFolder(CSIDL_STARTUP, shellPersonal);
    ShellFolder(CSIDL_COMMON_STARTUP, shellAllUsers);
    ResolveStartupPaths(host, shellPersonal, shellAllUsers, personal, allUsers);
}

UINT RunStartPlaces(IMonitorHost& host, CSnapshotStore* store) {
    try {
        char personal[kStartupPathChars], allUsers[kStartupPathChars];
        StartupFolders(host, personal, allUsers);
        return RunStartupMonitor(host, personal, allUsers, store);
    } catch (...) {
    }
    return 0;
}
