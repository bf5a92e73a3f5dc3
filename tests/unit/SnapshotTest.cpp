#include "TestSupport.h"
#include "monitors/Snapshot.h"
#include <algorithm>
#include <gtest/gtest.h>

namespace {
using Items = std::vector<std::pair<std::string, std::string>>;

// A snapshot taken from `first`, compared reading by reading; Deleted reports sorted by name,
// their order is not fixed.
struct Comparer {
    CMapStringToString current, unseen;

    explicit Comparer(const Items& first) {
        for (const auto& i : first)
            current.SetAt(i.first, i.second);
        CopySnapshot(current, unseen);
    }
    std::vector<RecordedEvent> Read(const Items& items, TextCompare compare = CompareExact) {
        std::vector<RecordedEvent> events;
        CSnapshotComparison c(
            current, unseen,
            [&](int kind, const std::string& n, const std::string& t) {
                events.push_back({"", kind, n, t});
            },
            compare);
        for (const auto& i : items)
            c.Item(i.first, i.second);
        c.Finish();
        auto deleted =
            std::find_if(events.begin(), events.end(), [](auto& e) { return e.kind == EVENT_DELETED; });
        EXPECT_TRUE(std::all_of(deleted, events.end(), [](auto& e) { return e.kind == EVENT_DELETED; }));
        std::sort(deleted, events.end(), [](auto& x, auto& y) { return x.location < y.location; });
        return events;
    }
};
RecordedEvent Ev(int kind, const std::string& name, const std::string& text) {
    return {"", kind, name, text};
}
} // namespace

TEST(Snapshot, NewChangedInReadingOrderThenEveryDeletedOnce) {
    Comparer c({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}});
    Items now = {{"z", "new"}, {"b", "2"}, {"c", "three"}, {"y", "other"}};
    EXPECT_EQ((std::vector<RecordedEvent>{Ev(EVENT_NEW, "z", "new"), Ev(EVENT_CHANGED, "c", "three"),
                                          Ev(EVENT_NEW, "y", "other"), Ev(EVENT_DELETED, "a", "1"),
                                          Ev(EVENT_DELETED, "d", "4")}),
              c.Read(now));
    // The next reading reports only what changed since: nothing deleted or new twice.
    EXPECT_TRUE(c.Read(now).empty());
    now.push_back({"a", "1"});
    EXPECT_EQ(std::vector<RecordedEvent>{Ev(EVENT_NEW, "a", "1")}, c.Read(now));
}

TEST(Snapshot, LetterCaseEmptyNamesAndEmptyReadings) {
    Comparer c({{"Run", "C:\\app.exe"}, {"Other", "x"}});
    // A text that changes only in letter case is Changed; a name, New and Deleted.
    EXPECT_EQ(std::vector<RecordedEvent>{Ev(EVENT_CHANGED, "Run", "C:\\APP.exe")},
              c.Read({{"Run", "C:\\APP.exe"}, {"Other", "x"}}));
    EXPECT_EQ((std::vector<RecordedEvent>{Ev(EVENT_NEW, "RUN", "C:\\APP.exe"),
                                          Ev(EVENT_DELETED, "Run", "C:\\APP.exe")}),
              c.Read({{"RUN", "C:\\APP.exe"}, {"Other", "x"}}));
    // The empty name and the empty text are items like any other.
    EXPECT_EQ((std::vector<RecordedEvent>{Ev(EVENT_CHANGED, "Other", ""), Ev(EVENT_NEW, "", "default")}),
              c.Read({{"RUN", "C:\\APP.exe"}, {"Other", ""}, {"", "default"}}));
    // With the case-insensitive comparison a case-only change is no change.
    EXPECT_TRUE(c.Read({{"RUN", "c:\\app.EXE"}, {"Other", ""}, {"", "DEFAULT"}}, CompareNoCase).empty());
    // An emptied reading deletes everything, and a later one brings it back as New.
    EXPECT_EQ(3u, c.Read({}).size());
    EXPECT_EQ(0, c.current.GetCount());
    EXPECT_EQ(1u, c.Read({{"x", "1"}}).size());
}
