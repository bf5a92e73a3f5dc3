// The alert's tick rule, without windows or clocks, so that it can be checked tick by tick.
#pragma once
#include <windows.h>

struct AlertTick {
    UINT icon; // tray icon resource for this frame
    bool beep;
};

// Advances `frame` (0..3) and says what the tick shows and whether it beeps: only on even
// frames, only while not silenced and only when `now` is past `silenceUntil` in whole seconds.
AlertTick NextAlertTick(int& frame, bool silenced, const SYSTEMTIME& now, const SYSTEMTIME& silenceUntil);

// Whole seconds since 1601 of a local calendar time (milliseconds dropped).
ULONGLONG WholeSeconds(const SYSTEMTIME& t);
// t plus the given seconds.
SYSTEMTIME AddSeconds(const SYSTEMTIME& t, ULONGLONG seconds);
