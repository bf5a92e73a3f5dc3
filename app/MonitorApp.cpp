#include "MonitorApp.h"
#include "../res/resource.h"
#include "AppMessageBox.h"
#include "MainDlg.h"
#include "Messages.h"
#include <commctrl.h>
#include <cstring>
#include <winsock2.h>

void CMonitorApp::ComputeProgramDir(const char* modulePath, const char* commandLine, char (&dir)[MAX_PATH]) {
    const char* source = (modulePath && *modulePath) ? modulePath : commandLine;
    CopyCut(dir, source ? source : "");
    char* slash = std::strrchr(dir, '\\');
    if (!slash) {
        dir[0] = '\0';
        return;
    }
    slash[1] = '\0';
    if (dir[0] == '"')
        std::memmove(dir, dir + 1, std::strlen(dir));
}

BOOL CMonitorApp::InitSockets() {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

namespace {
BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM found) {
    if (!::GetPropA(hwnd, kMainWindowProp))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
}
} // namespace

bool CMonitorApp::IsFirstInstance() {
    // Owned by the running Kestrow until its window has gone. "Local\": one Kestrow per logon
    // session; other users' sessions run their own.
    m_instanceMutex.Attach(::CreateMutexA(nullptr, FALSE, "Local\\Kestrow.Running"));
    // A Kestrow running elevated made a mutex that a start without elevation may not open:
    // it runs all the same.
    if (!m_instanceMutex && ::GetLastError() != ERROR_ACCESS_DENIED)
        return true;
    // The running one may still be making its window, or be ending.
    for (int tries = 0; tries < 200; ++tries) {
        DWORD wait =
            m_instanceMutex ? ::WaitForSingleObject(m_instanceMutex.Get(), 50) : (::Sleep(50), WAIT_TIMEOUT);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
            return true;
        HWND running = nullptr;
        ::EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&running));
        if (running) {
            // Only the process the user just started may take the foreground; it hands that on.
            DWORD pid = 0;
            ::GetWindowThreadProcessId(running, &pid);
            ::AllowSetForegroundWindow(pid);
            ::PostMessageA(running, ::RegisterWindowMessageA(kShowWindowMessage), 0, 0);
            return false;
        }
    }
    return false;
}

void CMonitorApp::RunMainDialog(const char* programDir) {
    // The monitor threads are not joined: one still busy when the window has gone may call
    // it until the process ends, so the window object is left to the end of the process.
    static CSystemClockSpeaker clock;
    CMainDlg* dlg = new CMainDlg(programDir, clock);
    dlg->DoModal();
}

BOOL CMonitorApp::InitInstance() {
    ::InitCommonControls();

    if (!InitSockets()) {
        CString text;
        text.LoadString(IDP_SOCKETS_INIT_FAILED);
        AppMessageBox(text, MB_OK);
        return FALSE;
    }
    if (!IsFirstInstance())
        return FALSE;

    char module[MAX_PATH] = "";
    if (::GetModuleFileNameA(nullptr, module, MAX_PATH) == 0)
        module[0] = '\0';
    module[MAX_PATH - 1] = '\0';
    char programDir[MAX_PATH];
    ComputeProgramDir(module, ::GetCommandLineA(), programDir);
    RunMainDialog(programDir);
    // A start from now on runs its own window.
    ::ReleaseMutex(m_instanceMutex.Get());
    return FALSE;
}
