// The main window's notices to the user, its timers, the tray and hiding, the snapshots it keeps
// across runs, and the end of the session.
#include "../res/resource.h"
#include "MainDlg.h"
#include "Messages.h"
#include "Preferences.h"

void CMainDlg::ShowNotices() {
    for (const std::string& notice : m_log.TakeNotices())
        ShowNotice(notice);
}

void CMainDlg::ShowNotice(const std::string& notice) {
    // In the window's heading for whoever opens it, and in a balloon while it is hidden.
    ::SetDlgItemTextA(m_hWnd, IDC_NOTICE, ("Kestrow\r\n" + notice).c_str());
    m_tray.ShowBalloon(notice.c_str());
}

bool CMainDlg::OnEndSession(bool ending) {
    if (!ending)
        return true;
    // The process ends once this returns: the reports already waiting are taken, and every
    // line is written, waiting a little for a log that another program holds.
    m_channel.TakeAllAndClose();
    int tries = 0;
    while (!m_log.Flush() && ++tries < 40)
        ::Sleep(100);
    if (tries == 40)
        m_log.KeepWaiting();
    m_monitors.SaveSnapshots();
    m_layout.Save();
    m_tray.Remove();
    return true;
}

void CMainDlg::StartMonitors() {
    std::string path = m_log.GetPath();
    path = path.substr(0, path.rfind('.')) + ".snapshots";
    if (m_monitors.LoadSnapshots(path, IsSwitchedOn(kReportOfflineSwitch)) == CSnapshotStore::Unreadable)
        ShowNotice(
            "The snapshots saved by the last run could not be read; changes made while Kestrow was not "
            "running are not reported this time. The file was kept as " +
            path + ".bad");
    // Written only when a monitor's snapshot changed, never by the monitors themselves.
    SetTimer(IDT_SAVE_SNAPSHOTS, 10000);
    m_monitors.Start();
}

bool CMainDlg::OnTimer(UINT_PTR id) {
    if (id == IDT_ALERT)
        m_alert.OnTick();
    else if (id == IDT_LOG_RETRY)
        WriteLog();
    else if (id == IDT_SAVE_SNAPSHOTS)
        m_monitors.SaveSnapshots();
    else if (id == IDT_BALLOON)
        m_balloons.Show();
    return false;
}

LRESULT CMainDlg::OnTrayNotify(WPARAM id, LPARAM mouseMsg) {
    if ((mouseMsg != WM_RBUTTONDOWN && mouseMsg != NIN_BALLOONUSERCLICK) || id != TRAY_ICON_ID)
        return 0;
    ShowFromTray();
    if (mouseMsg == NIN_BALLOONUSERCLICK)
        m_list.ShowRow(m_balloons.NewestShown());
    return 1;
}

LRESULT CMainDlg::OnStartHidden() {
    m_keepHidden = true;
    Hide();
    return 1;
}

bool CMainDlg::OnWindowPosChanging(WINDOWPOS* pos) {
    // The dialog manager may show a modal dialog once its queue first runs empty, after it
    // was hidden at start (Wine does); it stays hidden until the tray icon shows it.
    if (m_keepHidden)
        pos->flags &= ~SWP_SHOWWINDOW;
    return false;
}

void CMainDlg::ShowFromTray() {
    m_keepHidden = false;
    m_list.SendMessage(WM_SETREDRAW, TRUE);
    ::InvalidateRect(m_list.m_hWnd, nullptr, TRUE);
    // SW_RESTORE would take a maximised window back to its normal size.
    ShowWindow(IsIconic() ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow();
}

bool CMainDlg::HideWhen(bool minimised) {
    if (minimised)
        Hide();
    return false;
}

void CMainDlg::Hide() {
    // A hidden list need not repaint: rows reported meanwhile cost less, and are drawn when shown.
    m_list.SendMessage(WM_SETREDRAW, FALSE);
    ShowWindow(SW_HIDE);
}
