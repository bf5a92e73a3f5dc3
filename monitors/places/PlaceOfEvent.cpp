#include "PlaceOfEvent.h"
#include "../../framework/AfxString.h"
#include "StartupMonitor.h"
#include <algorithm>

namespace {
// A row's texts are cut to their field's width in the code page; an item's texts compare with
// them cut alike.
std::string AsShown(const std::string& utf8) {
    return CutAsShown(Utf8ToAnsi(utf8));
}

// A value of a place's key as the place reads it: name and shown name UTF-8, text as shown.
struct ShownValue {
    std::string name, shownName, text;
};

std::vector<ShownValue> ReadShown(const RegistryWatchSettings& view, const std::string& path) {
    std::vector<ShownValue> values;
    CRegistryKey key;
    if (key.Open(view.hive, path, KEY_READ | view.view) != ERROR_SUCCESS)
        return values;
    RegistryWatchSettings flat = view; // this one key, not the subkeys a pattern names
    flat.pattern.clear();
    view.read(key, flat, [&](const std::string& name, const std::string& text) {
        // The default value is called as the registry editor does, as the watch names it.
        bool called = name.empty() && !view.location.empty() && view.read != ReadValueTexts;
        values.push_back({name, called ? "(Default)" : name, text});
    });
    return values;
}

// The place's shown data of the value found; `holds`: it is the row's.
void Take(EventPlace& place, const ShownValue& value, bool holds) {
    place.name = value.name;
    place.shownName = Utf8ToAnsi(value.shownName);
    place.nowText = Utf8ToAnsi(value.text);
    place.holdsRowData = holds;
}

// The row's "name=data" against the values of the key: the value whose shown details are the
// row's, or else (a name may hold '=') the first split whose name is there, or else the first.
bool FindValue(EventPlace& place, const RegistryWatchSettings& view, const EventTexts& row) {
    std::vector<ShownValue> values = ReadShown(view, place.path);
    for (const ShownValue& value : values)
        if (AsShown(value.shownName + "=" + value.text) == row.details)
            return Take(place, value, true), true;
    for (size_t eq = row.details.find('='); eq != std::string::npos; eq = row.details.find('=', eq + 1))
        for (const ShownValue& value : values)
            if (Utf8ToAnsi(value.shownName) == row.details.substr(0, eq))
                return Take(place, value, false), true;
    size_t eq = row.details.find('=');
    if (eq == std::string::npos)
        return false;
    place.shownName = row.details.substr(0, eq);
    place.name = AnsiToUtf8(place.shownName.data(), eq);
    if (place.name == "(Default)" && view.read != ReadValueTexts)
        place.name.clear();
    return ValueCounts(view, place.name);
}

// The subkeys that the location names below the view's key ("" the key itself); false when the
// location is not one of the view's.
bool SubkeysOf(const RegistryWatchSettings& view, const std::string& location, std::string& subkeys) {
    std::string own = Utf8ToAnsi(view.location);
    subkeys.clear();
    if (view.pattern.empty())
        return location == own;
    if (location.compare(0, own.size() + 1, own + "\\") != 0)
        return false;
    subkeys = AnsiToUtf8(location.data() + own.size() + 1, location.size() - own.size() - 1);
    size_t depth = 0;
    for (size_t start = 0, end = 0; end != subkeys.size(); start = end + 1, ++depth) {
        end = std::min(subkeys.find('\\', start), subkeys.size());
        if (depth == view.pattern.size() ||
            !SegmentMatches(view.pattern[depth], subkeys.substr(start, end - start)))
            return false;
    }
    return depth == view.pattern.size();
}

// A key-location place's view that holds the row's value.
bool FromKeyLocation(EventPlace& place, const RegistryWatchSettings& view, const EventTexts& row) {
    std::string subkeys;
    if (!view.location.size() || !SubkeysOf(view, row.location, subkeys))
        return false;
    place.path = view.path + (subkeys.empty() ? "" : "\\" + subkeys);
    place.keyText = view.location + (subkeys.empty() ? "" : "\\" + subkeys);
    if (!FindValue(place, view, row))
        return false;
    place.shown = view.read == ReadValueTexts  ? ShownData::Bytes
                  : view.read == ReadApprovals ? ShownData::Approval
                                               : ShownData::Typed;
    std::string prefix = place.shownName + "=";
    place.data = row.details.substr(prefix.size());
    place.previous =
        row.previous.compare(0, prefix.size(), prefix) == 0 ? row.previous.substr(prefix.size()) : "";
    return true;
}

// The machine's Winlogon values: location the value's name, details its text.
bool FromNamedValue(EventPlace& place, const RegistryWatchSettings& view, const EventTexts& row) {
    // A key's location that named no value of a key place is no value's name either.
    bool keyLocation = row.location.size() > 4 && row.location[4] == '/';
    if (view.read != ReadWinlogonValues || !view.location.empty() || keyLocation)
        return false;
    place.path = view.path;
    place.keyText = std::string(view.hiveName) + "/" + view.path;
    place.shown = ShownData::Winlogon;
    place.shownName = row.location;
    place.name = AnsiToUtf8(row.location.data(), row.location.size());
    for (const ShownValue& value : ReadShown(view, view.path))
        if (Utf8ToAnsi(value.name) == row.location)
            Take(place, value, AsShown(value.text) == row.details);
    place.data = row.details;
    place.previous = row.previous;
    return true;
}

const char* const kNotUndoable[][2] = {
    {CATEGORY_SERVICE,
     "a service's change: the Services console (services.msc) can stop or disable the service"},
    {CATEGORY_INSTALLS, "an installed program's change: Apps & features can remove the program"},
    {CATEGORY_COM, "a COM class's change: a class is more than one value"},
    {CATEGORY_SHARES, "a mapped drive's change: File Explorer can disconnect the drive"},
    {CATEGORY_FILEASSOC, "a file association's change: an association is more than one key"},
};

std::string WhyNot(const EventTexts& row) {
    for (const auto& entry : kNotUndoable)
        if (row.category == entry[0])
            return "Kestrow cannot undo " + std::string(entry[1]) + ".";
    return "Kestrow cannot undo this change: " + row.location +
           " is no place whose values it knows how to write.";
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string::npos;
}

// A file of a folder that lists files by name (the row's location is the folder; the Startup
// folders' are their names), or why a file of a folder named by its path cannot be undone.
bool FromFolder(EventPlace& place, const KnownPlaces& places, const EventTexts& row) {
    std::vector<std::pair<std::string, KnownFolder>> named{
        {"Personal", {CATEGORY_AUTOSTART, places.startupFolders[0], FolderItemKind::Entries}},
        {"All Users", {CATEGORY_AUTOSTART, places.startupFolders[1], FolderItemKind::Entries}}};
    for (const KnownFolder& folder : places.folders)
        named.push_back({folder.path, folder});
    for (const auto& [location, folder] : named) {
        if (row.category != folder.category || folder.path.empty())
            continue;
        bool byName = folder.items == FolderItemKind::Entries || folder.items == FolderItemKind::Files;
        if (byName && row.location == location && IsPlainFileName(row.details)) {
            place.kind = EventPlace::kFile;
            place.folder = folder.path, place.file = row.details;
            place.fileKind = folder.category == CATEGORY_AUTOSTART ? "Startup file" : "file";
            return true;
        }
        if (byName || row.location.compare(0, location.size() + 1, location + "\\") != 0)
            continue;
        std::string file = row.location.substr(location.size() + 1);
        place.why = row.category == CATEGORY_IMAGE_HIJACKS
                        ? "Kestrow cannot undo a change of the system program " + file +
                              ": Windows puts its own files back (sfc /scannow, as administrator)."
                        : "Kestrow cannot undo a change of " + file +
                              ": it holds all of Outlook's macros, which Outlook's Visual Basic editor "
                              "(Alt+F11) can remove.";
        return true;
    }
    return false;
}
} // namespace

