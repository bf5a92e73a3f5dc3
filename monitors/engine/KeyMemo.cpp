#include "KeyMemo.h"

void CKeyMemo::Begin() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    m_start = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    ++m_reading;
}

void CKeyMemo::End() {
    for (auto it = m_keys.begin(); it != m_keys.end();)
        it = it->second.reading == m_reading ? std::next(it) : m_keys.erase(it);
}

void CKeyMemo::Visit(const std::string& path, ULONGLONG written,
                     const std::function<bool(const ItemVisitor& visit)>& read, const ItemVisitor& visit) {
    auto it = m_keys.find(path);
    if (it != m_keys.end() && written && it->second.written == written) {
        it->second.reading = m_reading;
        for (const auto& item : it->second.items)
            visit(item.first, item.second);
        return;
    }
    ItemReading items;
    bool readable = read([&](const std::string& name, const std::string& text) {
        items.emplace_back(name, text);
        visit(name, text);
    });
    // A time this close to the start (or past it) may be shared by a write still to come.
    if (!readable || !written || written + kUnsettled > m_start) {
        m_keys.erase(path);
        return;
    }
    m_keys[path] = Entry{written, m_reading, std::move(items)};
}

thread_local CReadingTurn* CReadingTurn::s_current = nullptr;

CReadingTurn::Listing& CReadingTurn::Find(const std::string& id, bool& listed) {
    auto [it, added] = m_listings.try_emplace(id);
    listed = !added;
    return it->second;
}
