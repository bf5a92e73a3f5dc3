// Every event also goes to the Windows Application log, source "Kestrow", so that Event Viewer
// shows it and event forwarders collect it. The message table (res/Kestrow.mc) is built into
// the exe, which is also the source's EventMessageFile; the event's five texts are the
// insertion strings. Writing is best effort: Windows takes entries of a source not yet
// registered (Event Viewer then shows the bare texts), and without the rights or the event log
// service nothing is written; the list and the CSV log never depend on it.
#pragma once
#include "../framework/AfxHandle.h"
#include "EventRecord.h"

// The ids of res/Kestrow.mc, one per event kind; severity and facility 0, so Event Viewer
// shows them as they are.
enum : DWORD { MSG_EVENT_NEW = 1, MSG_EVENT_DELETED = 2, MSG_EVENT_CHANGED = 3 };

// The id of an event kind; 0, which the table does not hold, for any other kind (Event Viewer
// then still shows the texts).
DWORD EventLogId(int kind);

// The program's event source, opened once for the whole run: registering a source per event
// would cost a round trip to the event log service each time.
class CSystemEventLog {
public:
    // Opens the source unless the user's switch (HKCU\Software\Kestrow, EventLog) is a
    // REG_DWORD 0; nothing is written when it is, or when the event log will not take it.
    void Open();
    // One entry of the kind's id, information type. A failure is ignored: the list and the CSV
    // log hold the event whatever happens here.
    void Report(const EventRecord& rec) const;

private:
    CEventSourceHandle m_source;
};

// Registers the source under HKLM: EventMessageFile is this exe's path, TypesSupported the
// types it writes. Needs the right to write the machine's keys, as Auto Start does; returns
// the registry's error code.
LONG RegisterEventLogSource();
