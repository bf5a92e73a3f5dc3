// The registry watch cycle that every registry monitor runs, with its own settings:
//   1. arm: open the key, create its change event, ask for a change notification;
//   2. take the first snapshot, reporting nothing;
//   3. wait on the change events of all armed keys and the stop event (last);
//   4. on a change: re-arm, settle (the host's settle time), read afresh, compare, report;
//   5. end on the stop event, a failed wait or an exception.
// The notification is re-armed before the settle, not after the comparison: a change made
// while the key is being read then signals again instead of going unseen.
#pragma once
#include "MonitorHost.h"
#include "RegistryKey.h"
#include "Snapshot.h"
#include <functional>

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
};

// Item readers shared by several monitors.
// Every value of the key: name -> data as text.
void ReadValueTexts(HKEY key, const RegistryWatchSettings& settings, const ItemVisitor& visit);

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
    ArmResult Arm();
    void Rearm();
    void TakeFirstSnapshot();
    void Compare();

    HANDLE ChangeEvent() const { return m_hEvent; }
    const RegistryWatchSettings& Settings() const { return m_settings; }

private:
    RegistryWatchSettings m_settings;
    SnapshotReport m_report;
    HKEY m_hKey = nullptr;
    HANDLE m_hEvent = nullptr;
    CMapStringToString m_current;
    CMapStringToString m_unseen;
};

// Waits on the armed keys and the host's stop event until the stop or a failed wait, which
// shows waitFailedFormat ("...%d") with the error code.
void RunWatchLoop(IMonitorHost* host, CRegistryWatchKey* const* keys, size_t count, const char* waitFailedFormat);

// A monitor of one key: arm, first snapshot, loop. Reports go to the host member `report`.
using HostReport = void (IMonitorHost::*)(int kind, const char* location, const char* details);
UINT RunRegistryMonitor(IMonitorHost* host, const char* name, const RegistryWatchSettings& settings,
                        HostReport report, const char* waitFailedFormat);
