// What the tray balloon says of the events an alert starts for: the newest one, or for a
// burst how many there were and the first few.
#pragma once
#include "EventLogFile.h"
#include <string>
#include <vector>

struct BalloonText {
    std::string title; // at most 63 bytes
    std::string text;  // at most 255 bytes
};

// `events` in the order they were reported; empty gives an empty text.
BalloonText ChangeBalloon(const std::vector<EventRecord>& events);
