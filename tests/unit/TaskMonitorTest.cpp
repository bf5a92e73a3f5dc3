// The scheduled task monitor: job texts from built records, both routes over a fake Task
// Scheduler and fake job records, the thread and its stop, and the real Wine scheduler.
#include "monitors/TaskMonitor.h"
#include "TestSupport.h"
#include <atomic>
#include <gtest/gtest.h>
#include <lmerr.h>
#include <mstask.h>
#include <mutex>
#include <set>
#include <thread>

namespace {
// Every fake COM object alive; a poll must release all it took.
std::atomic<int> g_liveObjects{0};

struct FakeItem {
    std::wstring name; // as the enumeration gives it
    std::wstring application;
    std::vector<std::wstring> triggers; // L"?" stands for a trigger whose text cannot be read
    bool activatable = true;
};

// What the fake scheduler holds, and how it behaves.
struct FakeSchedule {
    std::vector<FakeItem> items;
    // Like Wine: Activate refuses names ending in ".job"; no IScheduledWorkItem on a task.
    bool wine = false;
    bool enumFails = false;
    std::vector<ULONG> requested; // counts asked of Next
};

LPWSTR CoCopy(const std::wstring& s) {
    auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
    wcscpy(p, s.c_str());
    return p;
}

template <class I> class CFake : public I {
public:
    CFake() { ++g_liveObjects; }
    virtual ~CFake() { --g_liveObjects; }
    ULONG WINAPI AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG WINAPI Release() override {
        LONG r = InterlockedDecrement(&m_refs);
        if (r == 0)
            delete this;
        return r;
    }

private:
    LONG m_refs = 1;
};

#define NOT_USED(signature) \
    HRESULT WINAPI signature override { return E_NOTIMPL; }

class CFakeTask : public CFake<ITask> {
public:
    CFakeTask(const FakeItem& item, bool wine) : m_item(item), m_wine(wine) {}
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_ITask || (riid == IID_IScheduledWorkItem && !m_wine)) {
            AddRef();
            *out = static_cast<ITask*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    HRESULT WINAPI GetApplicationName(LPWSTR* out) override {
        *out = CoCopy(m_item.application);
        return S_OK;
    }
    HRESULT WINAPI GetTriggerCount(WORD* count) override {
        *count = static_cast<WORD>(m_item.triggers.size());
        return S_OK;
    }
    HRESULT WINAPI GetTriggerString(WORD i, LPWSTR* out) override {
        *out = nullptr;
        if (i >= m_item.triggers.size() || m_item.triggers[i] == L"?")
            return E_FAIL;
        *out = CoCopy(m_item.triggers[i]);
        return S_OK;
    }
    NOT_USED(CreateTrigger(WORD*, ITaskTrigger**))
    NOT_USED(DeleteTrigger(WORD))
    NOT_USED(GetTrigger(WORD, ITaskTrigger**))
    NOT_USED(GetRunTimes(const LPSYSTEMTIME, const LPSYSTEMTIME, WORD*, LPSYSTEMTIME*))
    NOT_USED(GetNextRunTime(SYSTEMTIME*))
    NOT_USED(SetIdleWait(WORD, WORD))
    NOT_USED(GetIdleWait(WORD*, WORD*))
    NOT_USED(Run())
    NOT_USED(Terminate())
    NOT_USED(EditWorkItem(HWND, DWORD))
    NOT_USED(GetMostRecentRunTime(SYSTEMTIME*))
    NOT_USED(GetStatus(HRESULT*))
    NOT_USED(GetExitCode(DWORD*))
    NOT_USED(SetComment(LPCWSTR))
    NOT_USED(GetComment(LPWSTR*))
    NOT_USED(SetCreator(LPCWSTR))
    NOT_USED(GetCreator(LPWSTR*))
    NOT_USED(SetWorkItemData(WORD, BYTE[]))
    NOT_USED(GetWorkItemData(WORD*, BYTE**))
    NOT_USED(SetErrorRetryCount(WORD))
    NOT_USED(GetErrorRetryCount(WORD*))
    NOT_USED(SetErrorRetryInterval(WORD))
    NOT_USED(GetErrorRetryInterval(WORD*))
    NOT_USED(SetFlags(DWORD))
    NOT_USED(GetFlags(DWORD*))
    NOT_USED(SetAccountInformation(LPCWSTR, LPCWSTR))
    NOT_USED(GetAccountInformation(LPWSTR*))
    NOT_USED(SetApplicationName(LPCWSTR))
    NOT_USED(SetParameters(LPCWSTR))
    NOT_USED(GetParameters(LPWSTR*))
    NOT_USED(SetWorkingDirectory(LPCWSTR))
    NOT_USED(GetWorkingDirectory(LPWSTR*))
    NOT_USED(SetPriority(DWORD))
    NOT_USED(GetPriority(DWORD*))
    NOT_USED(SetTaskFlags(DWORD))
    NOT_USED(GetTaskFlags(DWORD*))
    NOT_USED(SetMaxRunTime(DWORD))
    NOT_USED(GetMaxRunTime(DWORD*))

private:
    FakeItem m_item;
    bool m_wine;
};

class CFakeEnum : public CFake<IEnumWorkItems> {
public:
    explicit CFakeEnum(FakeSchedule& s) : m_s(s), m_names() {
        for (const auto& item : s.items)
            m_names.push_back(item.name);
    }
    HRESULT WINAPI QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT WINAPI Next(ULONG count, LPWSTR** names, ULONG* fetched) override {
        m_s.requested.push_back(count);
        *names = nullptr;
        *fetched = 0;
        ULONG n = 0;
        while (n < count && m_next + n < m_names.size())
            ++n;
        if (n == 0)
            return S_FALSE;
        *names = static_cast<LPWSTR*>(CoTaskMemAlloc(n * sizeof(LPWSTR)));
        for (ULONG i = 0; i < n; ++i)
            (*names)[i] = CoCopy(m_names[m_next + i]);
        m_next += n;
        *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    NOT_USED(Skip(ULONG))
    NOT_USED(Reset())
    NOT_USED(Clone(IEnumWorkItems**))

private:
    FakeSchedule& m_s;
    std::vector<std::wstring> m_names;
    size_t m_next = 0;
};

class CFakeScheduler : public CFake<ITaskScheduler> {
public:
    explicit CFakeScheduler(FakeSchedule& s) : m_s(s) {}
    HRESULT WINAPI QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT WINAPI Enum(IEnumWorkItems** out) override {
        *out = nullptr;
        if (m_s.enumFails)
            return E_FAIL;
        *out = new CFakeEnum(m_s);
        return S_OK;
    }
    HRESULT WINAPI Activate(LPCWSTR name, REFIID riid, IUnknown** out) override {
        *out = nullptr;
        std::wstring asked(name);
        bool endsInJob = asked.size() > 4 && asked.compare(asked.size() - 4, 4, L".job") == 0;
        if (riid != IID_ITask || (m_s.wine && endsInJob))
            return E_INVALIDARG;
        for (const auto& item : m_s.items) {
            bool match = item.name == asked || (m_s.wine && item.name == asked + L".job");
            if (match && item.activatable) {
                *out = new CFakeTask(item, m_s.wine);
                return S_OK;
            }
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    NOT_USED(SetTargetComputer(LPCWSTR))
    NOT_USED(GetTargetComputer(LPWSTR*))
    NOT_USED(Delete(LPCWSTR))
    NOT_USED(NewWorkItem(LPCWSTR, REFCLSID, REFIID, IUnknown**))
    NOT_USED(AddWorkItem(LPCWSTR, IScheduledWorkItem*))
    NOT_USED(IsOfType(LPCWSTR, REFIID))

private:
    FakeSchedule& m_s;
};

// Fake job records; pageSize > 0 delivers them in pages with ERROR_MORE_DATA.
struct FakeJob {
    DWORD id;
    DWORD_PTR time;
    DWORD daysOfMonth;
    UCHAR daysOfWeek;
    UCHAR flags;
    std::wstring command;
};

class CRecordingSink : public ITaskEventSink {
public:
    void OnTaskEvent(int kind, const char* location, const char* details) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back({"", kind, location, details});
    }
    std::vector<RecordedEvent> Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto events = std::move(m_events);
        m_events.clear();
        return events;
    }

private:
    std::mutex m_mutex;
    std::vector<RecordedEvent> m_events;
};

RecordedEvent Ev(int kind, const std::string& location, const std::string& details) {
    return {"", kind, location, details};
}

// A monitor whose scheduler and jobs are the test's.
class CTestTaskMonitor : public CTaskMonitor {
public:
    FakeSchedule schedule;
    std::vector<FakeJob> jobs;
    bool jobsFail = false;
    size_t pageSize = 0;
    std::vector<DWORD> resumeHandlesSeen;
    std::atomic<int> buffersOut{0};
    bool realScheduler = false;

protected:
    HRESULT CreateScheduler(ITaskScheduler** out) override {
        if (realScheduler)
            return CTaskMonitor::CreateScheduler(out);
        *out = new CFakeScheduler(schedule);
        return S_OK;
    }
    NET_API_STATUS EnumJobs(LPBYTE* buffer, DWORD* read, DWORD* total, DWORD* resume) override {
        resumeHandlesSeen.push_back(*resume);
        *buffer = nullptr;
        *read = *total = 0;
        if (jobsFail)
            return RPC_S_SERVER_UNAVAILABLE;
        size_t first = *resume, n = jobs.size() - first;
        if (pageSize && n > pageSize)
            n = pageSize;
        auto* records = new AT_ENUM[n ? n : 1]();
        for (size_t i = 0; i < n; ++i) {
            const FakeJob& j = jobs[first + i];
            records[i] = {j.id,         j.time,  j.daysOfMonth,
                          j.daysOfWeek, j.flags, const_cast<LPWSTR>(j.command.c_str())};
        }
        ++buffersOut;
        *buffer = reinterpret_cast<LPBYTE>(records);
        *read = static_cast<DWORD>(n);
        *total = static_cast<DWORD>(jobs.size() - first);
        *resume = static_cast<DWORD>(first + n);
        return first + n < jobs.size() ? ERROR_MORE_DATA : NERR_Success;
    }
    void FreeJobs(LPBYTE buffer) override {
        --buffersOut;
        delete[] reinterpret_cast<AT_ENUM*>(buffer);
    }
};

AT_ENUM Job(DWORD id, DWORD_PTR time, DWORD daysOfMonth, UCHAR daysOfWeek, UCHAR flags,
            const wchar_t* command) {
    return {id, time, daysOfMonth, daysOfWeek, flags, const_cast<LPWSTR>(command)};
}

DWORD_PTR At(int h, int m, int s = 0, int ms = 0) {
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

class TaskMonitor : public testing::Test {
protected:
    CRecordingSink sink;
    CTestTaskMonitor monitor;
    CFakeScheduler* scheduler = nullptr;
    int baseline = 0;

    void SetUp() override {
        monitor.Init(nullptr, &sink);
        scheduler = new CFakeScheduler(monitor.schedule);
        baseline = g_liveObjects;
    }
    void TearDown() override {
        EXPECT_EQ(baseline, g_liveObjects.load()) << "a poll kept or lost a reference";
        EXPECT_EQ(0, monitor.buffersOut.load()) << "a job buffer was not freed";
        scheduler->Release();
    }
    std::vector<RecordedEvent> Poll() {
        monitor.Poll(scheduler);
        return sink.Take();
    }
    void AddItem(const std::wstring& name, const std::wstring& app, std::vector<std::wstring> triggers = {}) {
        monitor.schedule.items.push_back({name, app, std::move(triggers), true});
    }
};
} // namespace

TEST_F(TaskMonitor, JobTextsFromRecords) {
    EXPECT_EQ("Each M W ;12:30AM;c:\\a.bat",
              JobDetailsText(Job(1, At(0, 30), 0, 0x05, JOB_RUN_PERIODICALLY, L"c:\\a.bat")));
    AT_ENUM monthly = Job(2, At(13, 5), (1u << 0) | (1u << 14), 0, 0, L"x");
    EXPECT_EQ("1 15 ", JobDaysText(monthly));
    EXPECT_EQ(" 1:05PM", JobTimeText(monthly.JobTime));
    EXPECT_EQ(";12:00AM;run.cmd", JobDetailsText(Job(3, 0, 0, 0, JOB_NONINTERACTIVE, L"run.cmd")));
    EXPECT_EQ("12:00AM", JobTimeText(0));
    EXPECT_EQ(" 9:05AM", JobTimeText(At(9, 5)));
    EXPECT_EQ("12:30PM", JobTimeText(At(12, 30)));
    EXPECT_EQ("11:59PM", JobTimeText(At(23, 59, 59, 999)));
    EXPECT_EQ("11:00AM", JobTimeText(At(11, 0)));
    // Past midnight is no job time: it wraps and stays 7 characters.
    EXPECT_EQ(" 1:00AM", JobTimeText(At(25, 0)));
    EXPECT_EQ(7u, JobTimeText(~DWORD_PTR(0)).size());

    std::string longest = JobDaysText(Job(4, 0, 0x7FFFFFFF, 0x7F, JOB_RUN_PERIODICALLY, L""));
    EXPECT_EQ(106u, longest.size());
    EXPECT_EQ("Each M T W Th F Sa Su 1 2 3 ", longest.substr(0, 28));
    EXPECT_EQ("29 30 31 ", longest.substr(longest.size() - 9));
    // Bit 31 of the month days and bit 7 of the week days name no day.
    EXPECT_EQ("", JobDaysText(Job(5, 0, 0x80000000u, 0x80, 0, L"")));

    // Over-long commands are cut to the 260-byte buffer; what the code page lacks is a space.
    std::wstring longCommand(400, L'x');
    EXPECT_EQ(";12:00AM;" + std::string(259, 'x'), JobDetailsText(Job(6, 0, 0, 0, 0, longCommand.c_str())));
    EXPECT_EQ(";12:00AM;c:\\caf\xe9 \\a.bat",
              JobDetailsText(Job(7, 0, 0, 0, 0, L"c:\\caf\u00e9\u4e2d\\a.bat")));
    EXPECT_EQ(";12:00AM;", JobDetailsText(Job(8, 0, 0, 0, 0, nullptr)));
}

TEST_F(TaskMonitor, JobRouteReportsNewChangedOnceAndIgnoresCase) {
    monitor.jobs = {{9, At(3, 0), 0, 0, 0, L"C:\\Backup.cmd"}};
    EXPECT_TRUE(Poll().empty()); // first poll: silent

    monitor.jobs.push_back({1, At(0, 30), 0, 0x05, JOB_RUN_PERIODICALLY, L"c:\\a.bat"});
    monitor.jobs[0].command = L"c:\\BACKUP.CMD"; // letter case only
    auto ev = Poll();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Ev(EVENT_NEW, "1", "Each M W ;12:30AM;c:\\a.bat"), ev[0]);

