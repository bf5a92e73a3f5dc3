#include "EventLogFile.h"
#include "../framework/AfxFileFind.h"
#include "../framework/AfxHandle.h"
#include <cstring>
#include <shlobj.h>

namespace {
// An optional sign, digits with at most one decimal point, nothing else.
bool IsPlainNumber(const char* p) {
    if (*p == '-' || *p == '+')
        ++p;
    bool digit = false, point = false;
    for (; *p; ++p) {
        if (*p >= '0' && *p <= '9')
            digit = true;
        else if (*p == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

bool StartsFormula(const char* text) {
    return std::strchr("=+-@\t\r", text[0]) && text[0] && !IsPlainNumber(text);
}
} // namespace

std::string CsvField(const char* text) {
    std::string field = "\"";
    if (StartsFormula(text))
        field += '\'';
    for (const char* p = text; *p; ++p) {
        if (*p == '"')
            field += '"';
        field += *p;
    }
    return field + '"';
}

std::string FormatCsvLine(const EventRecord& rec) {
    std::string line;
    line.reserve(64 + std::strlen(rec.location) + std::strlen(rec.details));
    const char* fields[] = {rec.date, rec.category, rec.event, rec.location, rec.details};
    for (int i = 0; i < 5; ++i) {
        if (i)
            line += ',';
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

CEventLogFile::CEventLogFile(const std::string& folder, const std::string& fallbackFolder)
    : m_folder(folder), m_fallback(fallbackFolder) {}

std::string CEventLogFile::LocalAppDataFolder() {
    char base[MAX_PATH] = "";
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)))
        return "";
    return std::string(base) + "\\Kestrow\\";
}

const std::string& CEventLogFile::GetPath() {
    if (m_path.empty())
        ChooseFolder();
    return m_path;
}

void CEventLogFile::ChooseFolder() {
    m_path = m_folder + "Kestrow.csv";
    // Tried without leaving a file behind: an existing log is opened as it is, a new one made
    // and at once deleted. A log held by another program is no reason to move.
    DWORD attributes = ::GetFileAttributesA(m_path.c_str());
    bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    CHandle probe(::CreateFileA(m_path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                exists ? OPEN_EXISTING : CREATE_NEW,
                                exists ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    DWORD error = probe ? ERROR_SUCCESS : ::GetLastError();
    bool cannotTake = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
                      error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
                      error == ERROR_DIRECTORY || (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    if (!cannotTake || m_fallback.empty())
        return;
    ::CreateDirectoryA(m_fallback.c_str(), nullptr);
    m_path = m_fallback + "Kestrow.csv";
    m_notices.push_back("Kestrow cannot write its log next to the program; the log is " + m_path);
}

void CEventLogFile::Queue(std::string line) {
    if (m_lines.size() >= kMaxWaiting)
        ++m_dropped;
    else
        m_lines.push_back(std::move(line));
}

bool CEventLogFile::Flush() {
    if (m_lines.empty())
        return true;
    CHandle file(::CreateFileA(GetPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    // Every writer of the log locks from the end on before it appends, so two processes (a
    // second Kestrow, say) never interleave their lines. A lock held elsewhere for longer
    // than a moment leaves the lines to the retry.
    LARGE_INTEGER size{};
    ::GetFileSizeEx(file.Get(), &size);
    OVERLAPPED at{};
    at.Offset = size.LowPart;
    at.OffsetHigh = static_cast<DWORD>(size.HighPart);
    const DWORD kLengthHigh = 0x40000000; // 2^62 bytes: any two such ranges overlap
    bool locked = false;
    for (int tries = 0; tries < 50 && !locked; ++tries) {
        locked = ::LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 0,
                              kLengthHigh, &at);
        if (!locked)
            ::Sleep(2);
    }
    if (!locked)
        return false;
    std::string batch;
    for (const std::string& line : m_lines)
        batch += line;
    LARGE_INTEGER zero{}, end{};
    DWORD written = 0;
    bool ok = ::SetFilePointerEx(file.Get(), zero, &end, FILE_END) &&
              ::WriteFile(file.Get(), batch.data(), static_cast<DWORD>(batch.size()), &written, nullptr) &&
              written == batch.size();
    if (!ok) {
        // Take back a partly written batch (a full disk), so the file holds whole lines only.
        ::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file.Get());
    }
    ::UnlockFileEx(file.Get(), 0, 0, kLengthHigh, &at);
    if (!ok)
        return false;
    m_lines.clear();
    if (m_dropped) {
        m_notices.push_back(std::to_string(m_dropped) +
                            " events were not logged while another program held " + m_path);
        m_dropped = 0;
    }
    return true;
}

bool CEventLogFile::KeepWaiting() {
    std::string batch;
    for (const std::string& line : m_lines)
        batch += line;
    CHandle file(::CreateFileA((GetPath() + ".waiting").c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           ::WriteFile(file.Get(), batch.data(), static_cast<DWORD>(batch.size()), &written, nullptr) &&
           written == batch.size();
}

void CEventLogFile::TakeKept() {
    std::string kept = GetPath() + ".waiting";
    std::string lines;
    bool missing = false;
    if (!ReadWholeFile(kept, lines, missing))
        return;
    // Whole lines, in their order, written by the first flush; kept again if this run ends first.
    if (!lines.empty())
        m_lines.push_front(std::move(lines));
    ::DeleteFileA(kept.c_str());
}

std::vector<std::string> CEventLogFile::TakeNotices() {
    GetPath();
    std::vector<std::string> notices;
    notices.swap(m_notices);
    return notices;
}
