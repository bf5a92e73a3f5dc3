// The event as it is shown and logged, and the CSV log file "Kestrow.csv" in the program's
// directory. Lines are only ever appended; the file is opened and closed for every write.
#pragma once
#include "../framework/AfxString.h"
#include "../monitors/Event.h"
#include <windows.h>
#include <deque>
#include <string>

// Five texts of fixed width (terminator included); longer texts are cut to fit.
struct EventRecord {
    char date[kDateChars];
    char category[kCategoryChars];
    char event[kEventChars];
    char location[kLocationChars];
    char details[kDetailsChars];
};

// "dd/mm/yyyy" of the local date.
void FormatEventDate(const SYSTEMTIME& t, char (&out)[kDateChars]);
// "New", "Deleted" or "Changed"; "?" for anything else.
const char* EventKindName(int kind);
void FillEventRecord(EventRecord& rec, const SYSTEMTIME& now, const char* category, int kind,
                     const char* location, const char* details);

// One quoted CSV line with CR LF. A quote inside a text is doubled, so that no text can end
// its field early or forge a line; commas and line breaks stay inside their quoted field.
std::string FormatCsvLine(const EventRecord& rec);

class CEventLogFile {
public:
    virtual ~CEventLogFile() = default;
    // "<program directory>Kestrow.csv", composed on the first call.
    const char* GetPath();
    // Appends the lines in order, removing each one that was written whole. False when the
    // log cannot be opened or written now: the rest stay queued, in order, for the next try.
    bool Append(std::deque<std::string>& lines);

private:
    char m_path[MAX_PATH] = "";
};
