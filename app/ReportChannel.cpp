#include "ReportChannel.h"
#include <vector>

bool CReportChannel::Send(const char* category, int kind, const char* location, const char* details,
                          const char* previous) {
    ReportRequest r{category ? category : "", kind,     location ? location : "",
                    details ? details : "",   previous, nullptr};
    HWND window = m_window.m_hWnd;
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

bool CReportChannel::Take(LPARAM first) {
    // Once closing, the sender may have gone on: its request is not touched.
    if (m_closing)
        return false;
    TakeBatch(reinterpret_cast<const ReportRequest*>(first));
    return true;
}

void CReportChannel::TakeAllAndClose() {
    while (!m_closing && TakeBatch(nullptr) != 0) {
    }
    Close();
}

size_t CReportChannel::TakeBatch(const ReportRequest* first) {
    struct Senders {
        std::vector<HANDLE> done;
        ~Senders() {
            for (HANDLE h : done)
                if (h)
                    ::SetEvent(h);
        }
    } senders;
    auto next = [this]() -> const ReportRequest* {
        MSG m;
        bool waiting = ::PeekMessageA(&m, m_window.m_hWnd, WM_REPORT_EVENT, WM_REPORT_EVENT, PM_REMOVE);
        return waiting ? reinterpret_cast<const ReportRequest*>(m.lParam) : nullptr;
    };
    for (const ReportRequest* r = first ? first : next(); r;
         r = senders.done.size() < 256 ? next() : nullptr) {
        senders.done.push_back(r->done);
        m_receiver.OnReport(*r);
    }
    if (!senders.done.empty())
        m_receiver.OnReportsTaken();
    return senders.done.size();
}

void CReportChannel::Close() {
    m_closing = true;
    ::SetEvent(m_closed.Get());
}
