// One event as the user sees it: filled once from a report, each text cut to its field's width,
// and handed as it is to the list, the CSV log, the event log and the balloon.
#pragma once
#include "../monitors/engine/Event.h"
#include <windows.h>

struct EventRecord {
    int kind;              // EVENT_NEW, EVENT_DELETED or EVENT_CHANGED (any other: the event text "?")
    char date[kDateChars]; // "dd/mm/yyyy", local
    char category[kCategoryChars];
    char event[kEventChars]; // "New", "Deleted" or "Changed"
    char location[kLocationChars];
    char details[kDetailsChars];
    // What a Changed event's details replaced; empty for the others. Shown, never logged.
    char previous[kDetailsChars];
};

// Any text may be null (taken as empty).
void FillEventRecord(EventRecord& rec, const SYSTEMTIME& now, const char* category, int kind,
                     const char* location, const char* details, const char* previous = nullptr);
