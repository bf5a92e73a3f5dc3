#include "app/Alert.h"
#include "res/resource.h"
#include <gtest/gtest.h>
#include <vector>

namespace {
SYSTEMTIME At(WORD h, WORD m, WORD s, WORD ms = 0) {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 6;
    t.wHour = h;
    t.wMinute = m;
    t.wSecond = s;
    t.wMilliseconds = ms;
    return t;
}
} // namespace

TEST(Alert, FramesCycleAndOnlyEvenTicksBeep) {
    int frame = 0;
    SYSTEMTIME started = At(9, 0, 0);
    std::vector<UINT> icons;
    std::vector<bool> beeps;
    for (int i = 0; i < 8; ++i) {
        AlertTick t = NextAlertTick(frame, false, At(9, 0, 1), started);
        icons.push_back(t.icon);
        beeps.push_back(t.beep);
    }
    EXPECT_EQ((std::vector<UINT>{IDI_ALERT1, IDI_ALERT2, IDI_ALERT3, IDR_MAINFRAME, IDI_ALERT1, IDI_ALERT2,
                                 IDI_ALERT3, IDR_MAINFRAME}),
              icons);
    EXPECT_EQ((std::vector<bool>{false, true, false, true, false, true, false, true}), beeps);

    // A new alert goes on from the frame where the last one stopped.
    frame = 2;
    EXPECT_EQ(static_cast<UINT>(IDI_ALERT3), NextAlertTick(frame, false, At(9, 0, 1), started).icon);
}

TEST(Alert, SilenceRule) {
    // Silence on: no beep at all, even long after the hour.
    int frame = 1;
    EXPECT_FALSE(NextAlertTick(frame, true, At(23, 0, 0), At(10, 0, 0)).beep);
    EXPECT_EQ(2, frame);

    // Silence chosen at 10:00 (until 11:00) and turned off at 10:20: no beep before 11:00.
    SYSTEMTIME until = AddSeconds(At(10, 0, 0), 3600);
    EXPECT_EQ(11, until.wHour);
    frame = 1;
    EXPECT_FALSE(NextAlertTick(frame, false, At(10, 20, 0), until).beep);
    frame = 1;
    EXPECT_FALSE(NextAlertTick(frame, false, At(10, 59, 59), until).beep);
    // Equal in whole seconds does not count, whatever the milliseconds.
    frame = 1;
    EXPECT_FALSE(NextAlertTick(frame, false, At(11, 0, 0, 999), until).beep);
    frame = 1;
    EXPECT_TRUE(NextAlertTick(frame, false, At(11, 0, 1), until).beep);

    // The hour crosses midnight and month ends correctly.
    SYSTEMTIME late = At(23, 30, 0);
    late.wDay = 31;
    SYSTEMTIME next = AddSeconds(late, 3600);
    EXPECT_EQ(1, next.wDay);
    EXPECT_EQ(0, next.wHour);
    EXPECT_EQ(2027, next.wYear);
}
