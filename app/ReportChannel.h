// The hand-off of reports from the monitor threads to the window's thread.
//
// Who owns what: a report (ReportRequest) lives on its sender's stack, and each sending
// thread owns one auto-reset "done" event for its whole life. The window's thread reads a
// request only between taking its message and setting its done event; the sender waits for
// that event (or for the channel closing) before its stack frame goes. Posted, not sent:
// sent messages go before every posted and input message, so a burst from two monitors
// would hold off Exit and the buttons for as long as it lasts. A report from the window's
// own thread is sent, since it cannot wait for itself.
#pragma once
#include "../framework/AfxHandle.h"
#include "../framework/AfxWin.h"
#include <atomic>

// A report handed from a monitor thread: LPARAM points at a ReportRequest of the sender.
// The result is 1 when the event was recorded, 0 once the window is closing.
const UINT WM_REPORT_EVENT = WM_APP + 102;
struct ReportRequest {
    const char* category;
    int kind;
    const char* location;
    const char* details;
    const char* previous; // what a Changed event's details replaced; may be null
    HANDLE done;          // when posted: set once the report was handled (or refused)
};

// What the window does with the reports, on its own thread.
class IReportReceiver {
public:
    virtual void OnReport(const ReportRequest& r) = 0;
    // Once after each batch of reports, before their senders go on.
    virtual void OnReportsTaken() = 0;

protected:
    ~IReportReceiver() = default;
};

class CReportChannel {
public:
    // Reports go to `window`, whose thread hands them to `receiver`.
    CReportChannel(const CWnd& window, IReportReceiver& receiver)
        : m_window(window), m_receiver(receiver), m_closed(MakeEvent(true)) {}

    // Any thread: hands the report to the window and returns once it was recorded (true), or
    // refused because the channel closed or the window is not there (false).
    bool Send(const char* category, int kind, const char* location, const char* details,
              const char* previous);

    // Window thread, for a WM_REPORT_EVENT: records that report and every one already waiting
    // (up to a batch), then tells the receiver once, and only then releases their senders,
    // also when recording fails. False (nothing touched) once the channel is closed.
    bool Take(LPARAM first);
    // Window thread, as the session ends: takes every report already waiting, then closes.
    void TakeAllAndClose();

    // From here on reports are refused, and senders waiting for theirs are released.
    void Close();

private:
    // Records `first`, or when null the first report waiting, and the batch behind it; how
    // many it took.
    size_t TakeBatch(const ReportRequest* first);

    const CWnd& m_window;
    IReportReceiver& m_receiver;
    std::atomic<bool> m_closing{false};
    CHandle m_closed;
};
