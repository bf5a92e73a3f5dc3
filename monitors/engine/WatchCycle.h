// The watch cycle that every notification-driven monitor runs, over a source (a registry key,
// a folder, the file associations):
//   1. arm: open the place, ask for a change notification, guard its nearest existing
//      ancestor (a place missing at start is watched from there until it appears);
//   2. take the first snapshot, reporting nothing;
//   3. wait on the change and guard events of every watch in the loop and the stop event (last);
//   4. on a change: re-arm, settle (the host's settle time), read afresh, compare, report;
//      other watches of the loop that signalled meanwhile are compared after the same settle;
//   5. end on the stop event, a failed wait or an exception.
// The notification is re-armed before the settle, not after the comparison: a change made
// while the place is being read then signals again instead of going unseen.
//
// A watched place can be deleted and created again. Its handle then names the deleted place
// for good, and Wine does not even signal the deletion on it. So each source also watches its
// parent for children coming and going (the guard); when the place turns out deleted, it is
// re-opened by its path before it is read. A place that is gone reads as empty (its items are
// reported Deleted) and its nearest existing ancestor is guarded until it is back (its items
// are then reported New).
#pragma once
#include "MonitorHost.h"
#include "Snapshot.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Where a watch's items come from and how changes there are signalled.
class CWatchSource {
public:
    virtual ~CWatchSource() = default;
    // The place, as its saved snapshot is known by.
    virtual std::string Name() const = 0;
    // Opens the place and arms its notification; a place missing now is guarded until it
    // appears. False when the place can never be watched (the host was told why).
    virtual bool Arm(IMonitorHost& host) = 0;
    // Auto-reset events; the guard's may be null (nothing above the place to watch).
    virtual HANDLE ChangeEvent() const = 0;
    virtual HANDLE GuardEvent() const = 0;
    // After a change signal: asks for the next one.
    virtual void Rearm() = 0;
    // After a guard signal: re-arms the guard; true when the place must be read again because
    // it was deleted, or was missing and may be back.
    virtual bool OnGuardSignal() = 0;
    // Before a reading: re-opens (and re-arms) a place that was deleted or has come back.
    virtual void Reconnect() = 0;
    // Every item, name and text in UTF-8, in the order the place gives them; none while the
    // place is gone.
    virtual void ReadItems(const ItemVisitor& visit) = 0;
    // For a reading during the settle: arms `event` (manual-reset) for any change below the
    // place, on a handle of its own; false when it cannot.
    virtual bool WatchWhileReading(HANDLE event) { return false; }
    // That reading is about to begin: a change signal left by writes before it is dropped (the
    // reading sees them) and the place armed again, so that it costs no second turn.
    virtual void DropSignalBeforeReading() {}
    // Whether that watch saw a change since it was armed.
    virtual bool ChangedWhileReading(HANDLE event) { return ::WaitForSingleObject(event, 0) != WAIT_TIMEOUT; }
    // Ends that watch.
    virtual void EndWatchWhileReading() {}
};

// An item's event texts, UTF-8; the cycle turns them into code-page text for the host.
using ItemFormat = std::function<void(const std::string& name, const std::string& text, std::string& location,
                                      std::string& details)>;

// The plainest texts: the item's name as the location, its text as the details.
void NameAsLocation(const std::string& name, const std::string& text, std::string& location,
                    std::string& details);

// One source with its snapshot and its report.
class CWatch {
public:
    CWatch(std::unique_ptr<CWatchSource> source, const char* category, ItemFormat format,
           bool readAhead = false);
    CWatch(const CWatch&) = delete;
    CWatch& operator=(const CWatch&) = delete;

    CWatchSource& Source() { return *m_source; }
    // Where the snapshot is kept across runs (none: it is not); before the first reading.
    void KeepSnapshotsIn(CSnapshotStore* store) { m_store = store; }
    // The first reading. Where snapshots are kept across runs, it is compared with the one
    // saved by the last run and the differences are reported; otherwise nothing is.
    void TakeFirstSnapshot(IMonitorHost& host);
    // Reads afresh and reports the differences.
    void Compare(IMonitorHost& host);
    // After a change signal taken at tick count `noticed`: waits until the settle time has
    // passed since, reading already during it for a watch that reads ahead; true when that
    // reading stands for the place as it is now.
    bool Settle(IMonitorHost& host, DWORD noticed, ItemReading& items);
    // Then compares: with that reading when `ahead`, otherwise afresh.
    void CompareSettled(IMonitorHost& host, bool ahead, const ItemReading& items);
    // Runs after each comparison that a change starts (not after the first reading): what
    // follows this place, as the Startup folders follow the registry values that name them.
    void SetFollowUp(std::function<void(IMonitorHost&)> followUp) { m_followUp = std::move(followUp); }

private:
    bool Report(IMonitorHost& host, int kind, const std::string& name, const std::string& text,
                const std::string& previous);
    // How the host's store knows this place.
    std::string Id() const { return m_category + std::string("\t") + m_source->Name(); }
    bool ReadDuringSettle(DWORD settle, DWORD noticed, ItemReading& items);
    void CompareWith(IMonitorHost& host, const ItemReader& read);
    // The snapshot is kept under the source's name as it is now (a folder that moved).
    void KeepUnderName();

    std::unique_ptr<CWatchSource> m_source;
    const char* m_category;
    ItemFormat m_format;
    bool m_readAhead;
    DWORD m_readMs = 0; // how long the last reading took, for the next reading ahead
    CPlaceSnapshot m_snapshot;
    CSnapshotStore* m_store = nullptr;
    std::string m_id;
    std::function<void(IMonitorHost&)> m_followUp;
};

// Waits on the watches (change events in order, then guards) and the stop event, last, until
// the stop or a failed wait, which each of `waitNames` says as "<waitName>: Failed to wait (%d)",
// or without the prefix for a null name. At most 31 watches.
void RunWatchLoop(IMonitorHost& host, const std::vector<CWatch*>& watches,
                  const std::vector<const char*>& waitNames);

// One monitor's watches, in a loop that may hold other monitors' watches too.
struct LoopMonitor {
    const char* name;     // said when it is ready
    const char* waitName; // its failed wait, see RunWatchLoop
    std::vector<std::unique_ptr<CWatch>> watches;
};

// Monitors sharing one loop: arms every watch (one that can never be watched is left out), takes
// the first snapshots (kept in `store` across runs), says each monitor with a watch left ready
// once its own are taken, loops. Ends at once when no watch is left.
UINT RunWatchMonitors(IMonitorHost& host, std::vector<LoopMonitor> monitors, CSnapshotStore* store = nullptr);

// A whole monitor in a loop of its own.
UINT RunWatchMonitor(IMonitorHost& host, std::vector<std::unique_ptr<CWatch>> watches, const char* monitor,
                     const char* waitName, CSnapshotStore* store = nullptr);