    monitor.jobs[1].time = At(13, 5);
    ev = Poll();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Ev(EVENT_CHANGED, "1", "Each M W ; 1:05PM;c:\\a.bat"), ev[0]);
    EXPECT_TRUE(Poll().empty());
    EXPECT_TRUE(Poll().empty());
}

TEST_F(TaskMonitor, FailingJobEnumerationIsAnEmptyListAndPagesAreFollowed) {
    monitor.pageSize = 2;
    for (DWORD id = 1; id <= 5; ++id)
        monitor.jobs.push_back({id, At(8, 0), 0, 0, 0, L"job" + std::to_wstring(id) + L".bat"});
    EXPECT_TRUE(Poll().empty());
    // Each poll starts the enumeration afresh and follows ERROR_MORE_DATA to the end.
    EXPECT_EQ((std::vector<DWORD>{0, 2, 4}), monitor.resumeHandlesSeen);

    monitor.jobsFail = true;
    auto ev = Poll();
    ASSERT_EQ(5u, ev.size());
    std::set<std::string> deleted;
    for (const auto& e : ev) {
        EXPECT_EQ(EVENT_DELETED, e.kind);
        EXPECT_EQ("; 8:00AM;job" + e.location + ".bat", e.details);
        deleted.insert(e.location);
    }
    EXPECT_EQ((std::set<std::string>{"1", "2", "3", "4", "5"}), deleted);
    EXPECT_TRUE(Poll().empty());

    monitor.jobsFail = false;
    ev = Poll();
    ASSERT_EQ(5u, ev.size());
    for (size_t i = 0; i < ev.size(); ++i) // in the order delivered
        EXPECT_EQ(Ev(EVENT_NEW, std::to_string(i + 1), "; 8:00AM;job" + std::to_string(i + 1) + ".bat"),
                  ev[i]);
    EXPECT_TRUE(Poll().empty());
}

