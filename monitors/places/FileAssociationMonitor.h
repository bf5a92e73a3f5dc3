// The file association monitor: for every extension under HKEY_CLASSES_ROOT, its program
// identifier and that identifier's open command ("ProgID=command"), reported as
// "File Associations" with the extension as the location. With HKEY_CLASSES_ROOT, the category's
// registry places (the user's own classes, the programs' classes, the context menus' verbs) run in
// the same loop.
//
// One change event serves the root and every recorded extension's ProgID key, so the wait
// list stays at one handle however many extensions there are. The root is watched over its
// whole tree: an extension pointed at another ProgID writes only the extension's own key. The
// classes root is a predefined key, whose one handle all watches of the process share, each
// with the filter of the first armed on it (a guard's, for subkeys only): its watch is armed on
// a handle of the machine's classes instead. Pitfall: arming a key with
// RegNotifyChangeKeyValue resets the event it is given (Wine does; nothing promises that
// Windows does not), so arming one key can swallow the signal that another key has just
// given. Hence the cycle re-arms every known key before it reads anything. A key that signals
// during the re-arming, after its own arming and before a later one, would be left unarmed with
// its signal gone: a watch of the keys' parents on handles and events of their own sees any
// change during the re-arming, and the event is raised again, so that the next turn arms every
// key once more. So does a reading that arms new keys, when the parents saw a change meanwhile
// (or could not be armed): one more comparison picks up what a swallowed signal announced.
// Each parent has its own event: were they to share one, arming the second would swallow a
// change below the first made in between, and that watch, used up, would miss the rest.
// Those parents are real keys, not the predefined root: opened by an empty path, a predefined key
// is the predefined handle itself, and a second watch armed through it (beside the root's own)
// saw none of these changes under Wine.
#pragma once
#include "../engine/RegistrySource.h"
#include <unordered_map>

// One recorded extension: the key of its program identifier, armed for notification over its
// whole subtree (the open command lies below it); not open when it could not be opened.
struct CWatchedKey {
    std::string m_progId;
    CRegistryKey m_key;
};

// A watched registry place whose items keep keys of their own open, armed on its own event.
class CRegistryKeyWatcher : public CRegistrySource {
public:
    // `parents`: hive and path (kept as given) of the keys below which every item key lies.
    CRegistryKeyWatcher(const RegistryWatchSettings& settings,
                        const std::vector<std::pair<HKEY, const char*>>& parents);
    bool Arm(IMonitorHost& host) override;
    void Rearm() override;
    const CRegistryKey& NotifiedKey() const override;
    // A reading during the settle is watched through the parents, on their own events.
    bool WatchWhileReading(HANDLE event) override;
    bool ChangedWhileReading(HANDLE event) override;
    // With every key armed again: the signal may come from an item key, whose watch it spent.
    void DropSignalBeforeReading() override;
    // Arming the place fails: nothing is said (the root has its own words); see ArmFailed.
    void OnArmFailed(IMonitorHost& host, LONG error) override { m_armFailed = true; }
    bool ArmFailed() const { return m_armFailed; }

protected:
    // During a reading: item `name` keeps the key `path` open and armed (opened again when it
    // was deleted, or names another path now). Call EndKeys after the reading.
    void KeepKey(const std::string& name, const std::string& path);
    // Closes the keys of items the reading did not see; raises the event when it armed a key.
    void EndKeys();
    // Opens `path` below the watched key for notification.
    virtual LONG OpenItemKey(const std::string& path, CRegistryKey& key);

    virtual void ArmItemKey(const CRegistryKey& key);
    // Arms the watch of a parent below which item keys lie.
    virtual LONG ArmParent(const CRegistryKey& parent, HANDLE changed);

private:
    // Arms each parent's watch on its own event, reset first; false when one could not be armed.
    bool ArmParents();
    // Whether a parent's watch saw a change since it was armed.
    bool ParentChanged() const;
    // Arms the place's key and every item key; raises the event when a parent saw a change.
    void ArmKeys();

    std::unordered_map<std::string, CWatchedKey> m_keys;
    std::unordered_map<std::string, bool> m_seen;
    bool m_armed = false;
    bool m_parentsArmed = false; // each parent's watch armed at the last ArmParents
    bool m_armFailed = false;
    struct CParentWatch {
        HKEY hive = nullptr;
        const char* path = nullptr;
        CRegistryKey key; // opened as it is first armed while it exists
        CHandle changed = MakeEvent(true);
    };
    std::vector<CParentWatch> m_parents;
    CRegistryKey m_machineClasses; // the classes root's own notification; see NotifiedKey
};

class CFileAssociationWatcher : public CRegistryKeyWatcher {
public:
    // `root`: HKEY_CLASSES_ROOT; tests give another.
    explicit CFileAssociationWatcher(HKEY root = HKEY_CLASSES_ROOT);
    std::string Name() const override { return GetName(); }
    // The place's name in messages.
    static const char* GetName() { return "HKCR\\.FileAssociation"; }
    // The details of root subkey `name`: "ProgID=command", or empty when the name does not
    // begin with "." or the extension has no identifier or no open command.
    static std::string DescribeAssociation(const CRegistryKey& root, const std::string& name,
                                           std::string& progId);

protected:
    void Read(const CRegistryKey& root, const ItemVisitor& visit) override;
};

// The monitor over `root`. A root that cannot be opened is said, and so is the wait that then
// fails; a root whose notification cannot be armed is watched by nothing, silently, until the stop.
UINT RunFileAssociationMonitor(IMonitorHost& host, HKEY root, CSnapshotStore* store = nullptr);
