#include "Snapshot.h"
#include "Event.h"
#include "SnapshotStore.h"
#include <algorithm>
#include <mbstring.h>

int CompareExact(const std::string& a, const std::string& b) {
    return a.compare(b);
}

int CompareNoCase(const std::string& a, const std::string& b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                    reinterpret_cast<const unsigned char*>(b.c_str()));
}

void CPlaceSnapshot::Restart() {
    m_read = false;
    m_current.RemoveAll();
}

void CPlaceSnapshot::Rename(std::string id) {
    m_id = std::move(id);
    if (m_store && m_read)
        m_store->Update(m_id, m_current);
}

void CPlaceSnapshot::Forget(const std::string& name) {
    m_current.RemoveKey(name);
}

// True when it reported something, whether the report was taken or not.
bool CPlaceSnapshot::Item(const std::string& name, const std::string& text, const SnapshotReport& report,
                          Seen& seen) {
    auto* entry = m_current.FindEntry(name);
    if (!entry) {
        m_current.SetAt(name, text);
        if (report(EVENT_NEW, name, text, std::string()))
            seen.push_back(&m_current.FindEntry(name)->first);
        else
            m_current.RemoveKey(name);
        return true;
    }
    seen.push_back(&entry->first);
    std::string& old = entry->second;
    if (m_compare(old, text) == 0)
        return false;
    std::string previous = std::move(old);
    old = text;
    if (!report(EVENT_CHANGED, name, text, previous))
        old = std::move(previous);
    return true;
}

bool CPlaceSnapshot::ReportUnseen(Seen& seen, const SnapshotReport& report) {
    // The names' addresses, not copies of the items: a place of thousands is held once.
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    if (seen.size() == m_current.GetCount())
        return false;
    std::vector<std::string> gone;
    for (const auto& item : m_current)
        if (!std::binary_search(seen.begin(), seen.end(), &item.first))
            gone.push_back(item.first);
    seen = Seen();
    for (const std::string& name : gone)
        if (report(EVENT_DELETED, name, *m_current.Find(name), std::string()))
            m_current.RemoveKey(name);
    return true;
}

void CPlaceSnapshot::Compare(const ItemReader& read, const SnapshotReport& report) {
    bool first = !m_read, silent = first && !(m_store && m_store->TakeSaved(m_id, m_current));
    m_read = true;
    bool changed = first;
    Seen seen;
    seen.reserve(m_current.GetCount());
    read([&](const std::string& name, const std::string& text) {
        if (silent)
            m_current.SetAt(name, text);
        else
            changed |= Item(name, text, report, seen);
    });
    if (!silent)
        changed |= ReportUnseen(seen, report);
    if (m_store && changed)
        m_store->Update(m_id, m_current);
}

void CPlaceSnapshot::Compare(const ItemReading& reading, const SnapshotReport& report) {
    Compare(
        [&reading](const ItemVisitor& visit) {
            for (const auto& item : reading)
                visit(item.first, item.second);
        },
        report);
}
