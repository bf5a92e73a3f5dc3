#include "TaskMonitor.h"
#include <objbase.h>
#include "TaskRoutes.h"

void CTaskRoute::Compare(IMonitorHost& host, const ItemReading& reading) {
    m_snapshot.Compare(reading, [&](int kind, const std::string& name, const std::string& text,
                                    const std::string& previous) {
        return host.ReportEvent(CATEGORY_TASKS, kind, ShownLocation(name).c_str(), ShownText(text).c_str(),
                                kind == EVENT_CHANGED ? ShownText(previous).c_str() : nullptr);
    });
}

CTaskMonitor::CTaskMonitor(IMonitorHost& host, CTaskSources& sources, CSnapshotStore* store) : m_host(host) {
    m_routes.push_back(MakeWorkItemRoute(sources));
    m_routes.push_back(MakeJobRoute(sources));
    m_routes.push_back(MakeTaskFolderRoute(sources, m_routes.front()->Snapshot()));
    for (auto& route : m_routes)
        route->Snapshot().KeepIn(store, std::string(CATEGORY_TASKS "\t") + route->Name());
}

CTaskMonitor::~CTaskMonitor() = default;

void CTaskMonitor::Poll() {
    for (auto& route : m_routes) {
        ItemReading reading;
        if (route->Read(reading))
            route->Compare(m_host, reading);
    }
}

UINT RunTaskMonitor(IMonitorHost& host, DWORD pollPeriod, CTaskSources* sources, CSnapshotStore* store) {
    HRESULT hr = ::CoInitialize(nullptr);
    if (FAILED(hr))
        return static_cast<UINT>(hr);
    try {
        // Made and let go of inside the apartment.
        CTaskSources system;
        CTaskMonitor monitor(host, sources ? *sources : system, store);
        monitor.Poll();
        host.OnMonitorReady("MonitorTaskSchedulerProc");
        while (::WaitForSingleObject(host.GetStopEvent(), pollPeriod) == WAIT_TIMEOUT)
            monitor.Poll();
    } catch (...) {
    }
    ::CoUninitialize();
    return 0;
}
