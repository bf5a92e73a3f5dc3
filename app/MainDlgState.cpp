// The main window's notices to the user, its balloons, the snapshots it keeps across runs, and
// the end of the session.
#include "../res/resource.h"
#include "Alert.h"
#include "ChangeBalloon.h"
#include "MainDlg.h"
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

void CMainDlg::OnEndSession() {
    // The process ends once this returns: the reports already waiting are taken, and every
    // line is written, waiting a little for a log that another program holds.
    MSG m;
    while (::PeekMessageA(&m, m_hWnd, WM_REPORT_EVENT, WM_REPORT_EVENT, PM_REMOVE))
        OnReports(m.lParam);
    m_channel.Close();
    int tries = 0;
    while (!m_log.Flush() && ++tries < 40)
        ::Sleep(100);
    if (tries == 40)
        m_log.KeepWaiting();
    m_snapshots.Save();
    m_layout.Save();
    m_tray.Remove();
}

void CMainDlg::LoadSnapshots() {
    std::string path = m_log.GetPath();
    path = path.substr(0, path.rfind('.')) + ".snapshots";
    m_snapshots.SetReportOffline(IsSwitchedOn(kReportOfflineSwitch));
    if (m_snapshots.Load(path) == CSnapshotStore::Unreadable)
        ShowNotice(
            "The snapshots saved by the last run could not be read; changes made while Kestrow was not "
            "running are not reported this time. The file was kept as " +
            path + ".bad");
    // Written only when a monitor's snapshot changed, never by the monitors themselves.
    SetTimer(IDT_SAVE_SNAPSHOTS, 10000);
}

void CMainDlg::ShowChangeBalloon() {
    if (m_balloon.Empty()) {
        KillTimer(IDT_BALLOON);
        return;
    }
    DWORD now = ::GetTickCount(), wait = now - m_lastBalloon < 1000 ? 1000 - (now - m_lastBalloon) : 0;
    if (wait) {
        SetTimer(IDT_BALLOON, wait);
        return;
    }
    KillTimer(IDT_BALLOON);
    m_lastBalloon = now;
    BalloonText balloon = m_balloon.Take();
    m_balloonRow = balloon.newest;
    // Quiet exactly when the alert's beep is.
    m_tray.ShowBalloon(balloon.text.c_str(), balloon.title.c_str(),
                       AlertIsQuiet(m_silenced, m_clock.Now(), m_silenceUntil));
}
