#include "EventLogFile.h"
#include "MonitorApp.h"
#include <cstdio>
#include <cstring>
#include <io.h>

void FormatEventDate(const SYSTEMTIME& t, char (&out)[kDateChars]) {
    std::snprintf(out, sizeof out, "%02d/%02d/%04d", t.wDay % 100, t.wMonth % 100, t.wYear % 10000);
}

const char* EventKindName(int kind) {
    static const char* const names[] = {"New", "Deleted", "Changed"};
    return kind >= 0 && kind < 3 ? names[kind] : "?";
}

void FillEventRecord(EventRecord& rec, const SYSTEMTIME& now, const char* category, int kind,
                     const char* location, const char* details) {
    FormatEventDate(now, rec.date);
    CopyCut(rec.category, category);
    CopyCut(rec.event, EventKindName(kind));
    CopyCut(rec.location, location);
    CopyCut(rec.details, details);
}

static void AppendQuoted(std::string& line, const char* text) {
    line += '"';
    for (const char* p = text; *p; ++p) {
        if (*p == '"')
            line += '"';
        line += *p;
    }
    line += '"';
}

std::string FormatCsvLine(const EventRecord& rec) {
    std::string line;
    line.reserve(64 + std::strlen(rec.location) + std::strlen(rec.details));
    const char* fields[] = {rec.date, rec.category, rec.event, rec.location, rec.details};
    for (int i = 0; i < 5; ++i) {
        if (i)
            line += ',';
        AppendQuoted(line, fields[i]);
    }
    line += "\r\n";
    return line;
}

const char* CEventLogFile::GetPath() {
    if (!m_path[0])
        std::snprintf(m_path, sizeof m_path, "%sKestrow.csv", GetProgramDir());
    return m_path;
}

bool CEventLogFile::Append(std::deque<std::string>& lines) {
    if (lines.empty())
        return true;
    FILE* f = std::fopen(GetPath(), "ab");
    if (!f)
        return false;
    // In append mode the position is not at the end until the first write; seek there so
    // that a failed line can be taken back to exactly where it began.
    std::fseek(f, 0, SEEK_END);
    bool ok = true;
    while (!lines.empty()) {
        const std::string& line = lines.front();
        long before = std::ftell(f);
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size() || std::fflush(f) != 0) {
            // Take back a partly written line (a full disk), so the file holds whole lines only.
            if (before >= 0)
                _chsize(_fileno(f), before);
            ok = false;
            break;
        }
        lines.pop_front();
    }
    std::fclose(f);
    return ok;
}
