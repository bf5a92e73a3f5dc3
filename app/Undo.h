// "Undo this change...": the change a row reports is undone when its place still holds what the
// row says. The item's present state is kept first in the Undo folder beside the log, named by
// the date and time: a .reg file that `reg import` puts back, a Startup or Office file itself,
// moved there, or a scheduled task's XML, .job file or texts. The undo is a change like any
// other: the monitors report it.
#pragma once
#include "../monitors/places/PlaceOfEvent.h"
#include "../ui/EventList.h"
#include <string>

struct UndoPlan {
    bool possible = false;
    std::string text; // when possible the question for the user, otherwise why not (code page)
    EventTexts row;
    EventPlace place;
    RegistryValueState write; // a value's new state; a missing one is removed
    std::string keptFile;     // a file to put back: the one Undo moved away
};

// `undoFolder` ends with a backslash.
UndoPlan PlanUndo(const EventTexts& row, const KnownPlaces& places, const std::string& undoFolder);
// Keeps the present state in `undoFolder` (made when missing), its name begun by `now`, then
// writes. Empty when done; otherwise what went wrong, for the user.
std::string CarryOut(const UndoPlan& plan, const std::string& undoFolder, const SYSTEMTIME& now);

const size_t kStampChars = 19; // "2026-12-07 17-30-05", "-2" after it for a second file that second
// "2026-12-07 17-30-05 Auto Run.reg"; for a file moved away "... Auto Start Personal Updater.lnk"
// or "... Office Add-ins STARTUP Macros.dotm"; for a task "... Task Scheduler Updater.xml",
// "... Task Scheduler Updater.job" or "... Task Scheduler job 12.txt".
std::string KeptName(const SYSTEMTIME& now, const UndoPlan& plan);

// The row's texts, as the list shows them.
EventTexts RowTexts(const CEventList& list, int row);
// The menu item and the Delete key: asks (No is the default), then undoes the selected row's
// change; says why when it cannot. False when nothing was undone.
bool UndoSelectedRow(const CEventList& list, const std::string& undoFolder);
