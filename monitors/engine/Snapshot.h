// The snapshot of a watched place and the comparison that turns a new reading into events.
// No Windows here: it runs over any source of (name, text) pairs.
#pragma once
#include "../../framework/AfxMap.h"
#include <functional>
#include <string>
#include <utility>
#include <vector>

class CSnapshotStore;

// Called once per item of a reading: its whole name and text.
using ItemVisitor = std::function<void(const std::string& name, const std::string& text)>;
// Feeds every item of a reading, in the place's order.
using ItemReader = std::function<void(const ItemVisitor& visit)>;
// A reading held in memory, in its order.
using ItemReading = std::vector<std::pair<std::string, std::string>>;

// kind (EventKind), item name, item text, and of a Changed item the text it had before; false
// when the event could not be reported.
using SnapshotReport = std::function<bool(int kind, const std::string& name, const std::string& text,
                                          const std::string& previous)>;
// Text comparison: zero when equal.
using TextCompare = int (*)(const std::string& a, const std::string& b);
int CompareExact(const std::string& a, const std::string& b);  // every byte, embedded zeros included
int CompareNoCase(const std::string& a, const std::string& b); // multibyte-aware, case-insensitive

// What is known of one place: its items as of the last reading. A reading is compared with it
// whole: New and Changed are reported as items arrive, every Deleted at the end.
//
// The first reading is taken silently, unless the store holds the snapshot the last run saved:
// what differs from that changed while the program was not running and is reported. A change
// whose report fails stays out of the snapshot (a refused New is dropped, a refused Changed
// keeps its old text, a refused Deleted stays), so that the snapshot, and what the store saves
// of it for the next start, holds only what was reported.
class CPlaceSnapshot {
public:
    explicit CPlaceSnapshot(TextCompare compare = CompareExact) : m_compare(compare) {}
    CPlaceSnapshot(const CPlaceSnapshot&) = delete;
    CPlaceSnapshot& operator=(const CPlaceSnapshot&) = delete;

    // Where the snapshot is kept across runs, and as what; a null store keeps nothing.
    void KeepIn(CSnapshotStore* store, std::string id) {
        m_store = store;
        m_id = std::move(id);
    }
    // Kept as `id` from now on (the place moved): the store has it under that name at once.
    void Rename(std::string id);
    // Forgets every item: the next reading is a first one again.
    void Restart();
    // Compares a complete reading and hands a changed snapshot to the store.
    void Compare(const ItemReader& read, const SnapshotReport& report);
    void Compare(const ItemReading& reading, const SnapshotReport& report);

    bool Has(const std::string& name) const { return m_current.Find(name) != nullptr; }
    // Drops an item without a report (another place reports it now).
    void Forget(const std::string& name);

private:
    // The names of the current items a reading saw, as the snapshot stores them.
    using Seen = std::vector<const std::string*>;
    bool Item(const std::string& name, const std::string& text, const SnapshotReport& report, Seen& seen);
    // Reports Deleted every item the reading did not see; true when there was one.
    bool ReportUnseen(Seen& seen, const SnapshotReport& report);

    TextCompare m_compare;
    CSnapshotStore* m_store = nullptr;
    std::string m_id;
    bool m_read = false;
    CMapStringToString m_current;
};
