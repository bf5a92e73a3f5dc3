// The scheduled task monitor: every 10 seconds it reads the Task Scheduler's work items and
// the scheduled jobs and reports what was added, removed or changed to its monitor host.
//
// Threads: the interface thread calls Init and Start before the monitor thread exists, and
// Stop (an event set) at the end. The monitor thread alone uses the four maps and the COM
// objects, in a single-threaded apartment of its own.
//
// Wine enumerates work item names ending in ".job" but activates them only without the
// suffix, and refuses IScheduledWorkItem on a task although ITask is one: both are worked
// around, harmlessly on Windows.
#pragma once
#include "../framework/AfxHandle.h"
#include "../framework/AfxMap.h"
#include "MonitorHost.h"
#include <atomic>
#include <string>

// lmcons.h goes before the other network headers.
#include <lmcons.h>

#include <lmat.h>

struct ITaskScheduler;

// UTF-16 to the ANSI code page, a space for each character it cannot show, cut at a character
// boundary to fit `size` bytes with the terminating NUL.
std::string WideToAnsi(const wchar_t* text, size_t size);

// The texts of one scheduled job: days ("Each M W 1 15 "), a 7-character 12-hour time
// (" 9:05AM") and the details "days;time;command" with the command cut to 259 bytes.
std::string JobDaysText(const AT_ENUM& job);
std::string JobTimeText(DWORD_PTR jobTime);
std::string JobDetailsText(const AT_ENUM& job);

class CTaskMonitor {
  public:
    CTaskMonitor() = default;
    virtual ~CTaskMonitor();
    CTaskMonitor(const CTaskMonitor&) = delete;
    CTaskMonitor& operator=(const CTaskMonitor&) = delete;

    // The host's stop event ends the thread, as does Stop.
    void Init(IMonitorHost* host);
    // FALSE when the thread could not start, or still runs from an earlier Start.
    BOOL Start();
    void Stop();

    // One poll: both routes, after which the first pass is over.
    void Poll(ITaskScheduler* scheduler);
    void ScanWorkItems(ITaskScheduler* scheduler);
    void ScanJobs();

    // Polls finished so far (tests wait for the first one), and whether a started thread runs.
    int GetPollCount() const { return m_polls; }
    bool IsRunning() const { return m_running; }

    // Between the end of one poll and the start of the next; tests may shorten it.
    DWORD m_pollPeriod = 10000;

  protected:
    // Where the scheduler and the job records come from; tests give their own.
    virtual HRESULT CreateScheduler(ITaskScheduler** scheduler);
    virtual NET_API_STATUS EnumJobs(LPBYTE* buffer, DWORD* entriesRead, DWORD* totalEntries,
                                    DWORD* resumeHandle);
    virtual void FreeJobs(LPBYTE buffer);

  private:
    friend UINT MonitorTaskSchedulerProc(LPVOID param);
    void Report(int kind, const std::string& location, const std::string& details);

    IMonitorHost* m_pHost = nullptr;
    CHandle m_quitEvent;
    BOOL m_bFirstPass = TRUE;
    CMapStringToString m_currentWorkItems;
    CMapStringToString m_unseenWorkItems;
    CMapStringToString m_currentJobs;
    CMapStringToString m_unseenJobs;

    std::atomic<int> m_polls{0};
    std::atomic<bool> m_running{false};
};

// Thread procedure; the parameter is the CTaskMonitor.
UINT MonitorTaskSchedulerProc(LPVOID param);
