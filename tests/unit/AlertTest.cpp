#include "app/Alert.h"
#include <gtest/gtest.h>

namespace {
SYSTEMTIME At(WORD h, WORD m, WORD s, WORD ms = 0) {
    return SYSTEMTIME{2026, 12, 0, 6, h, m, s, ms};
}
} // namespace

TEST(Alert, SilenceRule) {
    // Silence chosen at 10:00 lasts until 11:00, also once it is turned off.
    SYSTEMTIME until = AddSeconds(At(10, 0, 0), 3600);
    const struct {
        bool silenced;
        SYSTEMTIME now;
        bool beep;
    } cases[] = {
        {true, At(23, 0, 0), false}, // silence on: no beep, even long after the hour
        {false, At(10, 20, 0), false},     {false, At(10, 59, 59), false},
        {false, At(11, 0, 0, 999), false}, // equal in whole seconds does not count
        {false, At(11, 0, 1), true},
    };
    for (const auto& c : cases) {
        int frame = 1;
        EXPECT_EQ(c.beep, NextAlertTick(frame, c.silenced, c.now, until).beep)
            << c.now.wHour << ":" << c.now.wMinute;
        EXPECT_EQ(2, frame);
    }

    // The hour crosses midnight, the month's and the year's end.
    SYSTEMTIME late = At(23, 30, 0);
    late.wDay = 31;
    SYSTEMTIME next = AddSeconds(late, 3600);
    EXPECT_EQ((std::vector<int>{2027, 1, 1, 0, 30}),
              (std::vector<int>{next.wYear, next.wMonth, next.wDay, next.wHour, next.wMinute}));
}
