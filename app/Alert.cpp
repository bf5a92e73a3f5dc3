#include "Alert.h"
#include "../res/resource.h"

static const UINT s_alertFrames[4] = {IDR_MAINFRAME, IDI_ALERT1, IDI_ALERT2, IDI_ALERT3};

ULONGLONG WholeSeconds(const SYSTEMTIME& t) {
    FILETIME ft;
    if (!::SystemTimeToFileTime(&t, &ft))
        return 0;
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return u.QuadPart / 10000000ULL;
}

SYSTEMTIME AddSeconds(const SYSTEMTIME& t, ULONGLONG seconds) {
    FILETIME ft;
    SYSTEMTIME out = t;
    if (!::SystemTimeToFileTime(&t, &ft))
        return out;
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    u.QuadPart += seconds * 10000000ULL;
    ft.dwLowDateTime = u.LowPart;
    ft.dwHighDateTime = u.HighPart;
    ::FileTimeToSystemTime(&ft, &out);
    return out;
}

bool AlertIsQuiet(bool silenced, const SYSTEMTIME& now, const SYSTEMTIME& silenceUntil) {
    return silenced || WholeSeconds(now) <= WholeSeconds(silenceUntil);
}

AlertTick NextAlertTick(int& frame, bool silenced, const SYSTEMTIME& now, const SYSTEMTIME& silenceUntil) {
    frame = (frame + 1) % 4;
    return {s_alertFrames[frame], frame % 2 == 0 && !AlertIsQuiet(silenced, now, silenceUntil)};
}