TEST_F(TaskMonitor, WorkItemsFirstPollSilentThenBatchesLastToFirst) {
    for (int i = 0; i < 12; ++i)
        AddItem(L"Item" + std::to_wstring(i) + L".job", L"C:\\app" + std::to_wstring(i) + L".exe",
                {L"At 9:00"});
    EXPECT_TRUE(Poll().empty());
    // Twelve unchanged items in three batches of five: nothing, poll after poll.
    monitor.schedule.requested.clear();
    EXPECT_TRUE(Poll().empty());
    EXPECT_TRUE(Poll().empty());
    ASSERT_GE(monitor.schedule.requested.size(), 6u);
    for (ULONG asked : monitor.schedule.requested)
        EXPECT_EQ(5u, asked);

    // Seven new items: each batch is handled from its last name to its first.
    for (int i = 0; i < 7; ++i)
        AddItem(L"New" + std::to_wstring(i) + L".job", L"C:\\n.exe");
    auto ev = Poll();
    std::vector<std::string> order;
    for (const auto& e : ev) {
        EXPECT_EQ(EVENT_NEW, e.kind);
        EXPECT_EQ(";C:\\n.exe", e.details);
        order.push_back(e.location);
    }
    // Items 0..11 fill batches 1 and 2 and begin batch 3, which ends with New0..New2; New3..New6 are batch 4.
    EXPECT_EQ((std::vector<std::string>{"New2.job", "New1.job", "New0.job", "New6.job", "New5.job",
                                        "New4.job", "New3.job"}),
              order);
}

