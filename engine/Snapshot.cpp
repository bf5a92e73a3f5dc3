#include "Snapshot.h"
#include "Event.h"
#include <mbstring.h>

void CopySnapshot(const CMapStringToString& src, CMapStringToString& dst) {
    for (const auto& pair : src)
        dst.SetAt(pair.first, pair.second);
}

int CompareExact(const std::string& a, const std::string& b) {
    return a.compare(b);
}

int CompareNoCase(const std::string& a, const std::string& b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                    reinterpret_cast<const unsigned char*>(b.c_str()));
}

void CSnapshotComparison::Item(const std::string& name, const std::string& text) {
    if (std::string* old = m_current.Find(name)) {
        if (m_compare(*old, text) != 0) {
            m_previous.swap(*old);
            *old = text;
            if (!m_report(EVENT_CHANGED, name, text))
                old->swap(m_previous);
            m_previous.clear();
        }
        m_unseen.RemoveKey(name);
    } else {
        m_current.SetAt(name, text);
        if (!m_report(EVENT_NEW, name, text))
            m_current.RemoveKey(name);
    }
}

void CSnapshotComparison::Finish() {
    for (const auto& pair : m_unseen)
        if (m_report(EVENT_DELETED, pair.first, pair.second))
            m_current.RemoveKey(pair.first);
    m_unseen.RemoveAll();
    CopySnapshot(m_current, m_unseen);
}
