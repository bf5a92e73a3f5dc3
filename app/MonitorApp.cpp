#include "MonitorApp.h"
#include "../res/resource.h"
#include "EventLogFile.h"
#include "MainDlg.h"
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

void CMonitorApp::RunMainDialog() {
    // The monitor threads are not joined: one still busy when the window has gone may call
    // it until the process ends, so the window object is left to the end of the process.
    CMainDlg* dlg = new CMainDlg;
    m_pMainWnd = dlg;
    dlg->DoModal();
    m_pMainWnd = nullptr;
}

BOOL CMonitorApp::InitInstance() {
    ::InitCommonControls();
    CWinApp::InitInstance();

    if (!InitSockets()) {
        CString text;
        text.LoadString(IDP_SOCKETS_INIT_FAILED);
        AfxMessageBox(text, MB_OK);
        return FALSE;
    }

    char module[MAX_PATH] = "";
    if (::GetModuleFileNameA(nullptr, module, MAX_PATH) == 0)
        module[0] = '\0';
    module[MAX_PATH - 1] = '\0';
    ComputeProgramDir(module, ::GetCommandLineA(), m_programDir);

    RunMainDialog();
    return FALSE;
}

const char* GetProgramDir() {
    auto* app = dynamic_cast<CMonitorApp*>(AfxGetApp());
    return app ? app->m_programDir : "";
}
