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
