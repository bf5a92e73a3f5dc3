// What a monitor thread may use of the main window: the stop event, the settle time, the
// report of an event or of an error, and readiness. The
// window implements it; tests give a monitor a recording host.
#pragma once
#include <windows.h>

#include "Event.h"

class IMonitorHost {
public:
    virtual HANDLE GetStopEvent() const = 0;
    // Pause after a change signal, so that a burst of writes becomes one comparison.
    virtual DWORD GetSettleTime() const = 0;
    // One change; may be called from any thread, returns when the event is recorded. A Changed
    // event also gives the details it replaced (shown, never logged). False when the event was
    // not recorded (the program is closing): the snapshot must not count it as seen.
    virtual bool ReportEvent(const char* category, int kind, const char* location, const char* details,
                             const char* previous = nullptr) = 0;
    // A monitor cannot do part of its work (a place cannot be watched, a wait failed): the
    // text is for the user. Called on the monitor's thread; the host decides how to show it.
    virtual void ReportError(const char* text) = 0;
    // A monitor has taken its first snapshot and is watching (tests and start-up figures wait on it).
    virtual void OnMonitorReady(const char* monitor) = 0;

protected:
    ~IMonitorHost() = default;
};

// The stop protocol: six rounds of two signals, `roundMs` apart. On an auto-reset event each
// signal releases one waiting monitor; the monitor set's own event is manual-reset.
void SignalStop(HANDLE stopEvent, DWORD roundMs = 500);
