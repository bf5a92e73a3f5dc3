#include "TaskMonitor.h"
#include "../framework/AfxWin.h"
#include "Snapshot.h"
#include <cstdio>
#include <cwchar>
#include <lmapibuf.h>
#include <lmerr.h>
#include <mstask.h>
#include <objbase.h>
#include <vector>

namespace {
const ULONG kNamesPerBatch = 5;
const size_t kTextSize = 260; // names, application names, trigger texts, job commands

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
    return WideToAnsi(text.Get(), kTextSize);
}

bool EndsWithJob(const std::wstring& name) {
    return name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".job") == 0;
}

// "trigger text;application name" of one work item; ";" when it cannot be activated.
std::string ReadWorkItemDetails(ITaskScheduler* scheduler, LPCWSTR name) {
    CComPtr<ITask> task;
    HRESULT hr = scheduler->Activate(name, IID_ITask, reinterpret_cast<IUnknown**>(task.Out()));
    std::wstring wide(name);
    if ((FAILED(hr) || !task) && EndsWithJob(wide)) {
        // Wine lists "x.job" but activates only "x".
        std::wstring bare = wide.substr(0, wide.size() - 4);
        hr = scheduler->Activate(bare.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(task.Out()));
    }
    if (FAILED(hr) || !task)
        return ";";

    std::string application, trigger;
    CCoTaskText text;
    if (SUCCEEDED(task->GetApplicationName(text.Out())))
        application = TextOf(text);

    CComPtr<IScheduledWorkItem> queried;
    IScheduledWorkItem* item = task.Get();
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
} // namespace

std::string WideToAnsi(const wchar_t* text, size_t size) {
    if (!text || !*text || size == 0)
        return std::string();
    const char* unknown = " ";
    int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, unknown, nullptr);
    if (n <= 0) {
        // Code pages such as UTF-8 take no replacement character.
        unknown = nullptr;
        n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    }
    if (n <= 0)
        return std::string();
    std::vector<char> whole(n);
    if (::WideCharToMultiByte(CP_ACP, 0, text, -1, whole.data(), n, unknown, nullptr) <= 0)
        return std::string();
    whole[n - 1] = '\0';
    std::vector<char> cut(size);
    CopyCut(cut.data(), size, whole.data());
    return cut.data();
}

std::string JobDaysText(const AT_ENUM& job) {
    static const char* const kWeekDays[] = {"M ", "T ", "W ", "Th ", "F ", "Sa ", "Su "};
    std::string text;
    if (job.Flags & JOB_RUN_PERIODICALLY)
        text += "Each ";
    for (int bit = 0; bit < 7; ++bit)
        if (job.DaysOfWeek & (1u << bit))
            text += kWeekDays[bit];
    for (int bit = 0; bit < 31; ++bit)
        if (job.DaysOfMonth & (1u << bit))
            text += std::to_string(bit + 1) + " ";
    return text;
}

std::string JobTimeText(DWORD_PTR jobTime) {
    // Whole minutes after midnight; a time of a day or more (never a valid job time) wraps
    // round rather than widening the text.
    unsigned minutes = static_cast<unsigned>((jobTime / 60000) % (24 * 60));
    unsigned hour = minutes / 60;
    char text[16];
    std::snprintf(text, sizeof text, "%2u:%02u%s", hour % 12 == 0 ? 12 : hour % 12, minutes % 60,
                  hour < 12 ? "AM" : "PM");
    return text;
}

std::string JobDetailsText(const AT_ENUM& job) {
    return JobDaysText(job) + ";" + JobTimeText(job.JobTime) + ";" + WideToAnsi(job.Command, kTextSize);
}

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

HRESULT CTaskMonitor::CreateScheduler(ITaskScheduler** scheduler) {
    return ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                              reinterpret_cast<void**>(scheduler));
}

NET_API_STATUS CTaskMonitor::EnumJobs(LPBYTE* buffer, DWORD* entriesRead, DWORD* totalEntries,
                                      DWORD* resumeHandle) {
    return ::NetScheduleJobEnum(nullptr, buffer, MAX_PREFERRED_LENGTH, entriesRead, totalEntries,
                                resumeHandle);
}

