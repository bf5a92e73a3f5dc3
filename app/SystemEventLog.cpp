#include "SystemEventLog.h"
#include "Preferences.h"

const char* const kEventSourceName = "Kestrow";
const char* const kEventSourceKeyPath = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Kestrow";
const char* const kEventLogSwitchValue = "EventLog";

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

bool IsEventLogSwitchedOn() {
    return IsSwitchedOn(kEventLogSwitchValue);
}

bool CSystemEventLog::Open(const char* source) {
    m_source.Attach(::RegisterEventSourceA(nullptr, source));
    return static_cast<bool>(m_source);
}

void CSystemEventLog::Report(int kind, const EventRecord& rec) const {
    if (!m_source)
        return;
    // Converted from the code page by the A function, as the list and the log show them.
    const char* texts[] = {rec.date, rec.category, rec.event, rec.location, rec.details};
    ::ReportEventA(m_source.Get(), EVENTLOG_INFORMATION_TYPE, 0, EventLogId(kind), nullptr, 5, 0, texts,
                   nullptr);
}

void ReportToSystemLog(int kind, const EventRecord& rec) {
    // Opened once for the whole run: registering a source per event would cost a round trip
    // to the event log service each time.
    static CSystemEventLog log;
    static const bool opened = IsEventLogSwitchedOn() && log.Open();
    if (opened)
        log.Report(kind, rec);
}

LONG RegisterEventLogSource() {
    // The UTF-16 path, so that a folder name outside the code page still names this exe.
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return n == 0 ? static_cast<LONG>(::GetLastError()) : ERROR_INSUFFICIENT_BUFFER;
    HKEY created = nullptr;
    LONG error = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, &created, nullptr);
    CKeyHandle key(created);
    if (error != ERROR_SUCCESS)
        return error;
    error = ::RegSetValueExW(key.Get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(path), (n + 1) * sizeof(wchar_t));
    DWORD types = EVENTLOG_INFORMATION_TYPE;
    if (error == ERROR_SUCCESS)
        error = ::RegSetValueExA(key.Get(), "TypesSupported", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&types), sizeof types);
    return error;
}
