// What a monitor thread may use of the main window: the stop event, the settle time and the
// report operations. The window implements it; tests give a monitor a recording host.
#pragma once
#include <windows.h>

enum EventKind { EVENT_NEW = 0, EVENT_DELETED = 1, EVENT_CHANGED = 2 };

// Category texts, one per monitor.
#define CATEGORY_AUTORUN "Auto Run"
#define CATEGORY_SERVICE "Service"
#define CATEGORY_INSTALLS "Installs"
#define CATEGORY_AUTOSTART "Auto Start"
#define CATEGORY_COM "ActiveX COM"
#define CATEGORY_WINLOGON "WinLogon"
#define CATEGORY_TASKS "Task Scheduler"
#define CATEGORY_SHARES "Share Resource"
#define CATEGORY_FILEASSOC "File Associations"

struct AutoRunKey;

class IMonitorHost {
public:
    virtual HANDLE GetStopEvent() const = 0;
    // Pause after a change signal, so that a burst of writes becomes one comparison.
    virtual DWORD GetSettleTime() const = 0;
    // One change; may be called from any thread, returns when the event is recorded.
    virtual void ReportEvent(const char* category, int kind, const char* location, const char* details) = 0;
    // A monitor has taken its first snapshot and is watching (tests and start-up figures wait on it).
    virtual void OnMonitorReady(const char* /*monitor*/) {}

    // Location "HIVE/path" of the key row, details "name=data".
    void ReportAutoRunEvent(const AutoRunKey* key, int kind, const char* valueName, const char* valueData);
    void ReportServiceEvent(int kind, const char* location, const char* details) {
        ReportEvent(CATEGORY_SERVICE, kind, location, details);
    }
    void ReportInstallEvent(int kind, const char* location, const char* details) {
        ReportEvent(CATEGORY_INSTALLS, kind, location, details);
    }
    void ReportStartupEvent(int kind, const char* location, const char* details) {
        ReportEvent(CATEGORY_AUTOSTART, kind, location, details);
    }
    void ReportCOMEvent(int kind, const char* location, const char* details) {
        ReportEvent(CATEGORY_COM, kind, location, details);
    }
    void ReportWinlogonEvent(int kind, const char* location, const char* details) {
        ReportEvent(CATEGORY_WINLOGON, kind, location, details);
    }
    void ReportShareEvent(int kind, const char* location, const char* details) {
        ReportEvent(CATEGORY_SHARES, kind, location, details);
    }
    void ReportFileAssociationEvent(int kind, const char* location, const char* details) {
        ReportEvent(CATEGORY_FILEASSOC, kind, location, details);
    }

protected:
    ~IMonitorHost() = default;
};

// Through this the scheduled-task monitor reports; the main window files it as "Task Scheduler".
class ITaskEventSink {
public:
    virtual void OnTaskEvent(int /*kind*/, const char* /*location*/, const char* /*details*/) {}

protected:
    ~ITaskEventSink() = default;
};

// The stop protocol: six rounds of two signals, `roundMs` apart. The event is auto-reset, so
// each signal releases one waiting monitor; twelve cover every monitor that waits on it.
void SignalStop(HANDLE stopEvent, DWORD roundMs = 500);
