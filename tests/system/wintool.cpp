// Looks at and drives a running Kestrow from outside, for the system tests.
//   wintool state TITLE            prints "visible" or "hidden"; exit 1 when there is no such window
//   wintool wait TITLE MS          waits until a top-level window TITLE exists; exit 1 on time-out
//   wintool gone TITLE MS          waits until no window TITLE exists; prints the ms it took
//   wintool tray TITLE ID          exit 0 when the window's tray icon ID exists
//   wintool close TITLE            posts WM_CLOSE
//   wintool show TITLE             right-button press on its tray icon (shows the window)
//   wintool rows TITLE             prints the number of rows of its event list
//   wintool click TITLE ID         clicks the button ID of the window (posted BM_CLICK)
//   wintool checked TITLE ID       prints 1 when the check box ID is ticked, else 0
//   wintool handles TITLE          prints the handle count of the window's process
//   wintool count TITLE            prints the number of top-level windows TITLE
//   wintool text TITLE ID          prints the text of the window's control ID
//   wintool untray TITLE ID        removes the window's tray icon ID, as a shell that ended does
//   wintool taskbar -              tells every window that the task bar was made again
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

static HWND Find(const char* title) {
    return ::FindWindowA("#32770", title);
}

// The process's handles from the system's handle table: Wine's GetProcessHandleCount gives 0
// for another process.
static long CountHandles(DWORD pid) {
    struct Entry {
        USHORT pid, backTrace;
        UCHAR type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<char> buf(1 << 16);
    ULONG length = 0;
    LONG status;
    const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);
    while ((status = query(16 /* SystemHandleInformation */, buf.data(), static_cast<ULONG>(buf.size()),
                           &length)) == kInfoLengthMismatch)
        buf.resize(buf.size() * 2);
    if (status != 0)
        return -1;
    ULONG total = *reinterpret_cast<ULONG*>(buf.data());
    auto* entries = reinterpret_cast<Entry*>(buf.data() + sizeof(void*));
    long count = 0;
    for (ULONG i = 0; i < total; ++i)
        count += entries[i].pid == static_cast<USHORT>(pid); // the table keeps 16 bits of the id
    return count;
}

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const char* cmd = argv[1];
    const char* title = argv[2];
    if (!strcmp(cmd, "wait") || !strcmp(cmd, "gone")) {
        DWORD limit = argc > 3 ? static_cast<DWORD>(atoi(argv[3])) : 10000;
        DWORD start = ::GetTickCount();
        bool wantGone = !strcmp(cmd, "gone");
        while (::GetTickCount() - start < limit) {
            if ((Find(title) != nullptr) != wantGone) {
                printf("%lu\n", static_cast<unsigned long>(::GetTickCount() - start));
                return 0;
            }
            ::Sleep(20);
        }
        return 1;
    }
    if (!strcmp(cmd, "list")) {
        // Every top-level dialog window with its title, for diagnosis.
        EnumWindows(
            [](HWND h, LPARAM) -> BOOL {
                char cls[64], text[256];
                ::GetClassNameA(h, cls, sizeof cls);
                ::GetWindowTextA(h, text, sizeof text);
                DWORD pid = 0;
                ::GetWindowThreadProcessId(h, &pid);
                printf("%p %s \"%s\" pid=%lu %s\n", (void*)h, cls, text, (unsigned long)pid,
                       ::IsWindowVisible(h) ? "visible" : "hidden");
                return TRUE;
            },
            0);
        return 0;
    }
    if (!strcmp(cmd, "count")) {
        int n = 0;
        for (HWND h = nullptr; (h = ::FindWindowExA(nullptr, h, "#32770", title)) != nullptr;)
            ++n;
        printf("%d\n", n);
        return 0;
    }
    if (!strcmp(cmd, "taskbar"))
        return ::PostMessageA(HWND_BROADCAST, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0) ? 0 : 1;
    HWND w = Find(title);
    if (!w)
        return 1;
    if (!strcmp(cmd, "state")) {
        puts(::IsWindowVisible(w) ? "visible" : "hidden");
        return 0;
    }
    if (!strcmp(cmd, "tray") && argc > 3) {
        NOTIFYICONDATAA nid{};
        nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
        nid.hWnd = w;
        nid.uID = static_cast<UINT>(atoi(argv[3]));
        nid.uFlags = NIF_TIP;
        lstrcpynA(nid.szTip, "Kestrow", sizeof nid.szTip);
        return ::Shell_NotifyIconA(NIM_MODIFY, &nid) ? 0 : 1;
    }
    if (!strcmp(cmd, "untray") && argc > 3) {
        NOTIFYICONDATAA nid{};
        nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
        nid.hWnd = w;
        nid.uID = static_cast<UINT>(atoi(argv[3]));
        return ::Shell_NotifyIconA(NIM_DELETE, &nid) ? 0 : 1;
    }
    if (!strcmp(cmd, "text") && argc > 3) {
        char text[1024] = "";
        ::GetDlgItemTextA(w, atoi(argv[3]), text, sizeof text);
        puts(text);
        return 0;
    }
    if (!strcmp(cmd, "close"))
        return ::PostMessageA(w, WM_CLOSE, 0, 0) ? 0 : 1;
    if (!strcmp(cmd, "show"))
        return ::PostMessageA(w, WM_APP + 100, 1002, WM_RBUTTONDOWN) ? 0 : 1;
    if (!strcmp(cmd, "click") && argc > 3)
        return ::PostMessageA(::GetDlgItem(w, atoi(argv[3])), BM_CLICK, 0, 0) ? 0 : 1;
    if (!strcmp(cmd, "checked") && argc > 3) {
        printf("%d\n", ::IsDlgButtonChecked(w, atoi(argv[3])) == BST_CHECKED ? 1 : 0);
        return 0;
    }
    if (!strcmp(cmd, "handles")) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        long count = CountHandles(pid);
        if (count < 0)
            return 1;
        printf("%ld\n", count);
        return 0;
    }
    if (!strcmp(cmd, "rows")) {
        printf("%d\n", static_cast<int>(::SendMessageA(::GetDlgItem(w, 1005), LVM_GETITEMCOUNT, 0, 0)));
        return 0;
    }
    return 2;
}
