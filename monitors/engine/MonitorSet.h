// The program's monitors: the rows of a roster on threads, with the stop event they end on and
// the snapshots they keep across runs. The window owns one set and starts no thread itself.
// Under Wine every thread holds about 1 MB of its own, so rows whose readings are light share
// a loop thread, as many as its wait takes; a row with long readings keeps a thread of its own,
// so that its reading never holds up another category's.
//
// Threads: Start and the stop run on the owner's thread. Monitors report through the set to
// the owner's sink until the stop has ended; a monitor that outlasts the bound of the stop
// still finds the set's shared state (it holds a reference), and its reports are refused.
#pragma once
#include "../../framework/AfxHandle.h"
#include "MonitorHost.h"
#include "SnapshotStore.h"
#include "WatchCycle.h"
#include <memory>
#include <string>
#include <vector>

struct MonitorRow;
// A monitor's thread: watches the row's places until the host's stop event.
// `store`: where the row's watches keep their snapshots across runs.
using MonitorRun = UINT (*)(IMonitorHost& host, const MonitorRow& row, CSnapshotStore* store);
// The row's watches, for a loop it shares with other rows.
using MonitorWatches = std::vector<std::unique_ptr<CWatch>> (*)(const MonitorRow& row);

// One row of the roster.
struct MonitorRow {
    const char* name;     // what the trace says when it is ready ("MonitorRunKeysProc")
    const char* category; // its events' category
    MonitorRun run;
    // Its failed wait is said without its name.
    bool plainWaitFailure = false;
    // Set for a row of light readings: the set runs its watches in a loop shared with other
    // such rows rather than `run` on a thread of its own.
    MonitorWatches watches = nullptr;

    const char* WaitName() const { return plainWaitFailure ? nullptr : name; }
};

// Where the monitors' reports go: the window.
class IReportSink {
public:
    virtual bool ReportEvent(const char* category, int kind, const char* location, const char* details,
                             const char* previous) = 0;
    virtual void ReportError(const char* text) = 0;

protected:
    ~IReportSink() = default;
};

class CMonitorSet {
public:
    CMonitorSet(const std::vector<MonitorRow>& roster, IReportSink& sink, DWORD settleMs = 5000);
    ~CMonitorSet();
    CMonitorSet(const CMonitorSet&) = delete;
    CMonitorSet& operator=(const CMonitorSet&) = delete;

    // Reads the snapshots the last run saved (see CSnapshotStore::Load); before Start.
    CSnapshotStore::LoadResult LoadSnapshots(const std::string& path, bool reportOffline);
    // Writes the snapshots when one changed; false when the file could not be written.
    bool SaveSnapshots();
    // In roster order: a thread per row that runs alone, and one per loop of rows that share
    // one (see MonitorRow::watches).
    void Start();
    // Gives the stop signals on a thread of their own (three seconds), so that the owner's
    // own closing overlaps them...
    void BeginStop();
    // ...then waits for them and for the threads, within `joinMs`, and saves the snapshots.
    void EndStop(DWORD joinMs = 5000);

private:
    struct Shared;
    void StartThread(LPTHREAD_START_ROUTINE proc, void* start);
    void StartLoop(std::vector<LoopMonitor>& monitors);
    std::shared_ptr<Shared> m_shared;
    std::vector<MonitorRow> m_roster;
    std::vector<CHandle> m_threads;
    CHandle m_signaller;
};

// The program's debug-output trace, "Kestrow: <text>\n": a monitor ready, every monitor
// ready, the close begun and the monitors stopped, the snapshots saved. The benchmarks and the
// system tests read it.
void Trace(const char* format, ...);
