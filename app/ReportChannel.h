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
#include "Messages.h"
#include <atomic>
#include <functional>

class CReportChannel {
public:
    CReportChannel() : m_closed(MakeEvent(true)) {}

    // Any thread: hands the report to `window` and returns once it was recorded (true), or
    // refused because the channel closed (false).
    bool Send(HWND window, const char* category, int kind, const char* location, const char* details,
              const char* previous);

    // Window thread, for a WM_REPORT_EVENT: records that report and every one already waiting
    // (up to a batch), then runs `afterBatch` once, and only then releases their senders,
    // also when recording fails. False (nothing touched) once the channel is closed.
    bool Take(HWND window, const ReportRequest* first,
              const std::function<void(const ReportRequest&)>& record,
              const std::function<void()>& afterBatch);

    // From here on reports are refused, and senders waiting for theirs are released.
    void Close();
    bool IsClosed() const { return m_closing; }

private:
    std::atomic<bool> m_closing{false};
    CHandle m_closed;
};
