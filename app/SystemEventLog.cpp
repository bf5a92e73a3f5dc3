#include "SystemEventLog.h"
#include "../framework/AfxRegistry.h"
#include "Preferences.h"

namespace {
const char* const kEventSourceName = "Kestrow";
const char* const kEventSourceKeyPath = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Kestrow";
const char* const kEventLogSwitch = "EventLog";
} // namespace

DWORD EventLogId(int kind) {
    switch (kind) {
    case EVENT_NEW:
        return MSG_EVENT_NEW;
    case EVENT_DELETED:
        return MSG_EVENT_DELETED;
    case EVENT_CHANGED:
        return MSG_EVENT_CHANGED;
    }
    return 0;
}

void CSystemEventLog::Open() {
    if (IsSwitchedOn(kEventLogSwitch))
        m_source.Attach(::RegisterEventSourceA(nullptr, kEventSourceName));
}

void CSystemEventLog::Report(const EventRecord& rec) const {
    if (!m_source)
        return;
    // Converted from the code page by the A function, as the list and the log show them.
    const char* texts[] = {rec.date, rec.category, rec.event, rec.location, rec.details};
    ::ReportEventA(m_source.Get(), EVENTLOG_INFORMATION_TYPE, 0, EventLogId(rec.kind), nullptr, 5, 0, texts,
                   nullptr);
}

LONG RegisterEventLogSource() {
    // The UTF-16 path, so that a folder name outside the code page still names this exe.
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return n == 0 ? static_cast<LONG>(::GetLastError()) : ERROR_INSUFFICIENT_BUFFER;
    CRegistryKey key;
    LONG error = key.Create(HKEY_LOCAL_MACHINE, kEventSourceKeyPath, KEY_SET_VALUE);
    if (error == ERROR_SUCCESS)
        error = key.WriteValue("EventMessageFile", REG_EXPAND_SZ, path, (n + 1) * sizeof(wchar_t));
    if (error == ERROR_SUCCESS)
        error = key.WriteNumber("TypesSupported", EVENTLOG_INFORMATION_TYPE);
    return error;
}
