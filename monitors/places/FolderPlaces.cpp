// Every folder place Kestrow watches, one row each, and the monitor of a category's places.
#include "../../framework/AfxString.h"
#include "Places.h"
#include <cstring>

namespace {
const std::vector<FolderPlace> kFolderPlaces = {
    // The accessibility programs that the logon screen starts: replaced, they run as SYSTEM there.
    {CATEGORY_IMAGE_HIJACKS, "%SystemRoot%\\System32", FolderItemKind::HashedStamps,
     "sethc.exe|utilman.exe|osk.exe|Magnify.exe|Narrator.exe|DisplaySwitch.exe|AtBroker.exe"},
    {CATEGORY_OFFICE_ADDINS, "%APPDATA%\\Microsoft\\Word\\STARTUP", FolderItemKind::Files},
    {CATEGORY_OFFICE_ADDINS, "%APPDATA%\\Microsoft\\Excel\\XLSTART", FolderItemKind::Files},
    {CATEGORY_OFFICE_ADDINS, "%APPDATA%\\Microsoft\\Outlook", FolderItemKind::Stamps, "VbaProject.OTM"},
};
} // namespace

std::string ExpandFolder(const char* folder) {
    char expanded[MAX_PATH];
    DWORD n = ::ExpandEnvironmentStringsA(folder, expanded, sizeof expanded);
    return n > 1 && n <= sizeof expanded && expanded[0] != '%' ? FolderPath(expanded) : std::string();
}

const std::vector<FolderPlace>& FolderPlaces() {
    return kFolderPlaces;
}

std::vector<std::unique_ptr<CWatch>> FolderWatchesOf(const char* category) {
    std::vector<std::unique_ptr<CWatch>> watches;
    for (const FolderPlace& place : kFolderPlaces) {
        std::string path = ExpandFolder(place.folder);
        if (std::strcmp(place.category, category) != 0 || path.empty())
            continue;
        std::string folder = AnsiToUtf8(path.data(), path.size());
        bool files = place.items == FolderItemKind::Files;
        ItemFormat format = [folder, files](const std::string& name, const std::string& text,
                                            std::string& location, std::string& details) {
            location = files ? folder : folder + "\\" + name;
            details = text;
        };
        watches.push_back(std::make_unique<CWatch>(
            std::make_unique<CFolderSource>(FolderWatchSettings{path, place.items, place.names}), category,
            format));
    }
    return watches;
}

std::vector<std::unique_ptr<CWatch>> PlaceWatches(const MonitorRow& row) {
    std::vector<std::unique_ptr<CWatch>> watches;
    for (const RegistryWatchSettings& settings : RegistryPlacesOf(row.category))
        watches.push_back(MakeRegistryWatch(settings));
    for (std::unique_ptr<CWatch>& watch : FolderWatchesOf(row.category))
        watches.push_back(std::move(watch));
    return watches;
}

UINT RunPlaces(IMonitorHost& host, const MonitorRow& row, CSnapshotStore* store) {
    return RunWatchMonitor(host, PlaceWatches(row), row.name, row.WaitName(), store);
}
