#include "Snapshot.h"
#include "Event.h"
#include "SnapshotStore.h"
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
    m_unseen.RemoveAll();
}

void CPlaceSnapshot::Rename(std::string id) {
    m_id = std::move(id);
    if (m_store && m_read)
        m_store->Update(m_id, m_current);
}

void CPlaceSnapshot::Forget(const std::string& name) {
    m_current.RemoveKey(name);
    m_unseen.RemoveKey(name);
}

// True when it reported something, whether the report was taken or not.
bool CPlaceSnapshot::Item(const std::string& name, const std::string& text, const SnapshotReport& report) {
    std::string* old = m_current.Find(name);
    if (!old) {
        m_current.SetAt(name, text);
        if (!report(EVENT_NEW, name, text, std::string()))
            m_current.RemoveKey(name);
        return true;
    }
    m_unseen.RemoveKey(name);
    if (m_compare(*old, text) == 0)
        return false;
    std::string previous = std::move(*old);
    *old = text;
    if (!report(EVENT_CHANGED, name, text, previous))
        *old = std::move(previous);
    return true;
}

void CPlaceSnapshot::Compare(const ItemReader& read, const SnapshotReport& report) {
    bool first = !m_read, silent = first && !(m_store && m_store->TakeSaved(m_id, m_current));
    m_read = true;
    // Held only while a reading runs: between readings each snapshot is kept once, not twice.
    m_unseen = m_current;
    bool changed = first;
    read([&](const std::string& name, const std::string& text) {
        if (silent)
            m_current.SetAt(name, text);
        else
            changed |= Item(name, text, report);
    });
    for (const auto& item : m_unseen) {
        changed = true;
        if (report(EVENT_DELETED, item.first, item.second, std::string()))
            m_current.RemoveKey(item.first);
    }
    m_unseen = CMapStringToString();
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
