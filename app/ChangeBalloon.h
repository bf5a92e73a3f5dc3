// The tray balloon that tells of the events an alert starts for: the newest one, or for a burst
// how many there were and the first few. A balloon costs the shell milliseconds, so a burst
// shows one a second at most, with everything since the last one. Window thread only.
#pragma once
#include "../framework/AfxWin.h"
#include "Alert.h"
#include "EventRecord.h"
#include "TrayIcon.h"
#include <vector>

class CChangeBalloons {
public:
    // `window` holds the timer (IDT_BALLOON) of a balloon held back; `alert` says when to be quiet.
    CChangeBalloons(CWnd& window, CTrayIcon& tray, const CAlert& alert)
        : m_window(window), m_tray(tray), m_alert(alert) {}

    // `serial`: the event's row, for the balloon's click.
    void Add(const EventRecord& rec, long long serial = 0);
    // The newest row the last balloon shown told of.
    long long NewestShown() const { return m_newestShown; }
    // After a batch and at IDT_BALLOON: the balloon of the events added since the last one, once
    // that one is a second old; until then the timer waits.
    void Show();

private:
    CWnd& m_window;
    CTrayIcon& m_tray;
    const CAlert& m_alert;
    std::vector<EventRecord> m_first; // the first few since the last balloon
    size_t m_count = 0;               // how many since the last balloon
    DWORD m_lastShown = 0;            // tick count of the last balloon
    long long m_newest = 0, m_newestShown = 0;
};
