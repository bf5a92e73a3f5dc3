#include "TaskMonitor.h"
#include "../framework/AfxWin.h"
#include <mstask.h>
#include <objbase.h>
#include <taskschd.h>
#include "../engine/SnapshotStore.h"

void CTaskRouteSnapshot::Compare(const Reading& reading, const Report& report) {
    if (!m_read && m_store && m_store->TakeSaved(m_id, m_current)) {
        // As the last run left it: what differs changed while the program was not running.
        CopySnapshot(m_current, m_unseen);
        m_read = true;
    }
    bool changed = !m_read;
    CSnapshotComparison* self = nullptr;
    CSnapshotComparison comparison(
        m_current, m_unseen,
        [&](int kind, const std::string& name, const std::string& details) {
            changed = true;
            // The first reading is known silently.
            return !m_read || report(kind, name, details, self->Previous());
        },
        CompareNoCase);
    self = &comparison;
    for (const auto& item : reading)
        comparison.Item(item.first, item.second);
    comparison.Finish();
    m_read = true;
    if (m_store && changed)
        m_store->Update(m_id, m_current);
}

void CTaskRouteSnapshot::Forget(const std::string& name) {
    m_current.RemoveKey(name);
    m_unseen.RemoveKey(name);
}

CTaskMonitor::CTaskMonitor() = default;

CTaskMonitor::~CTaskMonitor() {
    // A poll still in progress uses the maps: let it end first, within bounds, as the
    // program is closing. A thread that still runs keeps its quit event.
    if (m_running) {
        Stop();
        for (int i = 0; i < 500 && m_running; ++i)
            ::Sleep(10);
        if (m_running)
            m_quitEvent.Detach();
    }
}

void CTaskMonitor::Init(IMonitorHost* host) {
    m_pHost = host;
    CSnapshotStore* store = host ? host->GetSnapshotStore() : nullptr;
    m_workItems.KeepIn(store, CATEGORY_TASKS "\twork items");
    m_jobs.KeepIn(store, CATEGORY_TASKS "\tjobs");
    m_tasks.KeepIn(store, CATEGORY_TASKS "\ttasks");
    if (!m_quitEvent)
        m_quitEvent = MakeEvent(true);
}

BOOL CTaskMonitor::Start() {
    // One thread at a time: the maps belong to it alone.
    if (m_running.exchange(true))
        return FALSE;
    ::ResetEvent(m_quitEvent.Get());
    if (!AfxBeginThread(MonitorTaskSchedulerProc, this)) {
        m_running = false;
        return FALSE;
    }
    return TRUE;
}

void CTaskMonitor::Stop() {
    if (m_quitEvent)
        ::SetEvent(m_quitEvent.Get());
}

bool CTaskMonitor::Report(int kind, const std::string& location, const std::string& details,
                          const std::string& previous) {
    return m_pHost && m_pHost->ReportEvent(CATEGORY_TASKS, kind, location.c_str(), details.c_str(),
                                           kind == EVENT_CHANGED ? previous.c_str() : nullptr);
}

void CTaskMonitor::Poll() {
    ScanWorkItems();
    ScanJobs();
    ScanTaskFolders(); // after the work items: a task both list is theirs
    if (++m_polls == 1 && m_pHost)
        m_pHost->OnMonitorReady("MonitorTaskSchedulerProc");
}

void CTaskMonitor::ReleaseServices() {
    m_scheduler.Release();
    m_taskService.Release();
}

UINT MonitorTaskSchedulerProc(LPVOID param) {
    auto* monitor = static_cast<CTaskMonitor*>(param);
    HRESULT hr = ::CoInitialize(nullptr);
    if (FAILED(hr)) {
        monitor->m_running = false;
        return static_cast<UINT>(hr);
    }
    try {
        // A route that cannot be read now is tried again at the next poll.
        for (;;) {
            monitor->Poll();
            HANDLE events[2] = {monitor->m_pHost ? monitor->m_pHost->GetStopEvent() : nullptr,
                                monitor->m_quitEvent.Get()};
            if (::WaitForMultipleObjects(2, events, FALSE, monitor->m_pollPeriod) != WAIT_TIMEOUT)
                break;
        }
    } catch (...) {
    }
    monitor->ReleaseServices();
    ::CoUninitialize();
    monitor->m_running = false;
    return 0;
}
