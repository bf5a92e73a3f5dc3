// The main window: the event list, the alert, the log and the buttons. Monitor reports reach
// it through CReportChannel (see there for who owns what across threads); the list, the log,
// the alert timer and the tray icon are touched only by the window's own thread.
#pragma once
#include "../framework/AfxHandle.h"
#include "../framework/AfxWin.h"
#include "../engine/MonitorHost.h"
#include "../engine/SnapshotStore.h"
#include "../places/TaskMonitor.h"
#include "../ui/EventList.h"
#include "ChangeBalloon.h"
#include "ClockSpeaker.h"
#include "EventLogFile.h"
#include "ReportChannel.h"
#include "RowMenu.h"
#include "TrayIcon.h"
#include "TrustList.h"
#include "WindowLayout.h"
#include <string>
#include <vector>

class CMainDlg : public CDialog, public IMonitorHost {
public:
    // The log goes to `logFolder` (see CEventLogFile); the alert asks `clock` for the time and
    // its beeps. Without `startMonitors` the window only shows what is reported to it.
    CMainDlg(const std::string& logFolder, IClockSpeaker& clock, bool startMonitors = true);
    ~CMainDlg() override;

    // IMonitorHost
    HANDLE GetStopEvent() const override { return m_stopEvent.Get(); }
    DWORD GetSettleTime() const override { return 5000; }
    bool ReportEvent(const char* category, int kind, const char* location, const char* details,
                     const char* previous = nullptr) override;
    // Shown in a message box on the monitor's thread, which waits for it.
    void ReportError(const char* text) override;
    // Says so on the debug output, where the start-up figures of the scale benchmark read it.
    void OnMonitorReady(const char* monitor) override;
    CSnapshotStore* GetSnapshotStore() override { return &m_snapshots; }

private:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnCommand(WORD id, WORD code) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // Escape carries the cancel id: it clears the list and never closes the window.
    void OnCancel() override { OnClear(); }

    // Runs the start-up clean-up and starts the monitor threads, in their fixed order.
    void StartMonitors();
    // False when the channel has closed and the reports were refused.
    bool OnReports(LPARAM first);
    void OnRecordEvent(const ReportRequest& r);
    void WriteLog();
    void ShowNotices();
    void ShowNotice(const std::string& notice);
    // The snapshots the last run saved beside the log; saved again from time to time and at the end.
    void LoadSnapshots();
    // Says what the batch of events just recorded was, unless the user silenced the alert.
    void ShowChangeBalloon();
    void StartAlert();
    void StopAlert();
    void OnAlertTick();
    void OnClear();
    void OnViewLog();
    void OnOptions();
    void OnEndSession();
    void OnDestroy();
    LRESULT OnTrayNotify(WPARAM id, LPARAM mouseMsg);
    void ShowFromTray();
    void Hide();
    bool OnPaintIconic();

    IClockSpeaker& m_clock;
    const bool m_startMonitors;
    CReportChannel m_channel;
    CEventLogFile m_log;
    CTrayIcon m_tray;
    CEventList m_list;
    HICON m_hIcon;
    CHandle m_stopEvent;
    CTaskMonitor m_taskMonitor;
    CSnapshotStore m_snapshots;
    CBalloonBatch m_balloon;    // the events the next balloon tells of
    DWORD m_lastBalloon = 0;    // tick count of the last change balloon
    long long m_balloonRow = 0; // the newest row the last balloon told of, for its click
    CTrustList m_trust;
    bool m_alertDue = false; // an event of the reports being taken is not trusted
    CRowMenu m_rowMenu;
    CWindowLayout m_layout;

    bool m_alerting = false;
    int m_alertFrame = 0;
    bool m_silenced = false;
    SYSTEMTIME m_silenceUntil;
    // Hidden at start until the tray icon asks for the window.
    bool m_keepHidden = false;
};
