// A registry key as a watch source, and the settings that make a registry monitor.
#pragma once
#include "RegistryKey.h"
#include "WatchCycle.h"

struct RegistryWatchSettings;
// Reads every item of the open key.
using RegistryReader = void (*)(const CRegistryKey& key, const RegistryWatchSettings& settings,
                                const ItemVisitor& visit);

struct RegistryWatchSettings {
    const char* category = nullptr;
    HKEY hive = nullptr;
    const char* hiveName = nullptr; // "HKLM", "HKCU" or "HKCR", for messages
    const char* path = "";          // "" is the hive's root
    // KEY_WOW64_32KEY for the 32-bit programs' view; 0 for the program's own.
    REGSAM view = 0;
    bool subtree = false;
    DWORD filter = REG_NOTIFY_CHANGE_LAST_SET;
    RegistryReader read = nullptr;
    // For ReadSubkeyTexts: the text of one subkey.
    std::string (*renderSubkey)(const CRegistryKey& subkey) = nullptr;
    // The event's location: this text for every item when set (the Auto Run keys), otherwise
    // the item's name followed by locationSuffix.
    const char* location = nullptr;
    const char* locationSuffix = "";
    // Details "name=text" rather than the text alone.
    bool detailsWithName = false;
    // For keys whose reading takes long: read already during the settle, and keep that
    // reading when nothing below the key changed from its start to the settle's end.
    bool readAhead = false;
};

// Item readers shared by several monitors.
// Every value of the key: name -> data as text.
void ReadValueTexts(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit);
// Every direct subkey: name -> settings.renderSubkey of the subkey, opened read-only in the
// key's view. A subkey that cannot be opened renders from a key that is not open, whose reads
// give the empty text.
void ReadSubkeyTexts(const CRegistryKey& key, const RegistryWatchSettings& settings,
                     const ItemVisitor& visit);

class CRegistrySource : public CWatchSource {
public:
    explicit CRegistrySource(const RegistryWatchSettings& settings) : m_settings(settings) {}

    std::string Name() const override;
    bool Arm(IMonitorHost& host) override;
    HANDLE ChangeEvent() const override { return m_event.Get(); }
    HANDLE GuardEvent() const override { return m_guardEvent.Get(); }
    void Rearm() override;
    bool OnGuardSignal() override;
    void Reconnect() override;
    void ReadItems(const ItemVisitor& visit) override;
    bool WatchWhileReading(HANDLE event) override;
    void EndWatchWhileReading() override { m_quiet.Close(); }

protected:
    // The key's notification cannot be armed: says so with the code the request gave.
    virtual void OnArmFailed(IMonitorHost& host, LONG error);
    // The key's own reading; the file associations read more than one key.
    virtual void Read(const CRegistryKey& key, const ItemVisitor& visit) {
        m_settings.read(key, m_settings, visit);
    }
    const RegistryWatchSettings& Settings() const { return m_settings; }
    const CRegistryKey& Key() const { return m_key; }
    // Raises the change event, for a source that may have swallowed a signal.
    void Signal() { ::SetEvent(m_event.Get()); }

private:
    void GuardNearestAncestor();

    RegistryWatchSettings m_settings;
    CRegistryKey m_key; // not open while the key is gone
    CHandle m_event;
    // The parent of the key, or while the key is gone its nearest existing ancestor; not open
    // when none could be watched.
    CRegistryKey m_guard;
    CHandle m_guardEvent;
    CRegistryKey m_quiet; // the watch during a reading ahead
};

// The watch of one key, with its category and event texts.
std::unique_ptr<CWatch> MakeRegistryWatch(const RegistryWatchSettings& settings);

// After an item's name: it was found in the 32-bit programs' view.
const char kView32Suffix[] = " (32-bit)";

// The 32-bit programs' view of a machine key, where there is one (64-bit Windows): the same
// settings in that view, with a location that tells it apart.
bool HasOtherView();
RegistryWatchSettings OtherView(RegistryWatchSettings settings, const char* location,
                                const char* locationSuffix);
// The program's own view, named explicitly where the process is itself redirected.
REGSAM OwnView();

// A monitor of the given keys in one loop: arm, first snapshots, loop;
// "<monitor>: Failed to wait (%d)".
UINT RunRegistryMonitor(IMonitorHost& host, const char* monitor,
                        const std::vector<RegistryWatchSettings>& keys);
