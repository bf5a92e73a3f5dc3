// The alert's tick rule, without windows or clocks, so that it can be checked tick by tick.
#pragma once
#include <windows.h>

struct AlertTick {
    UINT icon; // tray icon resource for this frame
    bool beep;
};

// The one rule for every sound of the alert, beep and balloon alike: quiet while silenced, and
// until `now` is past `silenceUntil` in whole seconds (the hour begun when Silence was chosen
// still holds after Silence is turned off).
bool AlertIsQuiet(bool silenced, const SYSTEMTIME& now, const SYSTEMTIME& silenceUntil);

// Advances `frame` (0..3) and says what the tick shows and whether it beeps: only on even
// frames, and only when the alert is not quiet.
AlertTick NextAlertTick(int& frame, bool silenced, const SYSTEMTIME& now, const SYSTEMTIME& silenceUntil);

// Whole seconds since 1601 of a local calendar time (milliseconds dropped).
ULONGLONG WholeSeconds(const SYSTEMTIME& t);
// t plus the given seconds.
SYSTEMTIME AddSeconds(const SYSTEMTIME& t, ULONGLONG seconds);
