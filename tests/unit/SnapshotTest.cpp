#include "TestSupport.h"
#include "monitors/Snapshot.h"
#include <gtest/gtest.h>

namespace {
struct Comparer {
    CMapStringToString current, unseen;
    std::vector<RecordedEvent> events;

    void First(const std::vector<std::pair<std::string, std::string>>& items) {
        for (const auto& i : items)
            current.SetAt(i.first, i.second);
        CopySnapshot(current, unseen);
    }
    std::vector<RecordedEvent> Read(const std::vector<std::pair<std::string, std::string>>& items,
                                    TextCompare compare = CompareExact) {
        events.clear();
        CSnapshotComparison c(
            current, unseen,
            [this](int kind, const std::string& n, const std::string& t) { events.push_back({"", kind, n, t}); },
            compare);
        for (const auto& i : items)
            c.Item(i.first, i.second);
        c.Finish();
        return events;
    }
};
} // namespace

TEST(Snapshot, NewChangedInReadingOrderThenEveryDeleted) {
    Comparer c;
    c.First({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}});
    auto ev = c.Read({{"z", "new"}, {"b", "2"}, {"c", "three"}, {"y", "other"}});
    ASSERT_EQ(5u, ev.size());
    EXPECT_EQ((RecordedEvent{"", EVENT_NEW, "z", "new"}), ev[0]);
    EXPECT_EQ((RecordedEvent{"", EVENT_CHANGED, "c", "three"}), ev[1]);
    EXPECT_EQ((RecordedEvent{"", EVENT_NEW, "y", "other"}), ev[2]);
    // Deleted last, with the text last seen, in any order.
    std::vector<RecordedEvent> deleted(ev.begin() + 3, ev.end());
    std::sort(deleted.begin(), deleted.end(), [](auto& x, auto& y) { return x.location < y.location; });
    EXPECT_EQ((RecordedEvent{"", EVENT_DELETED, "a", "1"}), deleted[0]);
    EXPECT_EQ((RecordedEvent{"", EVENT_DELETED, "d", "4"}), deleted[1]);

    // The next reading reports only what changed since: nothing deleted twice, nothing new twice.
    EXPECT_TRUE(c.Read({{"z", "new"}, {"b", "2"}, {"c", "three"}, {"y", "other"}}).empty());
    ev = c.Read({{"z", "new"}, {"b", "2"}, {"c", "three"}, {"y", "other"}, {"a", "1"}});
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ((RecordedEvent{"", EVENT_NEW, "a", "1"}), ev[0]);
}

TEST(Snapshot, LetterCaseAndExactness) {
    Comparer c;
    c.First({{"Run", "C:\\app.exe"}, {"Other", "x"}});
    // A text that changes only in letter case is Changed.
    auto ev = c.Read({{"Run", "C:\\APP.exe"}, {"Other", "x"}});
    ASSERT_EQ(1u, ev.size());
    EXPECT_EQ((RecordedEvent{"", EVENT_CHANGED, "Run", "C:\\APP.exe"}), ev[0]);

    // A name that changes only in letter case is New under the new spelling and Deleted under the old.
    ev = c.Read({{"RUN", "C:\\APP.exe"}, {"Other", "x"}});
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ((RecordedEvent{"", EVENT_NEW, "RUN", "C:\\APP.exe"}), ev[0]);
    EXPECT_EQ((RecordedEvent{"", EVENT_DELETED, "Run", "C:\\APP.exe"}), ev[1]);

    // The empty name and the empty text are items like any other.
    ev = c.Read({{"RUN", "C:\\APP.exe"}, {"Other", ""}, {"", "default"}});
    ASSERT_EQ(2u, ev.size());
    EXPECT_EQ((RecordedEvent{"", EVENT_CHANGED, "Other", ""}), ev[0]);
    EXPECT_EQ((RecordedEvent{"", EVENT_NEW, "", "default"}), ev[1]);

    // With the case-insensitive comparison a case-only change is no change.
    EXPECT_TRUE(c.Read({{"RUN", "c:\\app.EXE"}, {"Other", ""}, {"", "DEFAULT"}}, CompareNoCase).empty());
    // An emptied reading deletes everything, and a later one brings it back as New.
    EXPECT_EQ(3u, c.Read({}).size());
    EXPECT_EQ(0, c.current.GetCount());
    EXPECT_EQ(1u, c.Read({{"x", "1"}}).size());
}
