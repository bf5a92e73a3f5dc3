#include "EventRecord.h"
#include "../framework/AfxString.h"
#include <cstdio>

namespace {
void FormatEventDate(const SYSTEMTIME& t, char (&out)[kDateChars]) {
    std::snprintf(out, sizeof out, "%02d/%02d/%04d", t.wDay % 100, t.wMonth % 100, t.wYear % 10000);
}

const char* EventKindName(int kind) {
    static const char* const names[] = {"New", "Deleted", "Changed"};
    return kind >= 0 && kind < 3 ? names[kind] : "?";
}
} // namespace

void FillEventRecord(EventRecord& rec, const SYSTEMTIME& now, const char* category, int kind,
                     const char* location, const char* details, const char* previous) {
    rec.kind = kind;
    FormatEventDate(now, rec.date);
    CopyCut(rec.category, category);
    CopyCut(rec.event, EventKindName(kind));
    CopyCut(rec.location, location);
    CopyCut(rec.details, details);
    CopyCut(rec.previous, previous);
}