TEST_F(TaskMonitor, WorkItemChangesDeletionsAndTriggers) {
    AddItem(L"Backup.job", L"C:\\Tools\\backup.exe", {L"At 3:00 AM every day"});
    AddItem(L"Clean.job", L"C:\\clean.exe", {L"At 1:00 AM every day"});
    EXPECT_TRUE(Poll().empty());

    // Letter case only: nothing. Another trigger text: Changed, with the last trigger's text.
    monitor.schedule.items[0].application = L"c:\\TOOLS\\BACKUP.EXE";
    monitor.schedule.items[0].triggers[0] = L"AT 3:00 am EVERY DAY";
    monitor.schedule.items[1].triggers = {L"At 1:00 AM every day", L"At logon"};
    auto ev = Poll();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Ev(EVENT_CHANGED, "Clean.job", "At logon;C:\\clean.exe"), ev[0]);

    // A trigger whose text cannot be read leaves the one before it.
    monitor.schedule.items[1].triggers = {L"At 2:00 AM", L"?"};
    ev = Poll();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Ev(EVENT_CHANGED, "Clean.job", "At 2:00 AM;C:\\clean.exe"), ev[0]);

    // Deleting the last items: Deleted, with the details last seen, then nothing more.
    monitor.schedule.items.pop_back();
    ev = Poll();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Ev(EVENT_DELETED, "Clean.job", "At 2:00 AM;C:\\clean.exe"), ev[0]);
    monitor.schedule.items.clear();
    ev = Poll();
    ASSERT_EQ(1u, ev.size());
    // The case-only change was never taken in: these are the details first seen.
    EXPECT_EQ(Ev(EVENT_DELETED, "Backup.job", "At 3:00 AM every day;C:\\Tools\\backup.exe"), ev[0]);
    EXPECT_TRUE(Poll().empty());
}

