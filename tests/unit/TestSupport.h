// Shared helpers of the unit tests: a recording monitor host, scratch registry keys, temporary
// folders and a held file.
#pragma once
#include "framework/AfxHandle.h"
#include "framework/AfxString.h"
#include "framework/AfxWin.h"
#include "monitors/engine/MonitorHost.h"
#include "framework/AfxRegistry.h"
#include "monitors/places/Places.h"
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

struct RecordedEvent {
    std::string category;
    int kind;
    std::string location;
    std::string details;
    std::string previous; // of a Changed event: the details it replaced
    // As tests compare it: "N|location|details", N, D or C for its kind.
    std::string Text() const { return "NDC"[kind] + ("|" + location + "|" + details); }
};
using Texts = std::vector<std::string>;

// The texts of the events of a test's own places (those with "KT" in them), sorted.
inline Texts Ours(const std::vector<RecordedEvent>& events) {
    Texts ours;
    for (const RecordedEvent& e : events)
        if (e.Text().find("KT") != std::string::npos)
            ours.push_back(e.Text());
    return std::sort(ours.begin(), ours.end()), ours;
}

// A crash must fail the test, not open a debugger dialog.
inline const UINT g_errorMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);

// Waits up to `ms` for `done`; true when it came.
template <class F> bool WaitUntil(F done, DWORD ms) {
    for (DWORD start = ::GetTickCount(); !done(); ::Sleep(10))
        if (::GetTickCount() - start > ms)
            return false;
    return true;
}

// A monitor host that records every report, with a short settle. Its hooks run on the monitor's
// thread: m_onSettle as a settle begins (the place is re-armed by then), m_onEvent as an event is
// reported (the place is being read).
class CRecordingHost : public IMonitorHost {
public:
    // Asked by the watch loop each time round, just before it waits.
    HANDLE GetStopEvent() const override { return ++m_rounds, m_stop.Get(); }
    DWORD GetSettleTime() const override { return m_onSettle ? (m_onSettle(), m_settleMs) : m_settleMs; }
    bool ReportEvent(const char* category, int kind, const char* location, const char* details,
                     const char* previous = nullptr) override {
        if (m_refuse)
            return false; // as the window once it is closing
        m_reportRound = m_rounds.load();
        RecordedEvent event{category, kind, location, details, previous ? previous : ""};
        if (m_onEvent)
            m_onEvent(event);
        Lock(), m_events.push_back(event);
        return true;
    }
    void ReportError(const char* text) override { Lock(), m_errors.push_back(text); }
    void OnMonitorReady(const char*) override { ++m_ready; }
    std::vector<RecordedEvent> Events() { return Lock(), m_events; }
    std::vector<std::string> Errors() { return Lock(), m_errors; }
    void Clear() { Lock(), m_events.clear(); }

    CHandle m_stop = MakeEvent();
    DWORD m_settleMs = 50;
    std::atomic<int> m_ready{0};
    std::atomic<bool> m_refuse{false};
    mutable std::atomic<int> m_rounds{0};
    std::atomic<int> m_reportRound{0}; // m_rounds at the last report
    std::function<void()> m_onSettle;
    std::function<void(const RecordedEvent&)> m_onEvent;

private:
    // Holds the lock to the end of the statement it is in.
    std::lock_guard<std::mutex> Lock() { return std::lock_guard<std::mutex>(m_mutex); }
    std::mutex m_mutex;
    std::vector<RecordedEvent> m_events;
    std::vector<std::string> m_errors;
};

// A fresh folder under %TEMP%, removed with everything in it afterwards; path ends with a backslash.
struct CTempDir {
    CTempDir() { ::CreateDirectoryA(path.c_str(), nullptr); }
    ~CTempDir() { std::filesystem::remove_all(path, m_error); }
    static inline std::atomic<int> s_count;
    std::string path = std::filesystem::temp_directory_path().string() + "kestrow-test-" +
                       std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++s_count) + "\\";
    std::error_code m_error;
};

// Writes "HKLM|HKCU|HKCR\path|value name|data" through the UTF-16 functions, names and texts as
// UTF-8: REG_SZ, or after "bin:" REG_BINARY and after "dw:" REG_DWORD, the bytes given; the key is
// made when missing. With `wipe`, deletes what they wrote instead: the first key on the path
// with "KT" in its name, or else the value.
inline void RegPutAll(const std::vector<std::string>& writes, bool wipe = false) {
    for (const std::string& w : writes) {
        HKEY hive = w[3] == 'M' ? HKEY_LOCAL_MACHINE : w[3] == 'U' ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
        size_t bar = w.find('|'), bar2 = w.rfind('|'), kt = w.find("KT", 5);
        std::string path = w.substr(5, bar - 5), name = w.substr(bar + 1, bar2 - bar - 1),
                    data = w.substr(bar2 + 1);
        std::wstring text = Utf8ToWide(data + '\0');
        DWORD type = data.rfind("bin:", 0) ? data.rfind("dw:", 0) ? REG_SZ : REG_DWORD : REG_BINARY;
        data = type == REG_SZ ? std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2)
                              : data.substr(data.find(':') + 1);
        if (CRegistryKey key; !wipe && key.Create(hive, path, KEY_WRITE) == ERROR_SUCCESS)
            ::RegSetValueExW(key.Get(), Utf8ToWide(name).c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
        else if (wipe)
            kt < bar ? ::RegDeleteTreeW(hive, Utf8ToWide(w.substr(5, w.find_first_of("\\|", kt) - 5)).c_str())
                     : ::RegDeleteKeyValueW(hive, Utf8ToWide(path).c_str(), Utf8ToWide(name).c_str());
    }
}

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
// Another program holding a file open without sharing, as an editor or a backup tool may hold
// the log: nobody else can open it until the handle is closed.
inline CHandle HoldFile(const std::string& path) {
    return CHandle(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
}

// The user's Run key, as its watch is set: tests point it elsewhere.
inline RegistryWatchSettings UserRunKey() {
    for (RegistryWatchSettings& key : RegistryPlacesOf(CATEGORY_AUTORUN))
        if (key.hive == HKEY_CURRENT_USER)
            return key;
    return {};
}
