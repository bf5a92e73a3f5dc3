// RESOURCE_LOCK: tasks
// The scheduled task monitor over a fake Task Scheduler and fake job records: the texts, what
// is reported poll after poll, failing enumerations, and the thread and its stop.
#include "TestSupport.h"
// Also over a fake 2.0 folder tree; and, on Wine, one real 2.0 task read into its details.
#include "monitors/TaskMonitor.h"
#include <algorithm>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <lmerr.h>
#include <map>
#include <mstask.h>
#include <taskschd.h>

namespace {
// Every fake COM object alive; a poll must release all it took.
std::atomic<int> g_liveObjects{0};

struct FakeItem {
    std::wstring name;
    std::wstring application;
    std::vector<std::wstring> triggers; // L"?" stands for a trigger whose text cannot be read
    bool activatable = true;
};

// What the fake scheduler holds, and whether its enumeration fails.
struct FakeSchedule {
    std::vector<FakeItem> items;
    bool enumFails = false;
    int nextFailsAt = -1; // the batch of names whose reading fails
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
    HRESULT WINAPI QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
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

#define NOT_USED(signature)                                                                                  \
    HRESULT WINAPI signature override {                                                                      \
        return E_NOTIMPL;                                                                                    \
    }

class CFakeTask : public CFake<ITask> {
public:
    explicit CFakeTask(const FakeItem& item) : m_item(item) {}
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_ITask && riid != IID_IScheduledWorkItem)
            return E_NOINTERFACE;
        AddRef();
        *out = static_cast<ITask*>(this);
        return S_OK;
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
    // The rest of ITask: the monitor never calls it.
    // clang-format off
    NOT_USED(CreateTrigger(WORD*, ITaskTrigger**)) NOT_USED(DeleteTrigger(WORD))
    NOT_USED(GetTrigger(WORD, ITaskTrigger**))
    NOT_USED(GetRunTimes(const LPSYSTEMTIME, const LPSYSTEMTIME, WORD*, LPSYSTEMTIME*))
    NOT_USED(GetNextRunTime(SYSTEMTIME*)) NOT_USED(GetMostRecentRunTime(SYSTEMTIME*))
    NOT_USED(SetIdleWait(WORD, WORD)) NOT_USED(GetIdleWait(WORD*, WORD*)) NOT_USED(Run())
    NOT_USED(Terminate()) NOT_USED(EditWorkItem(HWND, DWORD)) NOT_USED(GetStatus(HRESULT*))
    NOT_USED(GetExitCode(DWORD*)) NOT_USED(SetComment(LPCWSTR)) NOT_USED(GetComment(LPWSTR*))
    NOT_USED(SetCreator(LPCWSTR)) NOT_USED(GetCreator(LPWSTR*)) NOT_USED(SetWorkItemData(WORD, BYTE[]))
    NOT_USED(GetWorkItemData(WORD*, BYTE**)) NOT_USED(SetErrorRetryCount(WORD))
    NOT_USED(GetErrorRetryCount(WORD*)) NOT_USED(SetErrorRetryInterval(WORD))
    NOT_USED(GetErrorRetryInterval(WORD*)) NOT_USED(SetFlags(DWORD)) NOT_USED(GetFlags(DWORD*))
    NOT_USED(SetAccountInformation(LPCWSTR, LPCWSTR)) NOT_USED(GetAccountInformation(LPWSTR*))
    NOT_USED(SetApplicationName(LPCWSTR)) NOT_USED(SetParameters(LPCWSTR)) NOT_USED(GetParameters(LPWSTR*))
    NOT_USED(SetWorkingDirectory(LPCWSTR)) NOT_USED(GetWorkingDirectory(LPWSTR*)) NOT_USED(SetPriority(DWORD))
    NOT_USED(GetPriority(DWORD*)) NOT_USED(SetTaskFlags(DWORD)) NOT_USED(GetTaskFlags(DWORD*))
    NOT_USED(SetMaxRunTime(DWORD)) NOT_USED(GetMaxRunTime(DWORD*))