TEST_F(TaskMonitor, WineLikeSchedulerAndItemsThatCannotBeActivated) {
    monitor.schedule.wine = true;
    EXPECT_TRUE(Poll().empty());

    AddItem(L"Nightly.job", L"C:\\nightly.exe", {L"At 1:00", L"At 2:00"});
    monitor.schedule.items.push_back({L"Broken.job", L"C:\\never.exe", {L"At 5:00"}, false});
    auto ev = Poll();
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Ev(EVENT_NEW, "Broken.job", ";"), ev[0]);
    EXPECT_EQ(Ev(EVENT_NEW, "Nightly.job", "At 2:00;C:\\nightly.exe"), ev[1]);

    // Once it can be read, it is an ordinary change.
    monitor.schedule.items[1].activatable = true;
    ev = Poll();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Ev(EVENT_CHANGED, "Broken.job", "At 5:00;C:\\never.exe"), ev[0]);
}

TEST_F(TaskMonitor, FailingWorkItemEnumerationSkipsThePassOnly) {
    AddItem(L"Keep.job", L"C:\\keep.exe");
    monitor.jobs = {{4, 0, 0, 0, 0, L"j.bat"}};
    EXPECT_TRUE(Poll().empty());
    monitor.schedule.enumFails = true;
    monitor.jobs.clear();
    auto ev = Poll(); // nothing of the work items is taken as deleted; the job pass still runs
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Ev(EVENT_DELETED, "4", ";12:00AM;j.bat"), ev[0]);
    monitor.schedule.enumFails = false;
    EXPECT_TRUE(Poll().empty());
}