void CTaskMonitor::FreeJobs(LPBYTE buffer) {
    ::NetApiBufferFree(buffer);
}

void CTaskMonitor::Report(int kind, const std::string& location, const std::string& details) {
    if (!m_bFirstPass && m_pHost)
        m_pHost->ReportEvent(CATEGORY_TASKS, kind, location.c_str(), details.c_str());
}

void CTaskMonitor::Poll(ITaskScheduler* scheduler) {
    ScanWorkItems(scheduler);
    ScanJobs();
    m_bFirstPass = FALSE;
    if (++m_polls == 1 && m_pHost)
        m_pHost->OnMonitorReady("MonitorTaskSchedulerProc");
}

void CTaskMonitor::ScanWorkItems(ITaskScheduler* scheduler) {
    CComPtr<IEnumWorkItems> items;
    // Without an enumeration this pass learns nothing: the maps stay as they are.
    if (!scheduler || FAILED(scheduler->Enum(items.Out())) || !items)
        return;
    CSnapshotComparison comparison(
        m_currentWorkItems, m_unseenWorkItems,
        [this](int kind, const std::string& name, const std::string& details) {
            // Known by its whole name, since two long names may share their cut; shown cut.
            char location[kTextSize];
            CopyCut(location, name.c_str());
            Report(kind, location, details);
        },
        CompareNoCase);
    for (;;) {
        CNameBatch batch;
        HRESULT hr = items->Next(kNamesPerBatch, batch.Names(), batch.Count());
        batch.Take();
        if (FAILED(hr) || batch.Taken().empty())
            break;
        for (auto name = batch.Taken().rbegin(); name != batch.Taken().rend(); ++name)
            if (LPCWSTR text = name->Get())
                comparison.Item(WideToAnsi(text, std::wcslen(text) * 4 + 1),
                                ReadWorkItemDetails(scheduler, text));
    }
    comparison.Finish();
}

void CTaskMonitor::ScanJobs() {
    CSnapshotComparison comparison(
        m_currentJobs, m_unseenJobs,
        [this](int kind, const std::string& id, const std::string& details) { Report(kind, id, details); },
        CompareNoCase);
    DWORD resume = 0;
    for (;;) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        NET_API_STATUS status = EnumJobs(&buffer, &read, &total, &resume);
        // A failing enumeration counts as an empty list.
        bool good = (status == NERR_Success || status == ERROR_MORE_DATA) && total != 0 && buffer;
        try {
            if (good) {
                const AT_ENUM* jobs = reinterpret_cast<const AT_ENUM*>(buffer);
                for (DWORD i = 0; i < read; ++i)
                    comparison.Item(std::to_string(jobs[i].JobId), JobDetailsText(jobs[i]));
            }
        } catch (...) {
            FreeJobs(buffer);
            throw;
        }
        if (buffer)
            FreeJobs(buffer);
        // Asking again for more that never comes would never end.
        if (!good || status != ERROR_MORE_DATA || read == 0)
            break;
    }
    comparison.Finish();
}

UINT MonitorTaskSchedulerProc(LPVOID param) {
    auto* monitor = static_cast<CTaskMonitor*>(param);
    HRESULT hr = ::CoInitialize(nullptr);
    if (FAILED(hr)) {
        monitor->m_running = false;
        return static_cast<UINT>(hr);
    }
    try {
        CComPtr<ITaskScheduler> scheduler;
        if (SUCCEEDED(monitor->CreateScheduler(scheduler.Out())) && scheduler) {
            for (;;) {
                monitor->Poll(scheduler.Get());
                HANDLE events[2] = {monitor->m_pHost ? monitor->m_pHost->GetStopEvent() : nullptr,
                                    monitor->m_quitEvent.Get()};
                if (::WaitForMultipleObjects(2, events, FALSE, monitor->m_pollPeriod) != WAIT_TIMEOUT)
                    break;
            }
        }
    } catch (...) {
    }
    ::CoUninitialize();
    monitor->m_running = false;
    return 0;
}
