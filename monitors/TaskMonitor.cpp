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

// Holds one COM interface; releases it on the way out, exceptions included.
template <class I> class CComRef {
public:
    CComRef() = default;
    ~CComRef() {
        if (m_p)
            m_p->Release();
    }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;

    // For an out-parameter; whatever was held is released first.
    I** Out() {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
        return &m_p;
    }
    I* operator->() const { return m_p; }
    I* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    I* m_p = nullptr;
};

// One batch of names from IEnumWorkItems::Next: the array and every name still held.
class CNameBatch {
public:
    ~CNameBatch() {
        if (!m_names)
            return;
        for (ULONG i = 0; i < Size(); ++i)
            ::CoTaskMemFree(m_names[i]);
        ::CoTaskMemFree(m_names);
    }
    LPWSTR** Names() { return &m_names; }
    ULONG* Count() { return &m_count; }
    LPWSTR At(ULONG i) const { return m_names[i]; }
    // The enumerator may claim more names than it was asked for; never read past those.
    ULONG Size() const { return m_names ? (m_count < kNamesPerBatch ? m_count : kNamesPerBatch) : 0; }

private:
    LPWSTR* m_names = nullptr;
    ULONG m_count = 0;
};

// A text handed out by a COM method, converted and freed.
std::string TakeText(LPWSTR text) {
    std::string s = WideToAnsi(text, kTextSize);
    ::CoTaskMemFree(text);
    return s;
}

bool EndsWithJob(const std::wstring& name) {
    return name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".job") == 0;
}

// "trigger text;application name" of one work item; ";" when it cannot be activated.
std::string ReadWorkItemDetails(ITaskScheduler* scheduler, LPCWSTR name) {
    CComRef<ITask> task;
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
    LPWSTR text = nullptr;
    if (SUCCEEDED(task->GetApplicationName(&text)))
        application = TakeText(text);

    CComRef<IScheduledWorkItem> queried;
    IScheduledWorkItem* item = task.Get();
    // Wine refuses this interface on a task, which is one anyway.
    if (SUCCEEDED(task->QueryInterface(IID_IScheduledWorkItem, reinterpret_cast<void**>(queried.Out()))) &&
        queried)
        item = queried.Get();
    WORD count = 0;
    if (FAILED(item->GetTriggerCount(&count)))
        count = 0;
    // Only the last trigger counts; one whose text cannot be read leaves the earlier one.
    for (WORD i = 0; i < count; ++i) {
        text = nullptr;
        if (SUCCEEDED(item->GetTriggerString(i, &text)) && text)
            trigger = TakeText(text);
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

CTaskMonitor::CTaskMonitor()
    : m_hStopEvent(nullptr), m_hQuitEvent(nullptr), m_bFirstPass(TRUE), m_pSink(nullptr) {}

CTaskMonitor::~CTaskMonitor() {
    // A poll still in progress uses the maps: let it end first, within bounds, as the
    // program is closing.
    if (m_running) {
        Stop();
        for (int i = 0; i < 500 && m_running; ++i)
            ::Sleep(10);
    }
    if (m_hQuitEvent && !m_running)
        ::CloseHandle(m_hQuitEvent);
}

void CTaskMonitor::Init(HANDLE stopEvent, ITaskEventSink* sink) {
    m_hStopEvent = stopEvent;
    m_pSink = sink;
    if (!m_hQuitEvent)
        m_hQuitEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

BOOL CTaskMonitor::Start() {
    // One thread at a time: the maps belong to it alone.
    if (m_running.exchange(true))
        return FALSE;
    ::ResetEvent(m_hQuitEvent);
    if (!AfxBeginThread(MonitorTaskSchedulerProc, this)) {
        m_running = false;
        return FALSE;
    }
    return TRUE;
}

void CTaskMonitor::Stop() {
    if (m_hQuitEvent)
        ::SetEvent(m_hQuitEvent);
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
    if (!m_bFirstPass && m_pSink)
        m_pSink->OnTaskEvent(kind, location.c_str(), details.c_str());
}

void CTaskMonitor::Poll(ITaskScheduler* scheduler) {
    ScanWorkItems(scheduler);
    ScanJobs();
    m_bFirstPass = FALSE;
    if (++m_polls == 1)
        ::OutputDebugStringA("Kestrow: MonitorTaskSchedulerProc ready\n");
}

void CTaskMonitor::ScanWorkItems(ITaskScheduler* scheduler) {
    CComRef<IEnumWorkItems> items;
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
        if (FAILED(hr) || batch.Size() == 0)
            break;
        for (ULONG i = batch.Size(); i-- > 0;) {
            LPWSTR name = batch.At(i);
            if (name)
                comparison.Item(WideToAnsi(name, std::wcslen(name) * 4 + 1), ReadWorkItemDetails(scheduler, name));
        }
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
        CComRef<ITaskScheduler> scheduler;
        if (SUCCEEDED(monitor->CreateScheduler(scheduler.Out())) && scheduler) {
            for (;;) {
                monitor->Poll(scheduler.Get());
                HANDLE events[2] = {monitor->m_hStopEvent, monitor->m_hQuitEvent};
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