TEST_F(TaskMonitor, WorkItemTextsAreConvertedAndCut) {
    EXPECT_TRUE(Poll().empty());
    std::wstring longName(300, L'n');
    AddItem(longName, std::wstring(300, L'a'), {std::wstring(300, L't')});
    AddItem(L"Caf\u00e9\u4e2d.job", L"C:\\\u4e2d.exe");
    auto ev = Poll();
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Ev(EVENT_NEW, "Caf\xe9 .job", ";C:\\ .exe"), ev[0]);
    EXPECT_EQ(Ev(EVENT_NEW, std::string(259, 'n'), std::string(259, 't') + ";" + std::string(259, 'a')),
              ev[1]);
}

// Waits up to `ms` for the condition; true when it came.
template <class F> bool WaitFor(F done, DWORD ms) {
    for (DWORD start = GetTickCount(); !done(); Sleep(10))
        if (GetTickCount() - start > ms)
            return false;
    return true;
}

TEST_F(TaskMonitor, ThreadPollsUntilTheStopOrTheQuitEvent) {
    HANDLE stop = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CRecordingSink threadSink;
    {
        CTestTaskMonitor m;
        m.m_pollPeriod = 100;
        m.Init(stop, &threadSink);
        m.schedule.items.push_back({L"Before.job", L"C:\\b.exe", {}, true});
        m.jobs = {{3, 0, 0, 0, 0, L"before.bat"}};
        ASSERT_TRUE(m.Start());
        EXPECT_FALSE(m.Start()) << "a second thread would share the maps";
        EXPECT_TRUE(WaitFor([&] { return m.GetPollCount() >= 3; }, 8000))
            << "it polls again after each period";
        EXPECT_TRUE(threadSink.Take().empty()) << "what existed before the start is never New";
        SetEvent(stop);
        EXPECT_TRUE(WaitFor([&] { return !m.IsRunning(); }, 5000)) << "the shared stop event ends it";
    }
    {
        // The real Wine scheduler and the real period: the quit event ends the wait at once.
        CTestTaskMonitor m;
        m.realScheduler = true;
        m.Init(stop, &threadSink);
        ASSERT_TRUE(m.Start());
        ASSERT_TRUE(WaitFor([&] { return m.GetPollCount() == 1; }, 10000));
        m.Stop();
        EXPECT_TRUE(WaitFor([&] { return !m.IsRunning(); }, 12000)) << "the quit event ends it";
        EXPECT_EQ(1, m.GetPollCount());
    }
    CloseHandle(stop);
}

