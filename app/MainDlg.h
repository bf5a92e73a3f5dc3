// The main window: event list, reporting, CSV log, alert and tray icon.
//
// Threads: the monitors report from their own threads. ReportEvent hands the event to this
// window's thread with one posted message and returns when it has been recorded, so the list,
// the log queue, the alert timer and the buttons are touched only by the interface thread,
// and two reports can never mix their columns or interleave their log lines. Posted, not
// sent: sent messages go before every posted and input message, so a burst from two
// monitors would hold off Exit and the buttons for as long as it lasts.
#pragma once
#include "../framework/AfxWin.h"
#include "../monitors/MonitorHost.h"
#include "../monitors/TaskMonitor.h"
#include "../ui/stListCtrl.h"
#include <atomic>
#include <deque>
#include <string>

struct ReportRequest;

class CMainDlg : public CDialog, public IMonitorHost {
public:
    explicit CMainDlg(HWND parent = nullptr);
    ~CMainDlg() override;

    // IMonitorHost
    HANDLE GetStopEvent() const override { return m_stopEvent; }
    DWORD GetSettleTime() const override { return 5000; }
    void ReportEvent(const char* category, int kind, const char* location, const char* details) override;
    // Shown in a message box on the monitor's thread, which waits for it.
    void ReportError(const char* text) override;
    // Says so on the debug output, where the start-up figures of the scale benchmark read it.
    void OnMonitorReady(const char* monitor) override;

    BOOL UpdateTrayIcon(DWORD command, UINT iconResource);
    void StartAlert();
    void StopAlert();
    void OnAlertTick();

    stListCtrl m_list;
    HICON m_hIcon;
    int m_alertTimer = -1;
    HANDLE m_stopEvent;
    CTaskMonitor m_taskMonitor;
    SYSTEMTIME m_silenceUntil;
    int m_silenced = 0;

    // Set when the window starts closing: reports are refused from then on, and a monitor
    // waiting for its report to be handled is released.
    std::atomic<bool> m_closing{false};
    HANDLE m_hClosing;

    // Log lines not yet written, oldest first (the log was held open or could not be written).
    std::deque<std::string> m_unwrittenLog;
    // Hidden at start until the tray icon asks for the window.
    bool m_keepHidden = false;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnCommand(WORD id, WORD code) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // Escape carries the cancel id: it clears the list and never closes the window.
    void OnCancel() override { OnClear(); }

    // Runs the start-up clean-up and starts the monitor threads, in their fixed order.
    virtual void StartMonitors();
    // Seams for tests: the clock and the speaker.
    virtual void GetNow(SYSTEMTIME* now) const { ::GetLocalTime(now); }
    virtual void Beep() { ::Beep(1880, 200); }

    void OnClear();
    void OnViewLog();
    void OnAcknowledge() { StopAlert(); }
    void OnOptions();
    void OnDestroy();
    LRESULT OnTrayNotify(WPARAM id, LPARAM mouseMsg);
    void OnReports(const ReportRequest* first);
    void OnRecordEvent(const char* category, int kind, const char* location, const char* details);
    void WriteLog();
    void Hide();
};
