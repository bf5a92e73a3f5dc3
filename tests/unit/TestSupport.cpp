#include "TestSupport.h"
#include "app/AppMessageBox.h"
#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>

std::ostream& operator<<(std::ostream& os, const RecordedEvent& e) {
    return os << "{" << e.category << ", " << e.kind << ", " << e.location << ", " << e.details << "}";
}

CRecordingHost::CRecordingHost(DWORD settleMs)
    : m_stop(::CreateEventA(nullptr, FALSE, FALSE, nullptr)), m_settleMs(settleMs) {}

CRecordingHost::~CRecordingHost() {
    ::CloseHandle(m_stop);
}

void CRecordingHost::ReportEvent(const char* category, int kind, const char* location, const char* details,
                                 const char* previous) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back({category, kind, location, details, previous ? previous : ""});
    m_cv.notify_all();
}

void CRecordingHost::OnMonitorReady(const char*) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_ready;
    m_cv.notify_all();
}

bool CRecordingHost::WaitForEvents(size_t n, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_events.size() >= n; });
}

bool CRecordingHost::WaitForReady(size_t n, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_ready >= n; });
}

Events OnlyAt(Events events, const std::vector<std::string>& locations) {
    events.erase(std::remove_if(events.begin(), events.end(),
                                [&](const RecordedEvent& e) {
                                    return std::find(locations.begin(), locations.end(), e.location) ==
                                           locations.end();
                                }),
                 events.end());
    std::stable_sort(events.begin(), events.end(),
                     [](const RecordedEvent& a, const RecordedEvent& b) { return a.location < b.location; });
    return events;
}

void CRecordingHost::ReportError(const char* text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_errors.push_back(text);
}

std::vector<std::string> CRecordingHost::Errors() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors;
}

std::vector<RecordedEvent> CRecordingHost::Events() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

void CRecordingHost::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.clear();
}

namespace {
std::mutex s_boxMutex;
std::vector<std::string> s_boxTexts;
int RecordBox(const char* text, UINT) {
    std::lock_guard<std::mutex> lock(s_boxMutex);
    s_boxTexts.push_back(text);
    return IDOK;
}
} // namespace

CMessageBoxRecorder::CMessageBoxRecorder() {
    std::lock_guard<std::mutex> lock(s_boxMutex);
    s_boxTexts.clear();
    SetAppMessageBoxSink(RecordBox);
}

CMessageBoxRecorder::~CMessageBoxRecorder() {
    SetAppMessageBoxSink(nullptr);
}

std::vector<std::string> CMessageBoxRecorder::Texts() {
    std::lock_guard<std::mutex> lock(s_boxMutex);
    return s_boxTexts;
}

CTempDir::CTempDir() {
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    static int counter;
    do
        path = base +
               ("kestrow-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter));
    while (!::CreateDirectoryA(path.c_str(), nullptr));
    path += "\\";
}

CTempDir::~CTempDir() {
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((path + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do
            ::DeleteFileA((path + fd.cFileName).c_str());
        while (::FindNextFileA(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryA(path.c_str());
}

// The key is made when missing.
void RegSetBinary(HKEY hive, const std::string& path, const char* name, const void* data, DWORD size,
                  DWORD type) {
    ::RegSetKeyValueA(hive, path.c_str(), name, type, data, size);
}

void RegSetString(HKEY hive, const std::string& path, const char* name, const std::string& data, DWORD type) {
    RegSetBinary(hive, path, name, data.c_str(), static_cast<DWORD>(data.size() + 1), type);
}

void RegSetWide(HKEY hive, const std::string& path, const std::string& name, const std::string& data,
                REGSAM view) {
    HKEY key;
    if (::RegCreateKeyExW(hive, Utf8ToWide(path).c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return;
    std::wstring wide = Utf8ToWide(data);
    ::RegSetValueExW(key, Utf8ToWide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                     static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void RegDeleteTreeIn(HKEY hive, const std::string& path, REGSAM view) {
    HKEY key;
    if (::RegOpenKeyExW(hive, Utf8ToWide(path).c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteTreeW(key, nullptr);
    ::RegCloseKey(key);
    ::RegDeleteKeyExW(hive, Utf8ToWide(path).c_str(), view, 0);
}

void RegDeleteValueAt(HKEY hive, const std::string& path, const char* name) {
    ::RegDeleteKeyValueA(hive, path.c_str(), name);
}

void RegDeleteTreeAt(HKEY hive, const std::string& path) {
    ::RegDeleteTreeA(hive, path.c_str());
}

void RegCreateKeyAt(HKEY hive, const std::string& path) {
    HKEY key;
    if (::RegCreateKeyA(hive, path.c_str(), &key) == ERROR_SUCCESS)
        ::RegCloseKey(key);
}

bool RegKeyExists(HKEY hive, const std::string& path) {
    HKEY key;
    if (::RegOpenKeyA(hive, path.c_str(), &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
