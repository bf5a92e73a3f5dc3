// RESOURCE_LOCK: tasks
// The task monitor's three routes on exact records: a fake Task Scheduler 1.0 that behaves as
// Wine's does, fake job pages and a fake 2.0 folder tree.
#include "TestSupport.h"
#include "monitors/engine/SnapshotStore.h"
#include "monitors/places/TaskMonitor.h"
#include <algorithm>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <lmerr.h>
#include <map>
#include <mstask.h>
#include <set>
#include <taskschd.h>
#include <thread>
#include <tuple>

namespace {
std::atomic<int> g_live{0}; // fake COM objects alive: a poll must release all it took

// Work items by name. They cannot be activated here, so their details read ";"; the system test
// reads a real one's application.
struct FakeSchedule {
    std::vector<std::wstring> items;
    bool enumFails = false;
    int nextFailsAt = -1; // the batch of names whose reading fails
};

LPWSTR CoCopy(const std::wstring& s) {
    auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
    return wcscpy(p, s.c_str());
}

template <class I> struct CFake : I {
    LONG refs = 1;
    CFake() { ++g_live; }
    virtual ~CFake() { --g_live; }
    HRESULT WINAPI QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    ULONG WINAPI AddRef() override { return InterlockedIncrement(&refs); }
    ULONG WINAPI Release() override {
        LONG r = InterlockedDecrement(&refs);
        if (r == 0)
            delete this;
        return r;
    }
};
// clang-format off
#define NOT_USED(signature) HRESULT WINAPI signature override { return E_NOTIMPL; }
// A careless enumerator: it claims three names more than it gives, past null slots and ghosts.
struct CFakeEnum : CFake<IEnumWorkItems> {
    std::vector<std::wstring> m_names;
    size_t m_next = 0;
    int m_batch = 0, m_failAt;
    explicit CFakeEnum(const FakeSchedule& s) : m_names(s.items), m_failAt(s.nextFailsAt) {}
    HRESULT WINAPI Next(ULONG count, LPWSTR** names, ULONG* fetched) override {
        if (m_batch++ == m_failAt)
            return E_FAIL;
        ULONG n = ULONG(std::min<size_t>(count, m_names.size() - m_next));
        *names = static_cast<LPWSTR*>(CoTaskMemAlloc((count + 3) * sizeof(LPWSTR)));
        for (ULONG i = 0; i < count + 3; ++i)
            (*names)[i] = i < n ? CoCopy(m_names[m_next++]) : i < count ? nullptr : CoCopy(L"Ghost.job");
        *fetched = n ? n + 3 : 0;
        return n == count ? S_OK : S_FALSE;
    }
    NOT_USED(Skip(ULONG)) NOT_USED(Reset()) NOT_USED(Clone(IEnumWorkItems**))
};

struct CFakeScheduler : CFake<ITaskScheduler> {
    FakeSchedule& m_s;
    explicit CFakeScheduler(FakeSchedule& s) : m_s(s) {}
    HRESULT WINAPI Enum(IEnumWorkItems** out) override {
        *out = m_s.enumFails ? nullptr : new CFakeEnum(m_s);
        return m_s.enumFails ? E_FAIL : S_OK;
    }
    NOT_USED(Activate(LPCWSTR, REFIID, IUnknown**))
    NOT_USED(SetTargetComputer(LPCWSTR)) NOT_USED(GetTargetComputer(LPWSTR*)) NOT_USED(Delete(LPCWSTR))
    NOT_USED(NewWorkItem(LPCWSTR, REFCLSID, REFIID, IUnknown**))
    NOT_USED(AddWorkItem(LPCWSTR, IScheduledWorkItem*)) NOT_USED(IsOfType(LPCWSTR, REFIID))
};
// clang-format on

const DWORD kJobIds = 4000000000u; // ids beyond 2^31 show unsigned
AT_ENUM Job(DWORD_PTR time, DWORD daysOfMonth, UCHAR daysOfWeek, UCHAR flags, const wchar_t* command) {
    return {1, time, daysOfMonth, daysOfWeek, flags, const_cast<LPWSTR>(command)};
}
DWORD_PTR At(int h, int m, int s = 0, int ms = 0) {
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

using Reports = std::multiset<std::string>; // "N|location|details", N, D or C for the kind

// A monitor on sources whose scheduler, job pages (of two) and 2.0 folders are the test's, and a
// host that keeps snapshots in `store`. At its end it has let go of every fake object and job buffer.
struct CTestTaskMonitor : CTaskSources {
    CRecordingHost host;
    FakeSchedule schedule;
    bool noScheduler = false;
    std::vector<std::wstring> jobCommands; // each job runs at 8:00
    int jobsFailAt = -1;                   // the page whose reading fails
    bool jobsStall = false;                // more promised, none given
    std::atomic<int> buffersOut{0};
    std::vector<std::pair<TaskRecord, bool>> tasks; // and whether hidden
    std::map<std::wstring, HRESULT> failingFolders;
    std::unique_ptr<CTaskMonitor> monitor;

    explicit CTestTaskMonitor(CSnapshotStore* store = nullptr) {
        monitor = std::make_unique<CTaskMonitor>(host, *this, store);
    }
    ~CTestTaskMonitor() override {
        monitor.reset();
        EXPECT_EQ(0, g_live.load()) << "a poll kept or lost a reference";
        EXPECT_EQ(0, buffersOut.load()) << "a job buffer was not freed";
    }
    // One poll's reports; their order within a poll is not fixed.
    Reports Polled() {
        monitor->Poll();
        Reports reports;
        for (const RecordedEvent& e : host.Events())
            reports.insert(e.category == "Task Scheduler" ? e.Text() : "category " + e.category);
        return host.Clear(), reports;
    }
    HRESULT CreateScheduler(ITaskScheduler** out) override {
        *out = noScheduler ? nullptr : new CFakeScheduler(schedule);
        return noScheduler ? REGDB_E_CLASSNOTREG : S_OK;
    }
    NET_API_STATUS EnumJobs(LPBYTE* buffer, DWORD* read, DWORD* total, DWORD* resume) override {
        size_t first = *resume, n = jobsStall ? 0 : std::min<size_t>(2, jobCommands.size() - first);
        bool fails = jobsFailAt >= 0 && first / 2 == size_t(jobsFailAt);
        auto* records = new AT_ENUM[n + 1](); // a failing call may hand out a buffer too
        for (size_t i = 0; i < n; ++i) {
            records[i] = Job(At(8, 0), 0, 0, 0, jobCommands[first + i].c_str());
            records[i].JobId = kJobIds + DWORD(first + i);
        }
        ++buffersOut;
        *buffer = reinterpret_cast<LPBYTE>(records);
        *read = fails ? 0 : DWORD(n);
        *total = fails ? 0 : DWORD(jobCommands.size() - first);
        *resume = DWORD(first + n);
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
        for (const auto& [task, hidden] : tasks) {
            if (task.path.compare(0, prefix.size(), prefix) != 0)
                continue;
            size_t slash = task.path.find(L'\\', prefix.size());
            std::wstring sub = task.path.substr(0, slash);
            if (slash == std::wstring::npos && (!hidden || (flags & TASK_ENUM_HIDDEN)))
                out.push_back(task);
            else if (slash != std::wstring::npos &&
                     std::count(subfolders.begin(), subfolders.end(), sub) == 0)
                subfolders.push_back(sub);
        }
        return S_OK;
    }
    void Task(const std::wstring& path, std::vector<TaskTrigger> triggers, const std::wstring& command,
              bool hidden = false) {
        tasks.push_back({{path, std::move(triggers), {{command, L""}}}, hidden});
    }
};

std::string JobAt(size_t i) {
    return std::to_string(kJobIds + i);
}
} // namespace

TEST(TaskMonitor, JobTexts) {
    const std::wstring longCommand(400, L'x');
    const struct {
        AT_ENUM job;
        std::string details;
    } cases[] = {
        {Job(At(0, 30), 0, 0x05, JOB_RUN_PERIODICALLY, L"c:\\a.bat"), "Each M W ;12:30AM;c:\\a.bat"},
        {Job(At(13, 5), (1u << 0) | (1u << 14), 0, 0, L"x"), "1 15 ; 1:05PM;x"},
        {Job(At(23, 59, 59, 999), 0, 0, 0, nullptr), ";11:59PM;"},
        {Job(At(25, 0), 0x80000000u, 0x80, 0, L""), "; 1:00AM;"}, // no such time or days: wraps, ignored
        // Converted whole, then cut to 259 bytes; what the code page lacks is a space.
        {Job(0, 0, 0, 0, longCommand.c_str()), ";12:00AM;" + std::string(259, 'x')},
        {Job(0, 0, 0, 0, L"c:\\caf\u00e9\u4e2d\\a.bat"), ";12:00AM;c:\\caf\xe9 \\a.bat"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.details, JobDetailsText(c.job));
    EXPECT_EQ(106u, JobDaysText(Job(0, 0x7FFFFFFF, 0x7F, JOB_RUN_PERIODICALLY, L"")).size());
}

TEST(TaskMonitor, EveryRoutePollAfterPoll) {
    CTestTaskMonitor m;
    m.schedule.items = {L"Backup.job", L"Clean.job", L"Both.job"};
    m.jobCommands = {L"C:\\Backup.cmd", L"b.bat", L"c.bat", L"d.bat", L"e.bat"};
    m.Task(L"\\Vendor\\Updater", {{TASK_TRIGGER_DAILY, L"2026-06-12T03:00:00"}}, L"C:\\upd.exe");
    m.Task(L"\\Closed\\Secret", {}, L"C:\\secret.exe");
    m.failingFolders = {{L"\\Closed", E_ACCESSDENIED}}; // to a standard user: left out
    EXPECT_TRUE(m.Polled().empty());

    // Letter case only: nothing. Names alike in their cut or in the code page are two. Hidden
    // tasks count; a root task that the work items list is theirs.
    const std::wstring stem(300, L'n');
    m.schedule.items.insert(m.schedule.items.end(), {stem + L"A.job", stem + L"B.job"});
    m.jobCommands[0] = L"c:\\BACKUP.CMD";
    m.jobCommands[1] = L"b2.bat";
    m.tasks.push_back({{L"\\Vendor\\Sub\\Deep",
                        {{TASK_TRIGGER_DAILY, L"2026-06-12T03:00:00"}, {TASK_TRIGGER_LOGON, L""}},
                        {{L"C:\\Vendor\\upd.exe", L"/silent"}, {L"C:\\report.exe", L""}}},
                       false});
    m.Task(L"\\Vendor\\Ghost", {{TASK_TRIGGER_BOOT, L""}}, L"C:\\ghost.exe", true);
    m.Task(L"\\Caf\u00e9\u4e2d", {}, L"a.exe");
    m.Task(L"\\Caf\u00e9\u4e2e", {}, L"b.exe");
    m.Task(L"\\Both", {}, L"C:\\both.exe");
    const std::string cut(259, 'n');
    EXPECT_EQ((Reports{"C|" + JobAt(1) + "|; 8:00AM;b2.bat", "N|\\Caf\xe9?|;a.exe", "N|\\Caf\xe9?|;b.exe",
                       "N|\\Vendor\\Ghost|At startup;C:\\ghost.exe", "N|" + cut + "|;", "N|" + cut + "|;",
                       "N|\\Vendor\\Sub\\Deep|Daily from 2026-06-12T03:00:00, At log on;"
                       "C:\\Vendor\\upd.exe /silent, C:\\report.exe"}),
              m.Polled());

    m.schedule.items = {L"Backup.job", L"Both.job"};
    m.jobCommands.resize(4);
    m.tasks[0].first.triggers[0].type = TASK_TRIGGER_WEEKLY;
    m.tasks.erase(m.tasks.begin() + 3); // Ghost
    EXPECT_EQ((Reports{"D|" + JobAt(4) + "|; 8:00AM;e.bat", "D|Clean.job|;", "D|" + cut + "|;",
                       "D|" + cut + "|;", "D|\\Vendor\\Ghost|At startup;C:\\ghost.exe",
                       "C|\\Vendor\\Updater|Weekly from 2026-06-12T03:00:00;C:\\upd.exe"}),
              m.Polled());
}

// Each way a route's reading fails, from the first poll on and after a good one: nothing is
// reported while it fails, and what changed meanwhile is reported once, when it reads again,
// unless the route had never read before.
TEST(TaskMonitor, AFailedReadingIsNeverComparedAndARouteIsSilentUntilItHasReadOnce) {
    using Set = std::function<void(CTestTaskMonitor&, bool)>;
    const std::vector<std::tuple<const char*, int, Set>> cases = {
        // route: work items, jobs, tasks
        {"no scheduler", 0, [](auto& m, bool on) { m.noScheduler = m.schedule.enumFails = on; }},
        {"no work item list", 0, [](auto& m, bool on) { m.schedule.enumFails = on; }},
        {"names part way", 0, [](auto& m, bool on) { m.schedule.nextFailsAt = on ? 1 : -1; }},
        {"no jobs", 1, [](auto& m, bool on) { m.jobsFailAt = on ? 0 : -1; }},
        {"jobs part way", 1, [](auto& m, bool on) { m.jobsFailAt = on ? 1 : -1; }},
        {"more jobs promised, none given", 1, [](auto& m, bool on) { m.jobsStall = on; }},
        {"no root folder", 2,
         [](auto& m, bool on) {
             m.failingFolders = {{on ? L"\\" : L"", E_NOTIMPL}};
         }},
        {"subfolder", 2,
         [](auto& m, bool on) {
             m.failingFolders = {{on ? L"\\Vendor\\Sub" : L"", E_NOTIMPL}};
         }},
    };
    const std::string added[] = {"N|New.job|;", "N|" + JobAt(5) + "|; 8:00AM;new.bat",
                                 "N|\\Vendor\\Sub\\New|;C:\\new.exe"};
    for (const auto& [fault, route, set] : cases)
        for (bool failsFirst : {true, false}) {
            SCOPED_TRACE(std::string(fault) + (failsFirst ? ", from the first poll" : ", after a good poll"));
            CTestTaskMonitor m;
            for (int i = 0; i < 7; ++i)
                m.schedule.items.push_back(L"Item" + std::to_wstring(i) + L".job");
            m.jobCommands = {L"a.bat", L"b.bat", L"c.bat", L"d.bat", L"e.bat"};
            m.Task(L"\\Vendor\\Updater", {}, L"C:\\upd.exe");
            m.Task(L"\\Vendor\\Sub\\Deep", {}, L"C:\\deep.exe");
            set(m, failsFirst);
            EXPECT_TRUE(m.Polled().empty());
            set(m, true);
            m.schedule.items.push_back(L"New.job");
            m.jobCommands.push_back(L"new.bat");
            m.Task(L"\\Vendor\\Sub\\New", {}, L"C:\\new.exe");
            Reports others(std::begin(added), std::end(added));
            others.erase(added[route]);
            EXPECT_EQ(others, m.Polled());
            set(m, false);
            EXPECT_EQ(failsFirst ? Reports{} : Reports{added[route]}, m.Polled());
        }
}

// What changed while the program was not running is reported by each route's first complete
// reading, also after a run in which the route saw no change; a refused report is made again at
// the next start.
TEST(TaskMonitor, FirstReadingIsComparedWithTheLastRunsSnapshot) {
    CTempDir dir;
    auto run = [&](int changes, bool refuse = false) {
        CSnapshotStore store;
        store.Load(dir.path + "state");
        CTestTaskMonitor m(&store);
        m.host.m_refuse = refuse;
        m.schedule.items = {L"A.job"};
        m.jobCommands = {L"a.bat"};
        m.Task(L"\\Vendor\\A", {}, L"C:\\a.exe");
        if (changes > 0)
            m.jobCommands.push_back(L"b.bat");
        if (changes > 1)
            m.schedule.items.push_back(L"B.job"), m.Task(L"\\Vendor\\B", {}, L"C:\\b.exe");
        Reports reports = m.Polled();
        EXPECT_TRUE(store.Save());
        return reports;
    };
    EXPECT_EQ(Reports{}, run(0));
    EXPECT_EQ(Reports{"N|" + JobAt(1) + "|; 8:00AM;b.bat"}, run(1));
    EXPECT_EQ(Reports{}, run(2, true));
    EXPECT_EQ((Reports{"N|B.job|;", "N|\\Vendor\\B|;C:\\b.exe"}), run(2));
}

// The host's stop event ends the wait between polls at once: here it would last for ever.
TEST(TaskMonitor, TheHostsStopEventEndsTheMonitor) {
    CTestTaskMonitor m;
    std::atomic<bool> ended{false};
    std::thread thread([&] { RunTaskMonitor(m.host, INFINITE, &m), ended = true; });
    EXPECT_TRUE(WaitUntil([&] { return m.host.m_ready == 1; }, 30000));
    SetEvent(m.host.GetStopEvent());
    EXPECT_TRUE(WaitUntil([&] { return ended.load(); }, 30000));
    thread.join();
}
