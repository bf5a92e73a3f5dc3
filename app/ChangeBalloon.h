// What the tray balloon says of the events an alert starts for: the newest one, or for a
// burst how many there were and the first few.
#pragma once
#include "EventLogFile.h"
#include <string>
#include <vector>

struct BalloonText {
    std::string title;    // at most 63 bytes
    std::string text;     // at most 255 bytes
    long long newest = 0; // the serial number its caller gave the newest event told of
};

// `events` in the order they were reported (for a burst, at least its first few), `count` how
// many there were in all; none gives an empty text.
BalloonText ChangeBalloon(const std::vector<EventRecord>& events, size_t count);
inline BalloonText ChangeBalloon(const std::vector<EventRecord>& events) {
    return ChangeBalloon(events, events.size());
}

// The events since the last balloon: the first few and how many. A balloon costs the shell
// milliseconds, so a burst shows one a second at most, with everything since the last one.
class CBalloonBatch {
public:
    void Add(const EventRecord& rec, long long serial = 0);
    bool Empty() const { return m_count == 0; }
    BalloonText Take();

private:
    std::vector<EventRecord> m_first;
    size_t m_count = 0;
    long long m_newest = 0;
};
