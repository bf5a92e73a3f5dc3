// The snapshots of every watched place, kept across runs in one file, so that what changed
// while the program was not running is reported at the next start.
//
// Threads: monitors hand their snapshots in (Update) from their own threads; the owner saves
// from its own (Save), writing a new file and renaming it over the old, so that a crash never
// leaves a broken one. The lock is held for copies only, never for file work.
#pragma once
#include "../../framework/AfxMap.h"
#include <map>
#include <mutex>
#include <string>

class CSnapshotStore {
public:
    enum LoadResult { NoFile, Loaded, Unreadable };
    // Reads the saved snapshots. A file that cannot be read (damaged, another version) is set
    // aside as "<path>.bad" and the start behaves like a first run.
    LoadResult Load(const std::string& path);
    // Whether saved snapshots are compared with the first readings (they are still kept).
    void SetReportOffline(bool report) { m_reportOffline = report; }

    // The snapshot saved for place `id` by the last run, once; false when there is none or
    // reporting is off.
    bool TakeSaved(const std::string& id, CMapStringToString& items);
    // The place's snapshot as it is now, to be saved.
    void Update(const std::string& id, const CMapStringToString& items);
    // Writes the file when anything changed since the last save; false when it could not.
    bool Save();
    const std::string& Path() const { return m_path; }

    // The file's text, and its reading back: exposed for tests.
    static std::string Format(const std::map<std::string, CMapStringToString>& places);
    static bool Parse(const std::string& text, std::map<std::string, CMapStringToString>& places);

private:
    std::mutex m_mutex;
    std::string m_path;
    bool m_reportOffline = true;
    std::map<std::string, CMapStringToString> m_saved; // as the last run left them
    std::map<std::string, std::string> m_current;      // as this run has them, as the file's text
    unsigned m_changes = 0, m_savedChanges = 0;
};