  private:
    FakeItem m_item;
};
// clang-format on

class CFakeEnum : public CFake<IEnumWorkItems> {
public:
    explicit CFakeEnum(const FakeSchedule& s) : m_failAt(s.nextFailsAt) {
        for (const auto& item : s.items)
            m_names.push_back(item.name);
    }
    HRESULT WINAPI Next(ULONG count, LPWSTR** names, ULONG* fetched) override {
        if (m_batch++ == m_failAt)
            return E_FAIL;
        ULONG n = static_cast<ULONG>(std::min<size_t>(count, m_names.size() - m_next));
        *names = n ? static_cast<LPWSTR*>(CoTaskMemAlloc(n * sizeof(LPWSTR))) : nullptr;
        for (ULONG i = 0; i < n; ++i)
            (*names)[i] = CoCopy(m_names[m_next++]);
        *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    // clang-format off
    NOT_USED(Skip(ULONG)) NOT_USED(Reset()) NOT_USED(Clone(IEnumWorkItems**))

  private:
    std::vector<std::wstring> m_names;
    size_t m_next = 0;
    int m_batch = 0, m_failAt;
};
// clang-format on

class CFakeScheduler : public CFake<ITaskScheduler> {
public:
    explicit CFakeScheduler(FakeSchedule& s) : m_s(s) {}
    HRESULT WINAPI Enum(IEnumWorkItems** out) override {
        *out = m_s.enumFails ? nullptr : new CFakeEnum(m_s);
        return m_s.enumFails ? E_FAIL : S_OK;
    }
    HRESULT WINAPI Activate(LPCWSTR name, REFIID riid, IUnknown** out) override {
        *out = nullptr;
        for (const auto& item : m_s.items)
            if (riid == IID_ITask && item.name == name && item.activatable) {
                *out = new CFakeTask(item);
                return S_OK;
            }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    // clang-format off
    NOT_USED(SetTargetComputer(LPCWSTR)) NOT_USED(GetTargetComputer(LPWSTR*)) NOT_USED(Delete(LPCWSTR))
    NOT_USED(NewWorkItem(LPCWSTR, REFCLSID, REFIID, IUnknown**))
    NOT_USED(AddWorkItem(LPCWSTR, IScheduledWorkItem*)) NOT_USED(IsOfType(LPCWSTR, REFIID))

  private:
    FakeSchedule& m_s;
};
// clang-format on

AT_ENUM Job(DWORD id, DWORD_PTR time, DWORD daysOfMonth, UCHAR daysOfWeek, UCHAR flags,
            const wchar_t* command) {
    return {id, time, daysOfMonth, daysOfWeek, flags, const_cast<LPWSTR>(command)};
}
DWORD_PTR At(int h, int m, int s = 0, int ms = 0) {
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

// A 2.0 task of the fake tree, in the folder its path names.
struct FakeTask {
    TaskRecord record;
    bool hidden;
};

// A monitor whose scheduler, jobs and 2.0 folders are the test's; jobs come in pages of
// `pageSize`.
class CTestTaskMonitor : public CTaskMonitor {
public:
    FakeSchedule schedule;
    bool noScheduler = false;
    std::vector<std::wstring> jobCommands; // job i + 1 runs at 8:00 with command i
    int jobsFailAt = -1;                   // the page whose reading fails
    size_t pageSize = 2;
    std::atomic<int> buffersOut{0};
    std::vector<FakeTask> tasks;
    std::map<std::wstring, HRESULT> failingFolders;

protected:
    HRESULT CreateScheduler(ITaskScheduler** out) override {
        *out = noScheduler ? nullptr : new CFakeScheduler(schedule);
        return noScheduler ? REGDB_E_CLASSNOTREG : S_OK;
    }
    NET_API_STATUS EnumJobs(LPBYTE* buffer, DWORD* read, DWORD* total, DWORD* resume) override {
        size_t first = *resume, n = std::min(pageSize, jobCommands.size() - first);
        bool fails = jobsFailAt >= 0 && first / pageSize == static_cast<size_t>(jobsFailAt);
        auto* records = new AT_ENUM[n + 1](); // a failing call may hand out a buffer too
        for (size_t i = 0; i < n; ++i)
            records[i] =
                Job(static_cast<DWORD>(first + i + 1), At(8, 0), 0, 0, 0, jobCommands[first + i].c_str());
        ++buffersOut;
        *buffer = reinterpret_cast<LPBYTE>(records);
        *read = fails ? 0 : static_cast<DWORD>(n);
        *total = fails ? 0 : static_cast<DWORD>(jobCommands.size() - first);
        *resume = static_cast<DWORD>(first + n);
        return fails                            ? RPC_S_SERVER_UNAVAILABLE
               : first + n < jobCommands.size() ? ERROR_MORE_DATA
                                                : NERR_Success;
    }
    void FreeJobs(LPBYTE buffer) override {
        --buffersOut;
        delete[] reinterpret_cast<AT_ENUM*>(buffer);
    }
    HRESULT ListTaskFolder(const std::wstring& folder, LONG flags, std::vector<std::wstring>& subfolders,
                           std::vector<TaskRecord>& out) override {
        if (failingFolders.count(folder))
            return failingFolders[folder];
        std::wstring prefix = folder == L"\\" ? folder : folder + L"\\";
        for (const auto& task : tasks) {
            const std::wstring& path = task.record.path;
            if (path.compare(0, prefix.size(), prefix) != 0)
                continue;
            size_t slash = path.find(L'\\', prefix.size());
            if (slash == std::wstring::npos) {
                if (!task.hidden || (flags & TASK_ENUM_HIDDEN))
                    out.push_back(task.record);
            } else if (std::find(subfolders.begin(), subfolders.end(), path.substr(0, slash)) ==
                       subfolders.end()) {
                subfolders.push_back(path.substr(0, slash));
            }
        }
        return S_OK;
    }
};

class TaskMonitor : public testing::Test {
protected:
    CRecordingHost sink;
    CTestTaskMonitor monitor;

    void SetUp() override { monitor.Init(&sink); }
    void TearDown() override {
        monitor.ReleaseServices();
        EXPECT_EQ(0, g_liveObjects.load()) << "a poll kept or lost a reference";
        EXPECT_EQ(0, monitor.buffersOut.load()) << "a job buffer was not freed";
    }
    // One poll's reports, sorted by location: the order within a poll is not fixed.
    Events Poll(CTaskMonitor& m) {
        m.Poll();
        Events events = sink.Events();
        sink.Clear();
        std::sort(events.begin(), events.end(), [](auto& a, auto& b) {
            return std::tie(a.location, a.details) < std::tie(b.location, b.details);
        });
        return events;
    }
    Events Poll() { return Poll(monitor); }
};
void AddItem(CTestTaskMonitor& m, const std::wstring& name, const std::wstring& app,
             std::vector<std::wstring> triggers = {}) {
    m.schedule.items.push_back({name, app, std::move(triggers), true});
}
void AddTask(CTestTaskMonitor& m, const std::wstring& path, std::vector<TaskTrigger> triggers,
             std::vector<TaskAction> actions, bool hidden = false) {
    m.tasks.push_back({{path, std::move(triggers), std::move(actions)}, hidden});
}
RecordedEvent Ev(int kind, const std::string& location, const std::string& details) {
    return {"Task Scheduler", kind, location, details};
}
} // namespace

TEST_F(TaskMonitor, JobTextsFromRecords) {
    const std::wstring longCommand(400, L'x');
    const struct {
        AT_ENUM job;
        std::string details;
    } cases[] = {
        {Job(1, At(0, 30), 0, 0x05, JOB_RUN_PERIODICALLY, L"c:\\a.bat"), "Each M W ;12:30AM;c:\\a.bat"},
        {Job(2, At(13, 5), (1u << 0) | (1u << 14), 0, 0, L"x"), "1 15 ; 1:05PM;x"},
        {Job(3, At(9, 5), 0, 0, JOB_NONINTERACTIVE, L"run.cmd"), "; 9:05AM;run.cmd"},
        {Job(4, At(12, 30), 0, 0, 0, L""), ";12:30PM;"},
        {Job(5, At(23, 59, 59, 999), 0, 0, 0, nullptr), ";11:59PM;"},
        {Job(6, At(25, 0), 0, 0, 0, L""), "; 1:00AM;"}, // past midnight is no job time: it wraps
        // Bit 31 of the month days and bit 7 of the week days name no day.
        {Job(7, 0, 0x80000000u, 0x80, 0, L""), ";12:00AM;"},
        // Over-long commands are cut to the 260-byte buffer; what the code page lacks is a space.
        {Job(8, 0, 0, 0, 0, longCommand.c_str()), ";12:00AM;" + std::string(259, 'x')},
        {Job(9, 0, 0, 0, 0, L"c:\\caf\u00e9\u4e2d\\a.bat"), ";12:00AM;c:\\caf\xe9 \\a.bat"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.details, JobDetailsText(c.job)) << c.job.JobId;
    EXPECT_EQ(7u, JobTimeText(~DWORD_PTR(0)).size());
    std::string longest = JobDaysText(Job(10, 0, 0x7FFFFFFF, 0x7F, JOB_RUN_PERIODICALLY, L""));
    EXPECT_EQ(106u, longest.size());
    EXPECT_EQ("Each M T W Th F Sa Su 1 2 3 ", longest.substr(0, 28));
    EXPECT_EQ("29 30 31 ", longest.substr(longest.size() - 9));
}

TEST_F(TaskMonitor, WorkItemAndJobChangesTriggersAndDeletions) {
    AddItem(monitor, L"Backup.job", L"C:\\Tools\\backup.exe", {L"At 3:00 AM every day"});
    AddItem(monitor, L"Clean.job", L"C:\\clean.exe", {L"At 1:00 AM every day"});
    monitor.jobCommands = {L"C:\\Backup.cmd", L"b.bat", L"c.bat", L"d.bat", L"e.bat"};
    EXPECT_TRUE(Poll().empty());
    EXPECT_TRUE(Poll().empty()); // each poll starts afresh and reads every page

    // Letter case only: nothing. Another trigger text: Changed, with the last trigger's text.
    // An item that cannot be activated is there, with no texts.
    monitor.schedule.items[0].application = L"c:\\TOOLS\\BACKUP.EXE";
    monitor.schedule.items[0].triggers[0] = L"AT 3:00 am EVERY DAY";
    monitor.schedule.items[1].triggers = {L"At 1:00 AM every day", L"At logon"};
    monitor.schedule.items.push_back({L"Broken.job", L"C:\\never.exe", {L"At 5:00"}, false});
    monitor.jobCommands[0] = L"c:\\BACKUP.CMD";
    monitor.jobCommands[1] = L"b2.bat";
    monitor.jobCommands.push_back(L"f.bat");
    EXPECT_EQ(
        (Events{Ev(EVENT_CHANGED, "2", "; 8:00AM;b2.bat"), Ev(EVENT_NEW, "6", "; 8:00AM;f.bat"),
                Ev(EVENT_NEW, "Broken.job", ";"), Ev(EVENT_CHANGED, "Clean.job", "At logon;C:\\clean.exe")}),
        Poll());

    // A trigger whose text cannot be read leaves the one before it; an item readable at last
    // is an ordinary change.
    monitor.schedule.items[1].triggers = {L"At 2:00 AM", L"?"};
    monitor.schedule.items[2].activatable = true;
    EXPECT_EQ((Events{Ev(EVENT_CHANGED, "Broken.job", "At 5:00;C:\\never.exe"),
                      Ev(EVENT_CHANGED, "Clean.job", "At 2:00 AM;C:\\clean.exe")}),
              Poll());

    // Deleted, with the details last taken in (the case-only change never was), then nothing more.
    monitor.schedule.items.clear();
    monitor.jobCommands.resize(5);
    EXPECT_EQ((Events{Ev(EVENT_DELETED, "6", "; 8:00AM;f.bat"),
                      Ev(EVENT_DELETED, "Backup.job", "At 3:00 AM every day;C:\\Tools\\backup.exe"),
                      Ev(EVENT_DELETED, "Broken.job", "At 5:00;C:\\never.exe"),
                      Ev(EVENT_DELETED, "Clean.job", "At 2:00 AM;C:\\clean.exe")}),
              Poll());
    EXPECT_TRUE(Poll().empty());
}

TEST_F(TaskMonitor, WorkItemTextsAreConvertedAndCutInEveryBatch) {
    for (int i = 10; i < 22; ++i) // the new items come in the third batch of names
        AddItem(monitor, L"Item" + std::to_wstring(i) + L".job", L"C:\\app.exe");
    EXPECT_TRUE(Poll().empty());
    const std::wstring stem(300, L'n');
    const std::string cut(259, 'n');
    AddItem(monitor, stem + L"A.job", std::wstring(300, L'a'), {std::wstring(300, L't')});
    AddItem(monitor, stem + L"B.job", L"C:\\b.exe");
    AddItem(monitor, L"Caf\u00e9\u4e2d.job", L"C:\\\u4e2d.exe");
    // Two names alike in their cut are still two items.
    EXPECT_EQ((Events{Ev(EVENT_NEW, "Caf\xe9 .job", ";C:\\ .exe"), Ev(EVENT_NEW, cut, ";C:\\b.exe"),
                      Ev(EVENT_NEW, cut, std::string(259, 't') + ";" + std::string(259, 'a'))}),
              Poll());
    EXPECT_TRUE(Poll().empty());
    monitor.schedule.items.erase(monitor.schedule.items.end() - 2);
    EXPECT_EQ(Events{Ev(EVENT_DELETED, cut, ";C:\\b.exe")}, Poll());
}

TEST_F(TaskMonitor, TaskFoldersEveryFolderHiddenTasksIncludedAndATaskBothRoutesListOnce) {
    AddItem(monitor, L"Shared.job", L"C:\\shared.exe");
    AddTask(monitor, L"\\Shared", {}, {{L"C:\\shared.exe", L""}});
    AddTask(monitor, L"\\Vendor\\Updater", {{TASK_TRIGGER_DAILY, L"2026-06-12T03:00:00"}},
            {{L"C:\\upd.exe", L""}});
    AddTask(monitor, L"\\Closed\\Secret", {}, {{L"C:\\secret.exe", L""}});
    monitor.failingFolders = {{L"\\Closed", E_ACCESSDENIED}}; // to a standard user: left out
    EXPECT_TRUE(Poll().empty());

    AddTask(monitor, L"\\Vendor\\Sub\\Deep",
            {{TASK_TRIGGER_DAILY, L"2026-06-12T03:00:00"}, {TASK_TRIGGER_LOGON, L""}},
            {{L"C:\\Vendor\\upd.exe", L"/silent"}, {L"C:\\Vendor\\report.exe", L""}});
    AddTask(monitor, L"\\Vendor\\Ghost", {{TASK_TRIGGER_BOOT, L""}}, {{L"C:\\ghost.exe", L"-q"}}, true);
    // Two names the code page shows alike are two tasks.
    AddTask(monitor, L"\\Caf\u00e9\u4e2d", {}, {{L"a.exe", L""}});
    AddTask(monitor, L"\\Caf\u00e9\u4e2e", {}, {{L"b.exe", L""}});
    AddItem(monitor, L"Both.job", L"C:\\both.exe");
    AddTask(monitor, L"\\Both", {}, {{L"C:\\both.exe", L""}});
    EXPECT_EQ((Events{Ev(EVENT_NEW, "Both.job", ";C:\\both.exe"), Ev(EVENT_NEW, "\\Caf\xe9?", ";a.exe"),
                      Ev(EVENT_NEW, "\\Caf\xe9?", ";b.exe"),
                      Ev(EVENT_NEW, "\\Vendor\\Ghost", "At startup;C:\\ghost.exe -q"),
                      Ev(EVENT_NEW, "\\Vendor\\Sub\\Deep",
                         "Daily from 2026-06-12T03:00:00, At log on;C:\\Vendor\\upd.exe /silent, "
                         "C:\\Vendor\\report.exe")}),
              Poll());

    monitor.tasks[1].record.triggers[0].type = TASK_TRIGGER_WEEKLY;
    monitor.tasks.erase(monitor.tasks.begin() + 4); // Ghost
    EXPECT_EQ((Events{Ev(EVENT_DELETED, "\\Vendor\\Ghost", "At startup;C:\\ghost.exe -q"),
                      Ev(EVENT_CHANGED, "\\Vendor\\Updater", "Weekly from 2026-06-12T03:00:00;C:\\upd.exe")}),
              Poll());
    EXPECT_TRUE(Poll().empty());
}

// Each way a route's reading fails, from the first poll on and after a good one: nothing is
// reported while it fails, and what changed meanwhile is reported once, when it reads again,
// unless the route had never read before.
TEST_F(TaskMonitor, AFailedReadingIsNeverComparedAndARouteIsSilentUntilItHasReadOnce) {
    const struct {
        const char* fault;
        int route; // 0 work items, 1 jobs, 2 tasks
        std::function<void(CTestTaskMonitor&, bool)> set;
    } cases[] = {
        // The service is down: the scheduler held fails, and no new one can be had.
        {"no scheduler", 0, [](CTestTaskMonitor& m, bool on) { m.noScheduler = m.schedule.enumFails = on; }},
        {"no work item list", 0, [](CTestTaskMonitor& m, bool on) { m.schedule.enumFails = on; }},
        {"names part way", 0, [](CTestTaskMonitor& m, bool on) { m.schedule.nextFailsAt = on ? 1 : -1; }},
        {"no jobs", 1, [](CTestTaskMonitor& m, bool on) { m.jobsFailAt = on ? 0 : -1; }},
        {"jobs part way", 1, [](CTestTaskMonitor& m, bool on) { m.jobsFailAt = on ? 1 : -1; }},
        {"no root folder", 2,
         [](CTestTaskMonitor& m, bool on) {
             m.failingFolders = {{on ? L"\\" : L"", E_NOTIMPL}};
         }},
        {"subfolder", 2,
         [](CTestTaskMonitor& m, bool on) {
             m.failingFolders = {{on ? L"\\Vendor\\Sub" : L"", E_NOTIMPL}};
         }},
    };
    const Events added = {Ev(EVENT_NEW, "New.job", ";C:\\new.exe"), Ev(EVENT_NEW, "6", "; 8:00AM;new.bat"),
                          Ev(EVENT_NEW, "\\Vendor\\Sub\\New", ";C:\\new.exe")};
    for (const auto& c : cases)
        for (bool failsFirst : {true, false}) {
            SCOPED_TRACE(std::string(c.fault) +
                         (failsFirst ? ", from the first poll" : ", after a good poll"));
            CTestTaskMonitor m;
            m.Init(&sink);
            for (int i = 0; i < 7; ++i)
                AddItem(m, L"Item" + std::to_wstring(i) + L".job", L"C:\\app.exe");
            m.jobCommands = {L"a.bat", L"b.bat", L"c.bat", L"d.bat", L"e.bat"};
            AddTask(m, L"\\Root", {}, {{L"C:\\root.exe", L""}});
            AddTask(m, L"\\Vendor\\Updater", {}, {{L"C:\\upd.exe", L""}});
            AddTask(m, L"\\Vendor\\Sub\\Deep", {}, {{L"C:\\deep.exe", L""}});
            c.set(m, failsFirst);
            EXPECT_TRUE(Poll(m).empty());
            c.set(m, true);
            AddItem(m, L"New.job", L"C:\\new.exe");
            m.jobCommands.push_back(L"new.bat");
            AddTask(m, L"\\Vendor\\Sub\\New", {}, {{L"C:\\new.exe", L""}});
            Events others = added;
            others.erase(others.begin() + c.route);
            std::sort(others.begin(), others.end(), [](auto& a, auto& b) { return a.location < b.location; });
            EXPECT_EQ(others, Poll(m));
            c.set(m, false);
            EXPECT_EQ(failsFirst ? Events{} : Events{added[c.route]}, Poll(m));
            EXPECT_TRUE(Poll(m).empty());
            m.ReleaseServices();
            EXPECT_EQ(0, m.buffersOut.load());
        }
}

TEST_F(TaskMonitor, ThreadPollsUntilTheStopOrTheQuitEvent) {
    {
        CTestTaskMonitor m;
        m.m_pollPeriod = 100;
        m.Init(&sink);
        AddItem(m, L"Before.job", L"C:\\b.exe");
        m.jobCommands = {L"before.bat"};
        AddTask(m, L"\\Vendor\\Before", {}, {{L"C:\\b.exe", L""}});
        ASSERT_TRUE(m.Start());
        EXPECT_FALSE(m.Start()) << "a second thread would share the snapshots";
        EXPECT_TRUE(sink.WaitForReady(1, 10000)) << "ready after the first poll";
        EXPECT_TRUE(WaitUntil([&] { return m.GetPollCount() >= 3; }, 8000))
            << "it polls again after each period";
        EXPECT_TRUE(sink.Events().empty()) << "what existed before the start is never New";
        SetEvent(sink.GetStopEvent());
        EXPECT_TRUE(WaitUntil([&] { return !m.IsRunning(); }, 5000)) << "the shared stop event ends it";
    }
    {
        // The real period: the quit event ends the wait at once.
        CTestTaskMonitor m;
        m.Init(&sink);
        ASSERT_TRUE(m.Start());
        ASSERT_TRUE(WaitUntil([&] { return m.GetPollCount() == 1; }, 10000));
        m.Stop();
        EXPECT_TRUE(WaitUntil([&] { return !m.IsRunning(); }, 5000)) << "the quit event ends it";
        EXPECT_EQ(1, m.GetPollCount());
    }
}

// Wine lists no 2.0 tasks, but registers one and gives it back by its path: read for real.
// Its trigger and action collections answer E_NOTIMPL, so the task is read with empty texts,
// as a work item that cannot be activated is.
TEST_F(TaskMonitor, ARegisteredTaskIsReadIntoItsDetails) {
    const wchar_t* xml = LR"(<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers><LogonTrigger/></Triggers>
  <Actions><Exec><Command>C:\Vendor\upd.exe</Command><Arguments>/silent</Arguments></Exec></Actions>
</Task>)";
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        CComPtr<ITaskService> service;
        CComPtr<ITaskFolder> root;
        CComPtr<IRegisteredTask> registered, task;
        VARIANT none;
        VariantInit(&none);
        CBstr rootPath(L"\\"), path(L"\\KestrowTest\\Updater"), text(xml);
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_ITaskService, service.OutVoid())));
        ASSERT_TRUE(SUCCEEDED(service->Connect(none, none, none, none)));
        ASSERT_TRUE(SUCCEEDED(service->GetFolder(rootPath.Get(), root.Out())));
        ASSERT_EQ(S_OK, root->RegisterTask(path.Get(), text.Get(), TASK_CREATE_OR_UPDATE, none, none,
                                           TASK_LOGON_INTERACTIVE_TOKEN, none, registered.Out()));
        ASSERT_EQ(S_OK, root->GetTask(path.Get(), task.Out()));
        TaskRecord record;
        EXPECT_EQ(S_OK, ReadTaskRecord(task.Get(), record));
        EXPECT_EQ(L"\\KestrowTest\\Updater", record.path);
        EXPECT_EQ(";", TaskDetailsText(record));
        CBstr folder(L"\\KestrowTest");
        root->DeleteTask(path.Get(), 0);
        root->DeleteFolder(folder.Get(), 0);
    }
    CoUninitialize();
}
