// The registry watch cycle that every registry monitor runs, with its own settings:
//   1. arm: open the key, create its change event, ask for a change notification;
//   2. take the first snapshot, reporting nothing;
//   3. wait on the change events of all armed keys and the stop event (last);
//   4. on a change: re-arm, settle (the host's settle time), read afresh, compare, report;
//      other keys of the loop that signalled meanwhile are compared after the same settle;
//   5. end on the stop event, a failed wait or an exception.
// The notification is re-armed before the settle, not after the comparison: a change made
// while the key is being read then signals again instead of going unseen.
//
// A watched key can be deleted and created again while it is watched. Its handle then names
// the deleted key for good, and Wine does not even signal the deletion on it. So each key
// also watches its parent for subkeys coming and going (the guard); when the key turns out
// deleted, it is re-opened by its path before it is read. A key that is gone reads as empty
// (its items are reported Deleted) and its nearest existing ancestor is watched until it is
// back (its items are then reported New).
#pragma once
#include "MonitorHost.h"
#include "RegistryKey.h"
#include "Snapshot.h"
#include <functional>
#include <utility>
#include <vector>

// Calls back once per item of a reading, in enumeration order.
using ItemVisitor = std::function<void(const std::string& name, const std::string& text)>;

struct RegistryWatchSettings {
    HKEY hive;
    const char* hiveName; // "HKLM", "HKCU" or "HKCR", for messages
    const char* path;
    BOOL subtree;
    DWORD filter;
    // Reads every item of the open key.
    void (*readItems)(HKEY key, const RegistryWatchSettings& settings, const ItemVisitor& visit);
    // For ReadSubkeyTexts: the text of one subkey.
    std::string (*renderSubkey)(CRegistryKey& subkey) = nullptr;
    // For keys whose reading takes long: read already during the settle, and keep that
    // reading when nothing below the key changed from its start to the settle's end.
    bool readAhead = false;
};

// Item readers shared by several monitors.
// Every value of the key: name -> data as text.
void ReadValueTexts(HKEY key, const RegistryWatchSettings& settings, const ItemVisitor& visit);
// Every direct subkey: name -> settings.renderSubkey of the subkey, opened as "path\name" under
// the hive and closed again at once. A subkey that cannot be opened renders from a key that
// is not open, whose reads give the empty text.
void ReadSubkeyTexts(HKEY key, const RegistryWatchSettings& settings, const ItemVisitor& visit);

// One watched key: its handle, change event and snapshot.
class CRegistryWatchKey {
public:
    CRegistryWatchKey(const RegistryWatchSettings& settings, SnapshotReport report)
        : m_settings(settings), m_report(std::move(report)) {}
    CRegistryWatchKey(const CRegistryWatchKey&) = delete;
    CRegistryWatchKey& operator=(const CRegistryWatchKey&) = delete;
    ~CRegistryWatchKey();

    enum ArmResult { Armed, NotOpened, NotArmed };
    // Opens the key and arms its notification; a failure to arm is shown in a message box.
    // A key missing now is never watched (NotOpened).
    ArmResult Arm();
    // After a change signal: asks for the next one.
    void Rearm();
    // After a guard signal: re-arms the guard; true when the key must be read again because
    // it was deleted, or is missing and may be back.
    bool OnGuardSignal();
    void TakeFirstSnapshot();
    // Reads afresh and reports the differences; re-opens a deleted key by its path first.
    void Compare();
    // After a change signal: waits the settle time, then compares.
    void SettleAndCompare(DWORD settle);

    HANDLE ChangeEvent() const { return m_hEvent; }
    HANDLE GuardEvent() const { return m_hGuardEvent; }
    // False while the key is gone.
    bool IsPresent() const { return m_hKey != nullptr; }
    const RegistryWatchSettings& Settings() const { return m_settings; }

private:
    using Items = std::vector<std::pair<std::string, std::string>>;
    bool KeyAlive() const;
    void ReadItems(const ItemVisitor& visit);
    bool ReadDuringSettle(DWORD settle, Items& items);
    void Reconnect();
    void GuardNearestAncestor();

    RegistryWatchSettings m_settings;
    SnapshotReport m_report;
    HKEY m_hKey = nullptr;
    HANDLE m_hEvent = nullptr;
    // The parent of the key, or while the key is gone its nearest existing ancestor; null
    // when none could be watched.
    HKEY m_hGuard = nullptr;
    HANDLE m_hGuardEvent = nullptr;
    CMapStringToString m_current;
    CMapStringToString m_unseen;
};

// Waits on the armed keys (their change events, then their guard events) and the host's
// stop event, last, until the stop or a failed wait, which shows waitFailedFormat ("...%d")
// with the error code. At most 31 keys.
void RunWatchLoop(IMonitorHost* host, CRegistryWatchKey* const* keys, size_t count, const char* waitFailedFormat);

// A monitor of one key: arm, first snapshot, loop. Reports go to the host member `report`.
using HostReport = void (IMonitorHost::*)(int kind, const char* location, const char* details);
UINT RunRegistryMonitor(IMonitorHost* host, const char* name, const RegistryWatchSettings& settings,
                        HostReport report, const char* waitFailedFormat);
