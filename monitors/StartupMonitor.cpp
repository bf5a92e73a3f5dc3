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
    HANDLE hChange;                  // null while not watched, or while the folder is gone
    std::unique_ptr<CMapStringToString> current; // entry key -> entry name
    std::unique_ptr<CMapStringToString> unseen;
    // Folders coming and going in the parent, or while the folder is gone in its nearest
    // existing ancestor: how a folder removed and created again is found again.
    HANDLE hGuard;
};

void CloseChange(HANDLE& h) {
    if (h)
        ::FindCloseChangeNotification(h);
    h = nullptr;
}

// The folder table; whatever way the thread ends, its handles are closed and its maps freed.
struct StartupTable {
    StartupFolder rows[2] = {{"Personal", {}, {}, nullptr, nullptr, nullptr, nullptr},
                             {"All Users", {}, {}, nullptr, nullptr, nullptr, nullptr}};
    StartupTable() = default;
    StartupTable(const StartupTable&) = delete;
    StartupTable& operator=(const StartupTable&) = delete;
    ~StartupTable() {
        for (StartupFolder& row : rows) {
            CloseChange(row.hChange);
            CloseChange(row.hGuard);
        }
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

// Every entry of the folder, "." and ".." included, in the order the file system gives them:
// visit(key, name), the key telling apart names that read alike in the code page.
template <class Visit> void ListFolder(const char* pattern, Visit visit) {
    CFileFind find;
    BOOL more = find.FindFile(pattern);
    while (more) {
        more = find.FindNextFile();
        visit(find.GetFileKey().str(), find.GetFileName().str());
    }
}

void Compare(IMonitorHost* host, StartupFolder& row) {
    CSnapshotComparison comparison(*row.current, *row.unseen,
                                   [host, &row](int kind, const std::string&, const std::string& name) {
                                       host->ReportStartupEvent(kind, row.label, name.c_str());
                                   });
    ListFolder(row.pattern,
               [&comparison](const std::string& key, const std::string& name) { comparison.Item(key, name); });
    comparison.Finish();
}

bool FolderExists(const char* path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Watches the nearest existing ancestor of the row's folder for folders coming and going.
void GuardAncestor(StartupFolder& row) {
    CloseChange(row.hGuard);
    std::string path = row.path;
    for (;;) {
        size_t slash = path.find_last_of('\\');
        if (slash == std::string::npos)
            return;
        // "C:\" is the root; "C:" alone would name the current folder of the drive.
        path.resize(slash > 0 && path[slash - 1] == ':' ? slash + 1 : slash);
        if (!FolderExists(path.c_str()))
            continue;
        HANDLE h = ::FindFirstChangeNotificationA(path.c_str(), FALSE, FILE_NOTIFY_CHANGE_DIR_NAME);
        row.hGuard = h == INVALID_HANDLE_VALUE ? nullptr : h;
        return;
    }
}

// A change handle names the folder it was made for (Wine's never signals again once that
// folder is gone), so after a guard signal the folder is watched afresh, if it is there.
void RewatchFolder(StartupFolder& row) {
    CloseChange(row.hChange);
    if (FolderExists(row.path)) {
        HANDLE h = ::FindFirstChangeNotificationA(row.path, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
        row.hChange = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }
    GuardAncestor(row);
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
            ListFolder(row.pattern,
                       [&row](const std::string& key, const std::string& name) { row.current->SetAt(key, name); });
            CopySnapshot(*row.current, *row.unseen);
            GuardAncestor(row);
            ++watched;
        }
        if (watched == 0)
            return 0;
        host->OnMonitorReady("MonitorStartProc");

        for (;;) {
            // Folder handles first (row 0 before row 1), then the guards, then the stop event.
            HANDLE waits[5];
            StartupFolder* rowOfWait[4];
            bool guardOfWait[4];
            DWORD n = 0;
            for (int pass = 0; pass < 2; ++pass)
                for (StartupFolder& row : table.rows) {
                    HANDLE h = pass == 0 ? row.hChange : row.hGuard;
                    if (!row.current || !h)
                        continue;
                    waits[n] = h;
                    rowOfWait[n] = &row;
                    guardOfWait[n] = pass == 1;
                    ++n;
                }
            waits[n] = host->GetStopEvent();
            DWORD r = ::WaitForMultipleObjects(n + 1, waits, FALSE, INFINITE);
            if (r == WAIT_FAILED) {
                ShowError("MonitorStartProc: Failed to wait (%d)", nullptr, ::GetLastError());
                return 0;
            }
            DWORD index = r - WAIT_OBJECT_0;
            if (index >= n)
                return 0; // the stop event
            auto take = [&](DWORD i, bool settle) {
                StartupFolder& row = *rowOfWait[i];
                // Re-armed before the settle: a change made while the folder is listed signals
                // again instead of going unseen.
                ::FindNextChangeNotification(waits[i]);
                bool rewatch = guardOfWait[i] || !FolderExists(row.path);
                for (;; settle = true) {
                    if (settle)
                        ::Sleep(host->GetSettleTime());
                    if (rewatch)
                        RewatchFolder(row);
                    Compare(host, row);
                    // Back between its check and its guard's arming: nothing would signal it.
                    rewatch = !row.hChange && FolderExists(row.path);
                    if (!rewatch)
                        break;
                }
            };
            take(index, true);
            // The other folder, if it signalled meanwhile, is compared after the same settle
            // rather than one settle later; once, even if both its handles signalled.
            for (DWORD i = 0; i < n; ++i)
                if (rowOfWait[i] != rowOfWait[index] && ::WaitForSingleObject(waits[i], 0) == WAIT_OBJECT_0) {
                    take(i, false);
                    break;
                }
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
