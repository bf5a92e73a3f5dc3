// String maps keyed by exact (case-sensitive, byte for byte) text. Iteration order is the
// hash table's own; nothing here relies on it.
#pragma once
#include "AfxString.h"
#include <unordered_map>

template <class V> class CMapStringTo {
public:
    using Map = std::unordered_map<std::string, V>;

    // The stored value, or null: lets a caller compare without copying.
    const V* Find(const std::string& key) const {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    V* Find(const std::string& key) {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    // The stored entry, key and value; it stays where it is until removed.
    typename Map::value_type* FindEntry(const std::string& key) {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &*it;
    }
    size_t GetCount() const { return m_map.size(); }
    void SetAt(const std::string& key, V value) { m_map[key] = std::move(value); }
    bool RemoveKey(const std::string& key) { return m_map.erase(key) != 0; }
    void RemoveAll() { m_map.clear(); }

    typename Map::const_iterator begin() const { return m_map.begin(); }
    typename Map::const_iterator end() const { return m_map.end(); }

private:
    Map m_map;
};

using CMapStringToString = CMapStringTo<std::string>;