TaskRoute TaskRouteOf(const std::string& location) {
    if (!location.empty() && location[0] == '\\')
        return TaskRoute::Task;
    bool number = !location.empty() && location.find_first_not_of("0123456789") == std::string::npos;
    return number ? TaskRoute::Job : TaskRoute::WorkItem;
}

std::string CutAsShown(const std::string& text) {
    char cut[kDetailsChars];
    CopyCut(cut, text.c_str());
    return cut;
}

RegistryValueState ReadValueState(HKEY hive, REGSAM view, const std::string& path, const std::string& name) {
    RegistryValueState state;
    CRegistryKey key;
    if (key.Open(hive, path, KEY_QUERY_VALUE | view) != ERROR_SUCCESS)
        return state;
    state.exists = key.ReadValue(name, state.type, state.data);
    return state.exists ? state : RegistryValueState();
}

KnownPlaces WatchedPlaces() {
    // What cannot be read of the profile's variables the monitor has said already.
    struct CQuietHost : IMonitorHost {
        HANDLE GetStopEvent() const override { return nullptr; }
        DWORD GetSettleTime() const override { return 0; }
        bool ReportEvent(const char*, int, const char*, const char*, const char*) override { return false; }
        void ReportError(const char*) override {}
        void OnMonitorReady(const char*) override {}
    } quiet;
    char personal[kStartupPathChars], allUsers[kStartupPathChars];
    StartupFolders(quiet, personal, allUsers);
    KnownPlaces known{RegistryPlaces(), {personal, allUsers}, {}};
    for (const FolderPlace& folder : FolderPlaces())
        known.folders.push_back({folder.category, ExpandFolder(folder.folder), folder.items});
    return known;
}

EventPlace PlaceOfEvent(const EventTexts& row, const KnownPlaces& places) {
    EventPlace place;
    // A key's location first: the places named by value are tried only for what no key names.
    for (auto from : {FromKeyLocation, FromNamedValue})
        for (const RegistryPlace& rowOfTable : places.registry) {
            if (row.category != rowOfTable.category)
                continue;
            for (const RegistryWatchSettings& view : PlaceViews(rowOfTable)) {
                place.hive = view.hive, place.view = view.view;
                if (!from(place, view, row))
                    continue;
                place.keyText[place.keyText.find('/')] = '\\';
                place.now = ReadValueState(place.hive, place.view, place.path, place.name);
                place.kind = EventPlace::kValue;
                return place;
            }
        }
    place = EventPlace();
    if (FromFolder(place, places, row))
        return place;
    if (row.category == CATEGORY_TASKS && !row.location.empty()) {
        place.kind = EventPlace::kTask;
        place.route = TaskRouteOf(row.location);
        place.task = row.location;
        return place;
    }
    place.why = WhyNot(row);
    return place;
}
