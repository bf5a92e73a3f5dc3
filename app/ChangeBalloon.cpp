#include "ChangeBalloon.h"
#include "../framework/AfxString.h"
#include "Messages.h"
#include <string>

namespace {
const size_t kFirstFew = 3;

// The shell shows 63 bytes of a title and 255 of a text; longer ones are cut with an ellipsis
// at a character boundary.
std::string Shorten(const std::string& text, size_t bytes) {
    if (text.size() <= bytes)
        return text;
    std::string cut(bytes - 3 + 1, '\0');
    CopyCut(&cut[0], cut.size(), text.c_str());
    std::string shortened = cut.c_str();
    return shortened += "...";
}

struct BalloonText {
    std::string title; // at most 63 bytes
    std::string text;  // at most 255 bytes
};

// `events` in the order they were reported (the first few), `count` how many there were in all.
BalloonText ChangeBalloon(const std::vector<EventRecord>& events, size_t count) {
    if (count == 1) {
        const EventRecord& e = events.back();
        return {Shorten(std::string(e.category) + ": " + e.event, 63),
                Shorten(std::string(e.location) + "\n" + Shorten(e.details, 160), 255)};
    }
    std::string text = std::to_string(count) + " changes:";
    for (size_t i = 0; i < events.size() && i < kFirstFew; ++i) {
        text += '\n';
        text +=
            Shorten(std::string(events[i].category) + " " + events[i].event + " " + events[i].location, 70);
    }
    if (count > kFirstFew)
        text += "\n...";
    return {"Kestrow", Shorten(text, 255)};
}
} // namespace

void CChangeBalloons::Add(const EventRecord& rec, long long serial) {
    m_newest = serial;
    if (m_first.size() < kFirstFew)
        m_first.push_back(rec);
    ++m_count;
}

void CChangeBalloons::Show() {
    if (m_count == 0) {
        m_window.KillTimer(IDT_BALLOON);
        return;
    }
    DWORD now = ::GetTickCount(), wait = now - m_lastShown < 1000 ? 1000 - (now - m_lastShown) : 0;
    if (wait) {
        m_window.SetTimer(IDT_BALLOON, wait);
        return;
    }
    m_window.KillTimer(IDT_BALLOON);
    m_lastShown = now;
    m_newestShown = m_newest;
    BalloonText balloon = ChangeBalloon(m_first, m_count);
    m_first.clear();
    m_count = 0;
    // Quiet exactly when the alert's beep is.
    m_tray.ShowBalloon(balloon.text.c_str(), balloon.title.c_str(), m_alert.IsQuiet());
}
