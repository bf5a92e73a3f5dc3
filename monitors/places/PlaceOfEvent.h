// What a reported change names, found again from the texts of its row: a value of a registry
// place whose location is its key (or of the machine's Winlogon key, where the location is the
// value's name), a file of a Startup or Office folder, or a scheduled task. Undoing a row
// starts here. The row's texts are code-page text, as the list shows them; names and paths
// found are UTF-8.
#pragma once
#include "Places.h"
#include <string>
#include <vector>

struct EventTexts {
    std::string category;
    int kind = EVENT_NEW;
    std::string location{}, details{}, previous{};
};

// A folder place, its folder expanded (code page, no trailing backslash; empty when unknown).
struct KnownFolder {
    std::string category, path;
    FolderItemKind items;
};
// Where events come from: the registry places, the two Startup folders ("Personal" and
// "All Users", each as a KnownFolder's path) and the other folder places.
struct KnownPlaces {
    std::vector<RegistryPlace> registry;
    std::string startupFolders[2];
    std::vector<KnownFolder> folders;
};
// The places the program watches, the Startup folders as the shell names them now.
KnownPlaces WatchedPlaces();

// How a place shows a value's data, and so how such a text can be written back.
enum class ShownData {
    Bytes,    // the text up to the first zero (the first Auto Run rows)
    Typed,    // by the value's type (TypedValueText)
    Approval, // "enabled" or "disabled" (Startup Approved)
    Winlogon, // REG_SZ as its text, REG_DWORD as a signed number
};

// A registry value as it is: missing, or its type and bytes.
struct RegistryValueState {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const RegistryValueState&) const = default;
};
RegistryValueState ReadValueState(HKEY hive, REGSAM view, const std::string& path, const std::string& name);

// A task row's route, by its location: "\Folder\Name" a 2.0 task, a number a job, else a work item.
enum class TaskRoute { WorkItem, Task, Job };
TaskRoute TaskRouteOf(const std::string& location);
// A code-page text cut as a row shows it.
std::string CutAsShown(const std::string& text);

struct EventPlace {
    enum Kind { kNone, kValue, kFile, kTask } kind = kNone;
    std::string why; // kNone: why the row names nothing Kestrow can act on, for the user

    // kValue: the value `name` ("" the default value) of key `path` in registry view `view`.
    HKEY hive = nullptr;
    REGSAM view = 0;
    std::string path;
    std::string keyText;   // the key as the user knows it: "HKLM\Software\WOW6432Node\...\Run"
    std::string name;      // UTF-8
    std::string shownName; // as the row names it: "(Default)" for the default value of most places
    ShownData shown = ShownData::Typed;
    RegistryValueState now;
    bool holdsRowData = false;  // the value is there, with the data the row's details give
    std::string nowText;        // its data as the place shows it now, code page
    std::string data, previous; // the data of the row's details and of its Previous, code page

    // kFile: the file `file` of `folder`, that the question calls a `fileKind` ("Startup file").
    std::string folder, file, fileKind;

    // kTask: the task the row's location names (code page), reported through `route`.
    TaskRoute route = TaskRoute::WorkItem;
    std::string task;
};

EventPlace PlaceOfEvent(const EventTexts& row, const KnownPlaces& places);
