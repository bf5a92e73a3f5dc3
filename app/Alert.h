// The alert that tells of new events: the tray icon blinks through four frames, 800 ms apart,
// with a beep on every second one, until the user acknowledges it. Silence mode, chosen in
// Options, holds back the sounds (the beep and the balloon's) for an hour. Window thread only.
#pragma once
#include "../framework/AfxWin.h"
#include "ClockSpeaker.h"
#include "TrayIcon.h"

class CAlert {
public:
    // `window` holds the alert's timer (IDT_ALERT) and its Acknowledge button; `clock` gives
    // the time and the beep.
    CAlert(CWnd& window, CTrayIcon& tray, IClockSpeaker& clock);

    // Starts the blinking, or restarts its period when it runs.
    void Start();
    // Acknowledge: the plain icon, no timer, the button off.
    void Stop();
    // IDT_ALERT: the next frame, and its beep unless quiet.
    void OnTick();

    // On: quiet for an hour from now. Off: the hour already begun still holds back the sounds.
    void SetSilenced(bool silenced);
    // The one rule for every sound of the alert, beep and balloon alike: quiet while silenced,
    // and until the hour of the last Silence is over (in whole seconds).
    bool IsQuiet() const;

private:
    CWnd& m_window;
    CTrayIcon& m_tray;
    IClockSpeaker& m_clock;
    bool m_alerting = false;
    int m_frame = 0; // 0..3, the frame shown
    bool m_silenced = false;
    SYSTEMTIME m_silenceUntil;
};
