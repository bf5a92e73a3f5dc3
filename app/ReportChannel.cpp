#include "ReportChannel.h"
#include <vector>

bool CReportChannel::Send(HWND window, const char* category, int kind, const char* location,
                          const char* details, const char* previous) {
    ReportRequest r{category ? category : "", kind,     location ? location : "",
                    details ? details : "",   previous, nullptr};
    if (m_closing || !window)
        return false;
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId())
        return ::SendMessageA(window, WM_REPORT_EVENT, 0, reinterpret_cast<LPARAM>(&r)) != 0;
    // Made at the thread's first report and kept: a report then costs no event creation.
    static thread_local CHandle t_done = MakeEvent();
    r.done = t_done.Get();
    if (!r.done)
        return false;
    ::ResetEvent(r.done); // a signal left over from a window that closed meanwhile
    if (!::PostMessageA(window, WM_REPORT_EVENT, 0, reinterpret_cast<LPARAM>(&r)))
        return false;
    // Taking and closing both run on the window's thread: the report was recorded exactly
    // when its done event is set, which the wait names first when both are.
    HANDLE waits[2] = {r.done, m_closed.Get()};
    return ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
}

bool CReportChannel::Take(HWND window, const ReportRequest* first,
                          const std::function<void(const ReportRequest&)>& record,
                          const std::function<void()>& afterBatch) {
    // Once closing, the sender may have gone on: its request is not touched.
    if (m_closing)
        return false;
    struct Senders {
        std::vector<HANDLE> done;
        ~Senders() {
            for (HANDLE h : done)
                if (h)
                    ::SetEvent(h);
        }
    } senders;
    const ReportRequest* r = first;
    for (;;) {
        senders.done.push_back(r->done);
        record(*r);
        MSG next;
        if (senders.done.size() >= 256 ||
            !::PeekMessageA(&next, window, WM_REPORT_EVENT, WM_REPORT_EVENT, PM_REMOVE))
            break;
        r = reinterpret_cast<const ReportRequest*>(next.lParam);
    }
    afterBatch();
    return true;
}

void CReportChannel::Close() {
    m_closing = true;
    ::SetEvent(m_closed.Get());
}
