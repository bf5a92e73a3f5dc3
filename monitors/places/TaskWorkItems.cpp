// The Task Scheduler 1.0 route: every work item, by name.
#include "TaskRoutes.h"
#include <cwchar>
#include <mstask.h>

namespace {
const ULONG kNamesPerBatch = 5;

// One batch of names from IEnumWorkItems::Next, each freed with the array that held it.
class CNameBatch {
public:
    LPWSTR** Names() { return m_array.Out(); }
    ULONG* Count() { return &m_count; }
    // Takes the names into their own holders; the enumerator may claim more names than it
    // was asked for, so never past those.
    void Take() {
        ULONG n = m_array.Get() ? (m_count < kNamesPerBatch ? m_count : kNamesPerBatch) : 0;
        for (ULONG i = 0; i < n; ++i)
            m_names.emplace_back(m_array.Get()[i]);
    }
    const std::vector<CCoTaskText>& Taken() const { return m_names; }

private:
    CCoTaskMem<LPWSTR> m_array;
    ULONG m_count = 0;
    std::vector<CCoTaskText> m_names;
};

// A text handed out by a COM method, converted.
std::string TextOf(const CCoTaskText& text) {
    return WideToAnsi(text.Get(), kTaskTextSize);
}

bool EndsWithJob(const std::wstring& name) {
    return name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".job") == 0;
}

// Wine lists "x.job" but activates and deletes only "x": `call` again without the suffix.
template <class Call> HRESULT WithOrWithoutJob(const std::wstring& name, Call call) {
    HRESULT hr = call(name.c_str());
    if (FAILED(hr) && EndsWithJob(name))
        hr = call(name.substr(0, name.size() - 4).c_str());
    return hr;
}

HRESULT Activate(ITaskScheduler* scheduler, const std::wstring& name, CComPtr<ITask>& task) {
    return WithOrWithoutJob(name, [&](LPCWSTR tried) {
        HRESULT hr = scheduler->Activate(tried, IID_ITask, reinterpret_cast<IUnknown**>(task.Out()));
        return SUCCEEDED(hr) && !task ? E_NOINTERFACE : hr;
    });
}

// "trigger text;application name" of one work item.
std::string DetailsOf(ITask* task) {
    std::string application, trigger;
    CCoTaskText text;
    if (SUCCEEDED(task->GetApplicationName(text.Out())))
        application = TextOf(text);

    CComPtr<IScheduledWorkItem> queried;
    IScheduledWorkItem* item = task;
    // Wine refuses this interface on a task, which is one anyway.
    if (SUCCEEDED(task->QueryInterface(IID_IScheduledWorkItem, queried.OutVoid())) && queried)
        item = queried.Get();
    WORD count = 0;
    if (FAILED(item->GetTriggerCount(&count)))
        count = 0;
    // Only the last trigger counts; one whose text cannot be read leaves the earlier one.
    for (WORD i = 0; i < count; ++i) {
        if (SUCCEEDED(item->GetTriggerString(i, text.Out())) && text.Get())
            trigger = TextOf(text);
    }
    return trigger + ";" + application;
}

// The details of one work item listed; ";" when it cannot be activated.
std::string ReadWorkItemDetails(ITaskScheduler* scheduler, LPCWSTR name) {
    CComPtr<ITask> task;
    return SUCCEEDED(Activate(scheduler, name, task)) ? DetailsOf(task.Get()) : ";";
}

class CWorkItemRoute : public CTaskRoute {
public:
    explicit CWorkItemRoute(CTaskSources& sources) : CTaskRoute("work items", sources) {}
    bool Read(ItemReading& reading) override;

private:
    // Known by its whole name, since two long names may share their cut; shown cut.
    std::string ShownLocation(const std::string& name) const override {
        char location[kTaskTextSize];
        CopyCut(location, name.c_str());
        return location;
    }
    CComPtr<ITaskScheduler> m_scheduler;
};

bool CWorkItemRoute::Read(ItemReading& reading) {
    if (!m_scheduler && FAILED(m_sources.CreateScheduler(m_scheduler.Out())))
        m_scheduler.Release();
    CComPtr<IEnumWorkItems> items;
    if (!m_scheduler || FAILED(m_scheduler->Enum(items.Out())) || !items) {
        m_scheduler.Release(); // the service may have restarted: a new one at the next poll
        return false;
    }
    for (;;) {
        CNameBatch batch;
        HRESULT hr = items->Next(kNamesPerBatch, batch.Names(), batch.Count());
        batch.Take();
        if (FAILED(hr))
            return false;
        if (batch.Taken().empty())
            return true;
        for (auto name = batch.Taken().rbegin(); name != batch.Taken().rend(); ++name)
            if (LPCWSTR text = name->Get())
                reading.emplace_back(WorkItemName(text), ReadWorkItemDetails(m_scheduler.Get(), text));
    }
}
} // namespace

HRESULT ReadWorkItem(ITaskScheduler* scheduler, const std::wstring& name, std::string& details) {
    CComPtr<ITask> task;
    HRESULT hr = Activate(scheduler, name, task);
    if (SUCCEEDED(hr))
        details = DetailsOf(task.Get());
    return hr;
}

HRESULT DeleteWorkItem(ITaskScheduler* scheduler, const std::wstring& name) {
    return WithOrWithoutJob(name, [&](LPCWSTR tried) { return scheduler->Delete(tried); });
}

std::string WorkItemName(const wchar_t* name) {
    return WideToAnsi(name, std::wcslen(name) * 4 + 1);
}

HRESULT CTaskSources::CreateScheduler(ITaskScheduler** scheduler) {
    return ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                              reinterpret_cast<void**>(scheduler));
}

std::unique_ptr<CTaskRoute> MakeWorkItemRoute(CTaskSources& sources) {
    return std::make_unique<CWorkItemRoute>(sources);
}
