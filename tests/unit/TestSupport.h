// Shared helpers of the unit tests: a recording monitor host, a message-box recorder,
// scratch registry keys and temporary folders.
#pragma once
#include "framework/AfxString.h"
#include "framework/AfxWin.h"
#include "monitors/MonitorHost.h"
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct RecordedEvent {
    std::string category;
    int kind;
    std::string location;
    std::string details;
    std::string previous = {}; // not compared: only the tests of it look at it
    bool operator==(const RecordedEvent& o) const {
        return category == o.category && kind == o.kind && location == o.location && details == o.details;
    }
};
std::ostream& operator<<(std::ostream& os, const RecordedEvent& e);
using Events = std::vector<RecordedEvent>;

// The events at these locations only, in location order (stable): other programs of the
// prefix may change shared places, such as HKEY_CLASSES_ROOT, meanwhile.
Events OnlyAt(Events events, const std::vector<std::string>& locations);

// Waits up to `ms` for `done`; true when it came.
template <class F> bool WaitUntil(F done, DWORD ms) {
    for (DWORD start = ::GetTickCount(); !done(); ::Sleep(10))
        if (::GetTickCount() - start > ms)
            return false;
    return true;
}

// A monitor host that records every report and every monitor that became ready.
class CRecordingHost : public IMonitorHost {
public:
    explicit CRecordingHost(DWORD settleMs = 300);
    ~CRecordingHost();
    HANDLE GetStopEvent() const override { return m_stop; }
    DWORD GetSettleTime() const override { return m_settleMs; }
    void ReportEvent(const char* category, int kind, const char* location, const char* details,
                     const char* previous = nullptr) override;
    void OnMonitorReady(const char* monitor) override;
    void ReportError(const char* text) override;

    // Waits until at least n events (or n ready monitors) were recorded; false on time-out.
    bool WaitForEvents(size_t n, DWORD timeoutMs);
    bool WaitForReady(size_t n, DWORD timeoutMs);
    std::vector<RecordedEvent> Events();
    std::vector<std::string> Errors();
    void Clear();

    HANDLE m_stop;
    DWORD m_settleMs;

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<RecordedEvent> m_events;
    std::vector<std::string> m_errors;
    size_t m_ready = 0;
};

// Replaces message boxes by a recorder for the lifetime of the object.
class CMessageBoxRecorder {
public:
    CMessageBoxRecorder();
    ~CMessageBoxRecorder();
    std::vector<std::string> Texts();
};

// A fresh folder under %TEMP%, removed with its files afterwards; path ends with a backslash.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    std::string path;
};

// Registry helpers for the tests; paths are relative to the hive.
void RegSetString(HKEY hive, const std::string& path, const char* name, const std::string& data,
                  DWORD type = REG_SZ);
void RegSetBinary(HKEY hive, const std::string& path, const char* name, const void* data, DWORD size,
                  DWORD type);
// A REG_SZ value written through the UTF-16 functions, names and data given as UTF-8, in the
// given registry view (KEY_WOW64_32KEY for the 32-bit programs' view); the key is made when missing.
void RegSetWide(HKEY hive, const std::string& path, const std::string& name, const std::string& data,
                REGSAM view = 0);
void RegDeleteTreeIn(HKEY hive, const std::string& path, REGSAM view);
void RegDeleteValueAt(HKEY hive, const std::string& path, const char* name);
void RegDeleteTreeAt(HKEY hive, const std::string& path);
void RegCreateKeyAt(HKEY hive, const std::string& path);
bool RegKeyExists(HKEY hive, const std::string& path);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
