// Snapshots of a watched place and the comparison that turns a new reading into events.
// No Windows here: it runs over any source of (name, text) pairs.
#pragma once
#include "../framework/AfxMap.h"
#include <functional>

// Sets dst[name] = text for every pair of src; dst is not emptied first.
void CopySnapshot(const CMapStringToString& src, CMapStringToString& dst);

// kind (EventKind), item name, item text; false when the event could not be reported.
using SnapshotReport = std::function<bool(int kind, const std::string& name, const std::string& text)>;
// Text comparison: zero when equal.
using TextCompare = int (*)(const std::string& a, const std::string& b);
int CompareExact(const std::string& a, const std::string& b);  // every byte, embedded zeros included
int CompareNoCase(const std::string& a, const std::string& b); // multibyte-aware, case-insensitive

// One reading compared with the snapshot (current, and unseen = current as of the last
// reading). Feed every item in reading order with Item(), then call Finish(): New and
// Changed are reported as items arrive, every Deleted at Finish, and unseen is refilled.
// A change whose report fails stays out of the snapshot, so that the snapshot (and what is
// saved of it for the next start) holds only what was reported.
class CSnapshotComparison {
public:
    CSnapshotComparison(CMapStringToString& current, CMapStringToString& unseen, SnapshotReport report,
                        TextCompare compare = CompareExact)
        : m_current(current), m_unseen(unseen), m_report(std::move(report)), m_compare(compare) {}

    void Item(const std::string& name, const std::string& text);
    void Finish();
    // During the report of a Changed item: the text it had before.
    const std::string& Previous() const { return m_previous; }

private:
    CMapStringToString& m_current;
    CMapStringToString& m_unseen;
    SnapshotReport m_report;
    TextCompare m_compare;
    std::string m_previous;
};
