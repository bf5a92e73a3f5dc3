// The main window's buttons, its minimised drawing and the start of its monitors.
#include "../places/AutoRunMonitor.h"
#include "../places/COMMonitor.h"
#include "../places/FileAssociationMonitor.h"
#include "../places/InstallMonitor.h"
#include "../places/ServiceMonitor.h"
#include "../places/ShareMonitor.h"
#include "../places/StartupMonitor.h"
#include "../places/WinlogonMonitor.h"
#include "../res/resource.h"
#include "Alert.h"
#include "AppMessageBox.h"
#include "MainDlg.h"
#include "OptionsDlg.h"
#include <io.h>
#include <shellapi.h>

void CMainDlg::StartMonitors() {
    CleanEmptyImagePaths(); // before any monitor, so the service monitor's first snapshot is clean
    LoadSnapshots();
    LPVOID host = static_cast<IMonitorHost*>(this);
    AfxBeginThread(MonitorRunKeysProc, host);
    AfxBeginThread(MonitorServiceProc, host);
    AfxBeginThread(MonitorStartProc, host);
    AfxBeginThread(MonitorInstallProc, host); // after the Startup folder monitor
    AfxBeginThread(MonitorCOMProc, host);
    AfxBeginThread(MonitorWinlogonProc, host); // after the COM monitor
    m_taskMonitor.Init(this);
    m_taskMonitor.Start();
    AfxBeginThread(MonitorShareDriveProc, host); // after the task monitor
    AfxBeginThread(MonitorFileAssociationProc, host);
}

void CMainDlg::OnClear() {
    if (m_list.GetItemCount() > 0)
        m_list.DeleteAllItems();
}

void CMainDlg::OnViewLog() {
    const char* path = m_log.GetPath().c_str();
    CString format, text;
    if (_access(path, 0) != 0) {
        format.LoadString(IDS_LOG_NOT_FOUND);
        text.Format(format, path);
        AppMessageBox(text, MB_OK);
        return;
    }
    HINSTANCE r = ::ShellExecuteA(m_hWnd, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(r) <= 32) {
        DWORD error = ::GetLastError();
        format.LoadString(IDS_LOG_OPEN_FAILED);
        text.Format(format, static_cast<int>(error));
        AppMessageBox(text, MB_OK);
    }
}

void CMainDlg::OnOptions() {
    COptionsDlg options;
    if (options.DoModal() != IDOK)
        return;
    m_trust.Load(); // as Options left it
    m_trust.MarkRows(m_list);
    if (options.m_silence) {
        m_silenceUntil = AddSeconds(m_clock.Now(), 3600);
        m_silenced = true;
        SetWindowText("Kestrow - Silence mode");
    } else {
        // The hour already begun still holds back the beeps.
        m_silenced = false;
        SetWindowText("Kestrow");
    }
}

bool CMainDlg::OnPaintIconic() {
    if (!IsIconic())
        return false;
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
    ::DrawIcon(dc, (rc.right - rc.left - cx + 1) / 2, (rc.bottom - rc.top - cy + 1) / 2, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
    return true;
}
