// A folder as a watch source: its entries (names added or removed), or the stamps of some of
// its files (size, time and perhaps a hash of the content), so that a rewritten file is seen.
#pragma once
#include "../../framework/AfxHandle.h"
#include "FileStamps.h"
#include "WatchCycle.h"
#include <string>

// What a folder's items are.
enum class FolderItemKind {
    Entries,      // every entry by its name, "." and ".." included, as the Startup folders have them
    Files,        // every entry but "." and ".." by its name
    Stamps,       // the named files, each by its size and time (see CFileStamps)
    HashedStamps, // the named files, each by its size, time and SHA-256
};

struct FolderWatchSettings {
    std::string path; // the folder, without a trailing backslash
    FolderItemKind items = FolderItemKind::Entries;
    // The names that count, "|"-separated, for Stamps and HashedStamps.
    const char* names = nullptr;
};

class CFolderSource : public CWatchSource {
public:
    explicit CFolderSource(std::string path) : CFolderSource(FolderWatchSettings{std::move(path)}) {}
    explicit CFolderSource(FolderWatchSettings settings);

    std::string Name() const override { return m_settings.path; }
    bool Arm(IMonitorHost& host) override;
    HANDLE ChangeEvent() const override { return m_change.Get(); }
    HANDLE GuardEvent() const override { return m_guard.Get(); }
    void Rearm() override;
    bool OnGuardSignal() override;
    void Reconnect() override;
    void ReadItems(const ItemVisitor& visit) override;
    // Watches another folder from the next reading on; false when it is the same folder.
    bool Retarget(const std::string& path);

private:
    void Rewatch();
    void GuardAncestor();
    HANDLE Watch() const;
    bool HasStamps() const {
        return m_settings.items == FolderItemKind::Stamps || m_settings.items == FolderItemKind::HashedStamps;
    }

    FolderWatchSettings m_settings;
    DWORD m_filter;
    CFileStamps m_stamps;
    // Null while the folder is gone. A change handle names the folder it was made for (Wine's
    // never signals again once that folder is gone), so it is made afresh after a guard signal.
    CChangeHandle m_change;
    // Folders coming and going in the parent, or while the folder is gone in its nearest
    // existing ancestor.
    CChangeHandle m_guard;
    bool m_rewatch = false;
};

bool FolderExists(const std::string& path);
// The path without its trailing backslashes (a drive's root keeps its own).
std::string FolderPath(std::string path);
