#include "MonitorSet.h"
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

void Trace(const char* format, ...) {
    char text[256] = "Kestrow: ";
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + 9, sizeof text - 10, format, args);
    va_end(args);
    std::strcat(text, "\n");
    ::OutputDebugStringA(text);
}

// What the monitor threads share with the set: the host they are given.
struct CMonitorSet::Shared : IMonitorHost {
    // Manual-reset: the first of the stop signals reaches every monitor, however many the roster
    // holds (twelve signals on an auto-reset event once covered nine monitors).
    CHandle stop = MakeEvent(true);
    CSnapshotStore store;
    DWORD settle;
    size_t count;
    std::atomic<size_t> ready{0};
    DWORD stopBegan = 0;
    std::mutex mutex;
    IReportSink* sink; // null once the stop has ended

    HANDLE GetStopEvent() const override { return stop.Get(); }
    DWORD GetSettleTime() const override { return settle; }
    bool ReportEvent(const char* category, int kind, const char* location, const char* details,
                     const char* previous) override {
        std::lock_guard<std::mutex> lock(mutex);
        return sink && sink->ReportEvent(category, kind, location, details, previous);
    }
    void ReportError(const char* text) override {
        IReportSink* to;
        {
            std::lock_guard<std::mutex> lock(mutex);
            to = sink;
        }
        // Not under the lock: the sink may show it modally.
        if (to)
            to->ReportError(text);
    }
    void OnMonitorReady(const char* monitor) override {
        Trace("%s ready", monitor);
        if (++ready == count)
            Trace("every monitor ready");
    }
};

namespace {
struct ThreadStart {
    std::shared_ptr<IMonitorHost> host; // holds the store too
    CSnapshotStore* store;
    MonitorRow row;
};

DWORD WINAPI MonitorThread(LPVOID param) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(param));
    try {
        return start->row.run(*start->host, start->row, start->store);
    } catch (...) {
    }
    return 0;
}

struct LoopStart {
    std::shared_ptr<IMonitorHost> host;
    CSnapshotStore* store;
    std::vector<LoopMonitor> monitors;
};

DWORD WINAPI LoopThread(LPVOID param) {
    std::unique_ptr<LoopStart> start(static_cast<LoopStart*>(param));
    return RunWatchMonitors(*start->host, std::move(start->monitors), start->store);
}

// What one loop's wait takes: a change and a guard event per watch, and the stop event.
const size_t kLoopWatches = (MAXIMUM_WAIT_OBJECTS - 1) / 2;
} // namespace

CMonitorSet::CMonitorSet(const std::vector<MonitorRow>& roster, IReportSink& sink, DWORD settleMs)
    : m_shared(std::make_shared<Shared>()), m_roster(roster) {
    m_shared->settle = settleMs;
    m_shared->count = roster.size();
    m_shared->sink = &sink;
}

CMonitorSet::~CMonitorSet() {
    if (!m_threads.empty() && !m_signaller)
        BeginStop();
    if (m_signaller)
        EndStop();
}

CSnapshotStore::LoadResult CMonitorSet::LoadSnapshots(const std::string& path, bool reportOffline) {
    m_shared->store.SetReportOffline(reportOffline);
    return m_shared->store.Load(path);
}

bool CMonitorSet::SaveSnapshots() {
    return m_shared->store.Save();
}

void CMonitorSet::StartThread(LPTHREAD_START_ROUTINE proc, void* start) {
    HANDLE thread = ::CreateThread(nullptr, 0, proc, start, 0, nullptr);
    if (thread)
        m_threads.emplace_back(thread);
    else if (proc == MonitorThread)
        delete static_cast<ThreadStart*>(start);
    else
        delete static_cast<LoopStart*>(start);
}

void CMonitorSet::StartLoop(std::vector<LoopMonitor>& monitors) {
    if (!monitors.empty())
        StartThread(LoopThread, new LoopStart{m_shared, &m_shared->store, std::move(monitors)});
    monitors.clear();
}

void CMonitorSet::Start() {
    std::vector<LoopMonitor> loop;
    size_t watches = 0;
    for (const MonitorRow& row : m_roster) {
        if (!row.watches) {
            StartThread(MonitorThread, new ThreadStart{m_shared, &m_shared->store, row});
            continue;
        }
        LoopMonitor monitor{row.name, row.WaitName(), row.watches(row)};
        if (watches + monitor.watches.size() > kLoopWatches)
            StartLoop(loop), watches = 0;
        watches += monitor.watches.size();
        loop.push_back(std::move(monitor));
    }
    StartLoop(loop);
}

void CMonitorSet::BeginStop() {
    // Read by bench/shutdown.sh: the close measured from inside, without the requester's start.
    Trace("closing");
    m_shared->stopBegan = ::GetTickCount();
    // The stop protocol of SignalStop, with the set's share held for as long as it runs.
    auto* shared = new std::shared_ptr<Shared>(m_shared);
    HANDLE thread = ::CreateThread(
        nullptr, 0,
        [](LPVOID param) -> DWORD {
            std::unique_ptr<std::shared_ptr<Shared>> held(static_cast<std::shared_ptr<Shared>*>(param));
            SignalStop((*held)->stop.Get());
            return 0;
        },
        shared, 0, nullptr);
    if (thread)
        m_signaller = CHandle(thread);
    else
        delete shared, SignalStop(m_shared->stop.Get());
}

void CMonitorSet::EndStop(DWORD joinMs) {
    if (m_signaller)
        ::WaitForSingleObject(m_signaller.Get(), INFINITE);
    DWORD until = ::GetTickCount() + joinMs;
    for (CHandle& thread : m_threads) {
        DWORD now = ::GetTickCount(), left = static_cast<LONG>(until - now) > 0 ? until - now : 0;
        ::WaitForSingleObject(thread.Get(), left);
    }
    Trace("monitors stopped in %lu ms", static_cast<unsigned long>(::GetTickCount() - m_shared->stopBegan));
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->sink = nullptr;
    }
    // After the stop, when the monitors have seen it: a comparison still running keeps out of
    // its snapshot whatever the closing window refused.
    m_shared->store.Save();
    m_threads.clear();
    m_signaller.Close();
}
