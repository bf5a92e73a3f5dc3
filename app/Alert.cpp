#include "Alert.h"
#include "../res/resource.h"
#include "Messages.h"

namespace {
const UINT kFrames[4] = {IDR_MAINFRAME, IDI_ALERT1, IDI_ALERT2, IDI_ALERT3};

// Whole seconds since 1601 of a local calendar time (milliseconds dropped).
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
} // namespace

CAlert::CAlert(CWnd& window, CTrayIcon& tray, IClockSpeaker& clock)
    : m_window(window), m_tray(tray), m_clock(clock), m_silenceUntil(clock.Now()) {}

void CAlert::Start() {
    // Setting the timer again under its id restarts the period; the button is enabled once,
    // when the alert begins.
    m_window.SetTimer(IDT_ALERT, 800);
    if (!m_alerting)
        m_window.EnableDlgItem(IDC_ACKNOWLEDGE, TRUE);
    m_alerting = true;
}

void CAlert::Stop() {
    m_window.KillTimer(IDT_ALERT);
    m_alerting = false;
    m_tray.ShowFrame(IDR_MAINFRAME);
    m_window.EnableDlgItem(IDC_ACKNOWLEDGE, FALSE);
}

void CAlert::OnTick() {
    if (!m_alerting)
        return; // a tick already queued when the alert was acknowledged
    m_frame = (m_frame + 1) % 4;
    m_tray.ShowFrame(kFrames[m_frame]);
    if (m_frame % 2 == 0 && !IsQuiet())
        m_clock.Beep();
}

void CAlert::SetSilenced(bool silenced) {
    if (silenced)
        m_silenceUntil = AddSeconds(m_clock.Now(), 3600);
    m_silenced = silenced;
}

bool CAlert::IsQuiet() const {
    return m_silenced || WholeSeconds(m_clock.Now()) <= WholeSeconds(m_silenceUntil);
}
