// The main window's buttons and menu, and its minimised drawing.
#include "../res/resource.h"
#include "AboutDlg.h"
#include "AppMessageBox.h"
#include "MainDlg.h"
#include "Messages.h"
#include "OptionsDlg.h"
#include <io.h>
#include <shellapi.h>

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
    // The program that opens the log may be a shell extension, which needs COM on this thread.
    CComApartment com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE r = ::ShellExecuteA(m_hWnd, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(r) <= 32) {
        DWORD error = ::GetLastError();
        format.LoadString(IDS_LOG_OPEN_FAILED);
        text.Format(format, static_cast<int>(error));
        AppMessageBox(text, MB_OK);
    }
}

std::string CMainDlg::UndoFolder() {
    const std::string& log = m_log.GetPath();
    return log.substr(0, log.find_last_of("\\/") + 1) + "Undo\\";
}

void CMainDlg::OnOptions() {
    COptionsDlg options;
    if (options.DoModal() != IDOK)
        return;
    m_trust.Load(); // as Options left it
    m_trust.MarkRows(m_list);
    m_alert.SetSilenced(options.m_silence != 0);
    SetWindowText(options.m_silence ? "Kestrow - Silence mode" : "Kestrow");
}

bool CMainDlg::OnSysCommand(WPARAM command) {
    if ((command & 0xFFF0) != IDM_ABOUTBOX)
        return false;
    CAboutDlg about;
    about.DoModal();
    return true;
}

bool CMainDlg::OnCloseBox() {
    // Closing the window ends the program, exactly like Exit.
    PostMessage(WM_COMMAND, IDOK);
    return true;
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
    ::DrawIcon(dc, (rc.right - rc.left - cx + 1) / 2, (rc.bottom - rc.top - cy + 1) / 2, m_icon.Get());
    ::EndPaint(m_hWnd, &ps);
    return true;
}
