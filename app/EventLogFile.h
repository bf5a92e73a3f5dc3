// The CSV log "Kestrow.csv". Lines are only ever appended; the file is opened and closed for
// every batch of lines.
#pragma once
#include "EventRecord.h"
#include <deque>
#include <string>
#include <vector>
#include <windows.h>

// One field in double quotes, a quote inside doubled, so that no text can end its field early
// or forge a line. A spreadsheet runs a field starting with = + - @ (or a tab or CR) as a
// formula: such a field gets a leading ' unless it is a plain number such as -1.
std::string CsvField(const char* text);
// The record's first five fields (the previous details stay out of the log) with CR LF.
std::string FormatCsvLine(const EventRecord& rec);

class CEventLogFile {
public:
    // Lines waiting for a log held by another program; later ones are dropped, and counted.
    static constexpr size_t kMaxWaiting = 10000;

    // "Kestrow.csv" in `folder` (ending with a backslash; "" is the current folder) or, when
    // that folder cannot take it, in `fallbackFolder`, which is made when needed.
    CEventLogFile(const std::string& folder, const std::string& fallbackFolder);
    // %LOCALAPPDATA%\Kestrow\, where Windows programs keep what the user cannot write elsewhere.
    static std::string LocalAppDataFolder();

    // The log in use; the folder is chosen at the first call.
    const std::string& GetPath();
    void Queue(std::string line);
    // Appends the waiting lines, in order, each whole, none interleaved with another
    // process's. False when the log cannot be written now: the lines keep waiting.
    bool Flush();
    size_t Waiting() const { return m_lines.size(); }
    // At the end: the lines still waiting are kept beside the log ("<log>.waiting"), and
    // TakeKept at the next start queues them ahead of that run's own.
    bool KeepWaiting();
    void TakeKept();
    // What the user should learn, each thing once: where the log went, lines that were dropped.
    std::vector<std::string> TakeNotices();

private:
    void ChooseFolder();

    std::string m_folder, m_fallback, m_path;
    std::deque<std::string> m_lines;
    size_t m_dropped = 0;
    std::vector<std::string> m_notices;
};
