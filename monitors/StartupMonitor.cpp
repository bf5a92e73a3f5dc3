#include "StartupMonitor.h"
#include "../framework/AfxFileFind.h"
#include "../framework/AfxWin.h"
#include "Snapshot.h"
#include <cstdio>
#include <cstring>
#include <io.h>
#include <mbstring.h>
#include <memory>
#include <shlobj.h>

namespace {
struct StartupFolder {
    const char* label;
    char path[kStartupPathChars];
    char pattern[kStartupPathChars]; // "path\*.*"
    HANDLE hChange;                  // null while not watched
    std::unique_ptr<CMapStringToString> current;
    std::unique_ptr<CMapStringToString> unseen;
};

// The folder table; whatever way the thread ends, its handles are closed and its maps freed.
struct StartupTable {
    StartupFolder rows[2] = {{"Personal", {}, {}, nullptr, nullptr, nullptr},
                             {"All Users", {}, {}, nullptr, nullptr, nullptr}};
    StartupTable() = default;
    StartupTable(const StartupTable&) = delete;
    StartupTable& operator=(const StartupTable&) = delete;
    ~StartupTable() {
        for (StartupFolder& row : rows)
            if (row.hChange)
                ::FindCloseChangeNotification(row.hChange);
    }
};

void ShowError(const char* format, const char* text, DWORD code) {
    CString message;
    if (text)
        message.Format(format, text, static_cast<int>(code));
    else
        message.Format(format, static_cast<int>(code));
    AfxMessageBox(message, MB_OK);
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

// Every entry of the folder, "." and ".." included, in the order the file system gives them.
template <class Visit> void ListFolder(const char* pattern, Visit visit) {
    CFileFind find;
    BOOL more = find.FindFile(pattern);
    while (more) {
        more = find.FindNextFile();
        visit(find.GetFileName().str());
    }
}

void Compare(IMonitorHost* host, StartupFolder& row) {
    CSnapshotComparison comparison(*row.current, *row.unseen,
                                   [host, &row](int kind, const std::string& name, const std::string&) {
                                       host->ReportStartupEvent(kind, row.label, name.c_str());
                                   });
    ListFolder(row.pattern, [&comparison](const std::string& name) { comparison.Item(name, name); });
    comparison.Finish();
}
} // namespace

void ResolveStartupPaths(const char* shellPersonal, const char* shellAllUsers, char (&personal)[kStartupPathChars],
                         char (&allUsers)[kStartupPathChars]) {
    personal[0] = allUsers[0] = '\0';
    bool needPersonal = !shellPersonal || !*shellPersonal || !CopyWhole(personal, shellPersonal);
    bool needAllUsers = !shellAllUsers || !*shellAllUsers || !CopyWhole(allUsers, shellAllUsers);
    if (!needPersonal && !needAllUsers)
        return;

    char drive[10];
    int read = ReadVariable("HOMEDRIVE", drive);
    if (read == 0)
        ShowError("MonitorStartProc: Failed to get HOMEDRIVE (%d)", nullptr, ::GetLastError());
    if (read != 1)
        return;
    char homePath[260];
    read = ReadVariable("HOMEPATH", homePath);
    if (read == 0)
        ShowError("MonitorStartProc: Failed to get HOMEPATH (%d)", nullptr, ::GetLastError());
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

UINT RunStartupMonitor(IMonitorHost* host, const char* personal, const char* allUsers) {
    try {
        StartupTable table;
        const char* paths[2] = {personal, allUsers};
        HANDLE waits[3];
        int rowOfWait[2];
        DWORD watched = 0;
        for (int i = 0; i < 2; ++i) {
            StartupFolder& row = table.rows[i];
            if (!CopyWhole(row.path, paths[i]) || !row.path[0] || ::_access(row.path, 0) != 0)
                continue;
            int n = std::snprintf(row.pattern, sizeof row.pattern, "%s\\*.*", row.path);
            if (n < 0 || static_cast<size_t>(n) >= sizeof row.pattern)
                continue; // cannot be listed whole, so it is not watched
            HANDLE h = ::FindFirstChangeNotificationA(row.path, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
            if (h == INVALID_HANDLE_VALUE) {
                ShowError("Failed to monitor directory %s (%d)", row.path, ::GetLastError());
                continue;
            }
            row.hChange = h;
            row.current = std::make_unique<CMapStringToString>();
            row.unseen = std::make_unique<CMapStringToString>();
            ListFolder(row.pattern, [&row](const std::string& name) { row.current->SetAt(name, name); });
            CopySnapshot(*row.current, *row.unseen);
            waits[watched] = h;
            rowOfWait[watched] = i;
            ++watched;
        }
        if (watched == 0)
            return 0;
        waits[watched] = host->GetStopEvent();
        host->OnMonitorReady("MonitorStartProc");

        for (;;) {
            DWORD r = ::WaitForMultipleObjects(watched + 1, waits, FALSE, INFINITE);
            if (r == WAIT_FAILED) {
                ShowError("MonitorStartProc: Failed to wait (%d)", nullptr, ::GetLastError());
                return 0;
            }
            DWORD index = r - WAIT_OBJECT_0;
            if (index >= watched)
                return 0; // the stop event
            StartupFolder& row = table.rows[rowOfWait[index]];
            // Re-armed before the settle: a change made while the folder is listed signals
            // again instead of going unseen.
            ::FindNextChangeNotification(row.hChange);
            ::Sleep(host->GetSettleTime());
            Compare(host, row);
        }
    } catch (...) {
    }
    return 0;
}

UINT MonitorStartProc(LPVOID param) {
    auto* host = static_cast<IMonitorHost*>(param);
    try {
        char shellPersonal[kStartupPathChars], shellAllUsers[kStartupPathChars];
        ShellFolder(CSIDL_STARTUP, shellPersonal);
        ShellFolder(CSIDL_COMMON_STARTUP, shellAllUsers);
        char personal[kStartupPathChars], allUsers[kStartupPathChars];
        ResolveStartupPaths(shellPersonal, shellAllUsers, personal, allUsers);
        return RunStartupMonitor(host, personal, allUsers);
    } catch (...) {
    }
    return 0;
}
