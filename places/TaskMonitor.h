// The scheduled task monitor: every 10 seconds it reads three routes and reports what was
// added, removed or changed to its monitor host:
//   work items  Task Scheduler 1.0 (ITaskScheduler), TaskWorkItems.cpp
//   jobs        NetScheduleJobEnum, TaskJobs.cpp
//   tasks       Task Scheduler 2.0 (ITaskService), every folder, TaskFolders.cpp
// A route is silent until it has read once in full (the services are often not up yet when
// the program starts with Windows), and a reading that failed, wholly or part way, is never
// compared: it would take what it missed as deleted.
//
// Threads: the interface thread calls Init and Start before the monitor thread exists, and
// Stop (an event set) at the end. The monitor thread alone uses the snapshots and the COM
// objects, in a single-threaded apartment of its own.
//
// Wine enumerates work item names ending in ".job" but activates them only without the
// suffix, and refuses IScheduledWorkItem on a task although ITask is one: both are worked
// around, harmlessly on Windows. Wine lists no Task Scheduler 2.0 tasks at all.
#pragma once
#include "../framework/AfxHandle.h"
#include "../framework/AfxMap.h"
#include "../engine/MonitorHost.h"
#include "../engine/Snapshot.h"
#include <atomic>
#include <string>
#include <utility>
#include <vector>

// lmcons.h goes before the other network headers.
#include <lmcons.h>

#include <lmat.h>

struct ITaskScheduler;
struct ITaskService;
struct IRegisteredTask;

// UTF-16 to the ANSI code page, a space for each character it cannot show, cut at a character
// boundary to fit `size` bytes with the terminating NUL.
std::string WideToAnsi(const wchar_t* text, size_t size);

// The texts of one scheduled job: days ("Each M W 1 15 "), a 7-character 12-hour time
// (" 9:05AM") and the details "days;time;command" with the command cut to 259 bytes.
std::string JobDaysText(const AT_ENUM& job);
std::string JobTimeText(DWORD_PTR jobTime);
std::string JobDetailsText(const AT_ENUM& job);

// A Task Scheduler 2.0 task as the route reads it.
struct TaskTrigger {
    int type;           // TASK_TRIGGER_TYPE2
    std::wstring start; // StartBoundary, empty when it has none
};
struct TaskAction {
    std::wstring command; // an exec action's path; for other kinds, what they are
    std::wstring arguments;
};
struct TaskRecord {
    std::wstring path; // "\Vendor\Updater"
    std::vector<TaskTrigger> triggers;
    std::vector<TaskAction> actions;
};
// "Daily from 2026-06-12T03:00:00, At log on;C:\upd.exe /silent, C:\report.exe" (UTF-8).
std::string TaskDetailsText(const TaskRecord& task);
// A registered task's path, triggers and actions; what cannot be read is left out.
HRESULT ReadTaskRecord(IRegisteredTask* task, TaskRecord& record);

// One route's snapshot: name -> details, silent until its first complete reading.
class CTaskRouteSnapshot {
public:
    using Reading = std::vector<std::pair<std::string, std::string>>;
    // Compares a complete reading, in its order, with what was known.
    // report(kind, name, text, previous text of a Changed item)
    // false when it could not be reported.
    using Report = std::function<bool(int, const std::string&, const std::string&, const std::string&)>;
    void Compare(const Reading& reading, const Report& report);
    bool Has(const std::string& name) const { return m_current.Find(name) != nullptr; }
    // Where the snapshot is kept across runs: the first complete reading is then compared with
    // the one the last run saved.
    void KeepIn(CSnapshotStore* store, const char* id) {
        m_store = store;
        m_id = id;
    }
    // Drops an item without a report (another route reports it now).
    void Forget(const std::string& name);

private:
    CMapStringToString m_current;
    CMapStringToString m_unseen;
    bool m_read = false;
    CSnapshotStore* m_store = nullptr;
    std::string m_id;
};

class CTaskMonitor {
public:
    CTaskMonitor();
    virtual ~CTaskMonitor();
    CTaskMonitor(const CTaskMonitor&) = delete;
    CTaskMonitor& operator=(const CTaskMonitor&) = delete;

    // The host's stop event ends the thread, as does Stop.
    void Init(IMonitorHost* host);
    // FALSE when the thread could not start, or still runs from an earlier Start.
    BOOL Start();
    void Stop();

    // One poll of every route; the first one makes the monitor ready.
    void Poll();
    // Lets go of the COM objects (before the apartment ends).
    void ReleaseServices();

    // Polls finished so far (tests wait for the first one), and whether a started thread runs.
    int GetPollCount() const { return m_polls; }
    bool IsRunning() const { return m_running; }

    // Between the end of one poll and the start of the next; tests may shorten it.
    DWORD m_pollPeriod = 10000;

protected:
    // Where the scheduler, the job records and the 2.0 folders come from; tests give their own.
    virtual HRESULT CreateScheduler(ITaskScheduler** scheduler);
    virtual NET_API_STATUS EnumJobs(LPBYTE* buffer, DWORD* entriesRead, DWORD* totalEntries,
                                    DWORD* resumeHandle);
    virtual void FreeJobs(LPBYTE buffer);
    // One 2.0 folder ("\" is the root): its subfolders' paths and its tasks, hidden ones too
    // when taskFlags has TASK_ENUM_HIDDEN.
    virtual HRESULT ListTaskFolder(const std::wstring& folder, LONG taskFlags,
                                   std::vector<std::wstring>& subfolders, std::vector<TaskRecord>& tasks);

private:
    friend UINT MonitorTaskSchedulerProc(LPVOID param);
    friend class CJobPage;
    bool Report(int kind, const std::string& location, const std::string& details,
                const std::string& previous);
    // Each reads its route in full and compares; false (nothing compared) when it could not.
    bool ScanWorkItems();
    bool ScanJobs();
    bool ScanTaskFolders();
    HRESULT ReadTaskFolders(CTaskRouteSnapshot::Reading& reading);

    IMonitorHost* m_pHost = nullptr;
    CHandle m_quitEvent;
    CComPtr<ITaskScheduler> m_scheduler;
    CComPtr<ITaskService> m_taskService;
    CTaskRouteSnapshot m_workItems;
    CTaskRouteSnapshot m_jobs;
    CTaskRouteSnapshot m_tasks;
    std::atomic<int> m_polls{0};
    std::atomic<bool> m_running{false};
};

// Thread procedure; the parameter is the CTaskMonitor.
UINT MonitorTaskSchedulerProc(LPVOID param);
