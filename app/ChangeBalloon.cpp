#include "ChangeBalloon.h"
#include "../framework/AfxString.h"

namespace {
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

const size_t kFirstFew = 3;
} // namespace

void CBalloonBatch::Add(const EventRecord& rec, long long serial) {
    m_newest = serial;
    if (m_first.size() < kFirstFew)
        m_first.push_back(rec);
    ++m_count;
}

BalloonText CBalloonBatch::Take() {
    BalloonText text = ChangeBalloon(m_first, m_count);
    text.newest = m_newest;
    m_first.clear();
    m_count = 0;
    return text;
}

BalloonText ChangeBalloon(const std::vector<EventRecord>& events, size_t count) {
    if (events.empty() || count == 0)
        return {"Kestrow", ""};
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
