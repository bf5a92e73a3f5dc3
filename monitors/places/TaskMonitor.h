// The scheduled task monitor: every 10 seconds it reads three routes and reports what was
// added, removed or changed to its monitor host:
//   work items  Task Scheduler 1.0 (ITaskScheduler), TaskWorkItems.cpp
//   jobs        NetScheduleJobEnum, TaskJobs.cpp
//   tasks       Task Scheduler 2.0 (ITaskService), every folder, TaskFolders.cpp
// Each route's snapshot is silent until the route has read once in full (the services are
// often not up yet when the program starts with Windows), and a reading that failed, wholly or
// part way, is never compared: it would take what it missed as deleted.
//
// Threads: the monitor thread alone makes and uses the routes, their snapshots and the COM
// objects, in a single-threaded apartment of its own; the host's stop event ends it.
//
// Wine enumerates work item names ending in ".job" but activates them only without the
// suffix, and refuses IScheduledWorkItem on a task although ITask is one: both are worked
// around, harmlessly on Windows. Wine lists no Task Scheduler 2.0 tasks at all.
#pragma once
#include "../../framework/AfxHandle.h"
#include "../engine/MonitorHost.h"
#include <memory>
#include <string>
#include <vector>

// lmcons.h goes before the other network headers.
#include <lmcons.h>

#include <lmat.h>

struct ITaskScheduler;
struct ITaskService;
struct IRegisteredTask;
struct ITaskFolder;
class CTaskRoute;
class CSnapshotStore;

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

// One work item by name ("x.job" or "x"), its details as its route shows them; and its removal.
HRESULT ReadWorkItem(ITaskScheduler* scheduler, const std::wstring& name, std::string& details);
HRESULT DeleteWorkItem(ITaskScheduler* scheduler, const std::wstring& name);

// Where the routes read from: the system's Task Scheduler and job list; tests give their own.
class CTaskSources {
public:
    CTaskSources();
    virtual ~CTaskSources();

    virtual HRESULT CreateScheduler(ITaskScheduler** scheduler);
    virtual NET_API_STATUS EnumJobs(LPBYTE* buffer, DWORD* entriesRead, DWORD* totalEntries,
                                    DWORD* resumeHandle);
    virtual void FreeJobs(LPBYTE buffer);
    // One 2.0 folder ("\" is the root): its subfolders' paths and its tasks, hidden ones too
    // when taskFlags has TASK_ENUM_HIDDEN.
    virtual HRESULT ListTaskFolder(const std::wstring& folder, LONG taskFlags,
                                   std::vector<std::wstring>& subfolders, std::vector<TaskRecord>& tasks);
    virtual NET_API_STATUS DeleteJob(DWORD id);
    // One 2.0 task by its path ("\Vendor\Updater"): its record and XML; and its removal.
    HRESULT ReadTask(const std::wstring& path, TaskRecord& record, std::wstring& xml);
    HRESULT DeleteTask(const std::wstring& path);

private:
    HRESULT Connect();
    HRESULT OpenFolderOf(const std::wstring& path, ITaskFolder** folder, std::wstring& name);
    HRESULT ListConnectedFolder(const std::wstring& folder, LONG taskFlags,
                                std::vector<std::wstring>& subfolders, std::vector<TaskRecord>& tasks);
    CComPtr<ITaskService> m_taskService; // connected at the first listing, again after a restart
};

// The routes in their order (the work items first: a task both list is theirs), each compared
// through its own snapshot.
class CTaskMonitor {
public:
    // `store`: where the routes' snapshots are kept across runs (none: they are not).
    CTaskMonitor(IMonitorHost& host, CTaskSources& sources, CSnapshotStore* store = nullptr);
    ~CTaskMonitor();
    CTaskMonitor(const CTaskMonitor&) = delete;
    CTaskMonitor& operator=(const CTaskMonitor&) = delete;

    // Reads every route and compares each reading that is complete; a route that cannot be
    // read now is tried again at the next poll.
    void Poll();

private:
    IMonitorHost& m_host;
    std::vector<std::unique_ptr<CTaskRoute>> m_routes;
};

// Polls, says it is ready, waits `pollPeriod` ms on the host's stop event and polls again,
// until that event; in a COM apartment of its own. Reads the system's services unless given others.
UINT RunTaskMonitor(IMonitorHost& host, DWORD pollPeriod, CTaskSources* sources = nullptr,
                    CSnapshotStore* store = nullptr);
// The program's poll period.
const DWORD kTaskPollPeriod = 10000;