// The real Wine Task Scheduler: a saved task is found by the ".job" name it is listed under.
TEST_F(TaskMonitor, RealSchedulerTaskSavedAndDeleted) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ITaskScheduler* real = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                     reinterpret_cast<void**>(&real)));
    real->Delete(L"KestrowUnitTask");
    CRecordingSink realSink;
    CTestTaskMonitor m;
    m.Init(nullptr, &realSink);
    m.Poll(real);

    ITask* task = nullptr;
    ASSERT_EQ(S_OK, real->NewWorkItem(L"KestrowUnitTask", CLSID_CTask, IID_ITask,
                                      reinterpret_cast<IUnknown**>(&task)));
    task->SetApplicationName(L"C:\\unit\\task.exe");
    IPersistFile* file = nullptr;
    ASSERT_EQ(S_OK, task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    EXPECT_EQ(S_OK, file->Save(nullptr, TRUE));
    file->Release();
    task->Release();

    m.Poll(real);
    auto ev = realSink.Take();
    ASSERT_EQ(1u, ev.size());
    // Activated although Wine lists the name with ".job", so the application is there.
    EXPECT_EQ(Ev(EVENT_NEW, "KestrowUnitTask.job", ";C:\\unit\\task.exe"), ev[0]);

    // Wine's schedule service may still have the new file open for a moment.
    HRESULT deleted = E_FAIL;
    for (int i = 0; i < 50 && FAILED(deleted); ++i, Sleep(100))
        deleted = real->Delete(L"KestrowUnitTask");
    EXPECT_EQ(S_OK, deleted);
    m.Poll(real);
    ev = realSink.Take();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Ev(EVENT_DELETED, "KestrowUnitTask.job", ";C:\\unit\\task.exe"), ev[0]);
    real->Release();
    CoUninitialize();
}

TEST_F(TaskMonitor, LongWorkItemNamesThatShareTheirCutAreTwoItems) {
    EXPECT_TRUE(Poll().empty());
    std::wstring stem(300, L'n');
    AddItem(stem + L"A.job", L"C:\\a.exe");
    AddItem(stem + L"B.job", L"C:\\b.exe");
    auto ev = Poll();
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ(Ev(EVENT_NEW, std::string(259, 'n'), ";C:\\b.exe"), ev[0]); // last of the batch first
    EXPECT_EQ(Ev(EVENT_NEW, std::string(259, 'n'), ";C:\\a.exe"), ev[1]);
    EXPECT_TRUE(Poll().empty());

    monitor.schedule.items.erase(monitor.schedule.items.begin());
    ev = Poll();
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ(Ev(EVENT_DELETED, std::string(259, 'n'), ";C:\\a.exe"), ev[0]);
    EXPECT_TRUE(Poll().empty());
}
