// The main window: the event list, the alert, the log and the buttons. Monitor reports reach
// it through CReportChannel (see there for who owns what across threads); the list, the log,
// the alert timer and the tray icon are touched only by the window's own thread.
#pragma once
#include "../framework/AfxHandle.h"
#include "../framework/AfxWin.h"
#include "../monitors/engine/MonitorSet.h"
#include "../ui/EventList.h"
#include "Alert.h"
#include "ChangeBalloon.h"
#include "ClockSpeaker.h"
#include "EventLogFile.h"
#include "ReportChannel.h"
#include "RowMenu.h"
#include "SystemEventLog.h"
#include "TrayIcon.h"
#include "TrustList.h"
#include "WindowLayout.h"
#include <string>

class CMainDlg : public CDialog, public IReportSink, private IReportReceiver {
public:
    // The log goes to `logFolder` (see CEventLogFile); the alert asks `clock` for the time and
    // its beeps. Without `startMonitors` the window only shows what is reported to it.
    CMainDlg(const std::string& logFolder, IClockSpeaker& clock, bool startMonitors = true);
    ~CMainDlg() override;

    // IReportSink
    bool ReportEvent(const char* category, int kind, const char* location, const char* details,
                     const char* previous = nullptr) override;
    // Shown in a message box on the monitor's thread, which waits for it.
    void ReportError(const char* text) override;

private:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnCommand(WORD id, WORD code) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // Escape carries the cancel id: it clears the list and never closes the window.
    void OnCancel() override { OnClear(); }

    // IReportReceiver: each event goes to the list, the log, the event log and the balloon;
    // after each batch the log is written once and the alert restarted once.
    void OnReport(const ReportRequest& r) override;
    void OnReportsTaken() override;

    // Loads the last run's snapshots and starts the monitors.
    void StartMonitors();
    void WriteLog();
    void ShowNotices();
    void ShowNotice(const std::string& notice);

    // Message handlers: true when the message was handled.
    bool OnRegisteredMessage(UINT msg);
    bool OnSysCommand(WPARAM command);
    bool OnPaintIconic();
    bool OnCloseBox();
    bool OnEndSession(bool ending);
    bool OnDestroy();
    bool HideWhen(bool minimised);
    bool OnTimer(UINT_PTR id);
    LRESULT OnTrayNotify(WPARAM id, LPARAM mouseMsg);
    LRESULT OnStartHidden();
    bool OnWindowPosChanging(WINDOWPOS* pos);

    void OnClear();
    void OnViewLog();
    void OnOptions();
    // Beside the log: where undoing a row keeps what it replaced.
    std::string UndoFolder();
    void ShowFromTray();
    void Hide();

    IClockSpeaker& m_clock;
    const bool m_startMonitors;
    CReportChannel m_channel;
    CEventLogFile m_log;
    CSystemEventLog m_eventLog;
    CTrayIcon m_tray;
    CEventList m_list;
    CIconHandle m_icon;
    CMonitorSet m_monitors;
    CAlert m_alert;
    CChangeBalloons m_balloons; // the events the next balloon tells of
    // Hidden at start until the tray icon asks for the window.
    bool m_keepHidden = false;
    CTrustList m_trust;
    bool m_alertDue = false; // an event of the reports being taken is not trusted
    CRowMenu m_rowMenu;
    CWindowLayout m_layout;
};
