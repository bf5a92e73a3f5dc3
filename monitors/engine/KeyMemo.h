// What each key below a registry place gave at the last reading, kept with the key's last-write
// time: a reading asks again only the keys written since. Under Wine every registry call is a
// round trip to the wineserver, and a write anywhere below Services would otherwise mean
// reading every service again.
//
// A key's last-write time moves when its values are written and when subkeys come or go, not
// when a grandchild's values are written: each key read keeps its own time. Two writes can
// carry the same time, so a time within kUnsettled of the reading's start is never trusted:
// that key is read again next time.
#pragma once
#include "Snapshot.h"
#include <windows.h>
#include <string>
#include <unordered_map>
#include <vector>

class CKeyMemo {
public:
    // Two seconds, in 100 ns units.
    static const ULONGLONG kUnsettled = 20000000;

    // Before a reading: its start, against which a key's time counts as settled.
    void Begin();
    // After a reading: forgets the keys it did not reach (gone, or no longer matched).
    void End();
    // The items of the key `path` (a name below the place) whose last-write time is `written`
    // (0: unknown): those it gave last time when its time is settled and unchanged, otherwise
    // those `read` gives, kept for next time unless `read` says the key could not be read.
    void Visit(const std::string& path, ULONGLONG written,
               const std::function<bool(const ItemVisitor& visit)>& read, const ItemVisitor& visit);

private:
    struct Entry {
        ULONGLONG written;
        unsigned reading;
        ItemReading items;
    };
    std::unordered_map<std::string, Entry> m_keys;
    ULONGLONG m_start = 0;
    unsigned m_reading = 0;
};

// One turn of a loop's comparisons, after every watch compared in it was re-armed: its
// readings share the listing of a key that several places of the loop read (the Services key
// holds both the services and their Parameters), each still taken after its own re-arming.
// Per thread; outside a turn nothing is shared.
class CReadingTurn {
public:
    using Listing = std::vector<std::pair<std::string, ULONGLONG>>;
    CReadingTurn() : m_outer(s_current) { s_current = this; }
    ~CReadingTurn() { s_current = m_outer; }
    CReadingTurn(const CReadingTurn&) = delete;
    CReadingTurn& operator=(const CReadingTurn&) = delete;

    // The turn running on this thread; null when none.
    static CReadingTurn* Current() { return s_current; }
    // The listing known by `id`, empty and new when `listed` comes back false.
    Listing& Find(const std::string& id, bool& listed);

private:
    static thread_local CReadingTurn* s_current;
    CReadingTurn* m_outer;
    std::unordered_map<std::string, Listing> m_listings;
};
