// A registry place as a row of data, and the key it names as a watch source.
#pragma once
#include "../../framework/AfxRegistry.h"
#include "KeyMemo.h"
#include "WatchCycle.h"

struct RegistryWatchSettings;
// Reads every item of the open key.
using RegistryReader = void (*)(const CRegistryKey& key, const RegistryWatchSettings& settings,
                                const ItemVisitor& visit);

enum PlaceFlags : unsigned {
    kBothViews = 1, // also the 32-bit programs' view, where Windows redirects the key
    kSubtree = 2,   // a change anywhere below the key signals (always so with "*" in the key)
    kReadAhead = 4, // a long reading: read already during the settle
    kItemNamed = 8, // location the item's name, details its text (otherwise see RegistryWatchSettings)
    kMarkUser = 16, // " (per user)" after the location of an HKCU place's items
};

// One registry place: one row of the place table.
struct RegistryPlace {
    const char* category;
    // "HKLM\Software\...\Run"; a segment with "*" stands for the subkeys whose names match it
    // ("Catalog_Entries*"): each of them holds the items, and the key above the first is watched.
    // "[*]" before the first such segment names the key called "*" (the class of every file).
    const char* key;
    RegistryReader read;
    // The values that count, "|"-separated, "" for the default value; null: every value.
    const char* values = nullptr;
    unsigned flags = 0;
};

// A place in one registry view, as its watch uses it.
struct RegistryWatchSettings {
    const char* category = nullptr;
    HKEY hive = nullptr;
    const char* hiveName = nullptr; // "HKLM", "HKCU" or "HKCR", for messages
    std::string path{};             // "" is the hive's root
    // KEY_WOW64_32KEY for the 32-bit programs' view; 0 for the program's own.
    REGSAM view = 0;
    bool subtree = false;
    DWORD filter = REG_NOTIFY_CHANGE_LAST_SET;
    RegistryReader read = nullptr;
    const char* values = nullptr;
    // The "*" segments below the path, in order.
    std::vector<std::string> pattern{};
    // The event's location: this text, followed by "\<subkeys>" of an item found below, with
    // details "name=text"; when empty, the item's name followed by locationSuffix, with the text
    // as the details.
    std::string location{};
    const char* locationSuffix = "";
    bool readAhead = false;
    // What the keys below gave at the last reading (set by the place's source); null: read all.
    CKeyMemo* memo = nullptr;
};

// The place's watches: its own view and, where it has one, the 32-bit programs' view.
std::vector<RegistryWatchSettings> PlaceViews(const RegistryPlace& place);

// Item readers shared by several places.
// Every value of the key: name -> data as its bytes (see ValueText).
void ReadValueTexts(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit);
// The values that count, of the key or of each subkey the pattern matches: "subkeys\name" ->
// data as TypedValueText gives it.
void ReadValues(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit);
// Every direct subkey: name -> the text of its value settings.values, read in the key's view.
// A subkey that cannot be opened reads as the empty text.
void ReadSubkeyTexts(const CRegistryKey& key, const RegistryWatchSettings& settings,
                     const ItemVisitor& visit);
// Every direct subkey: name -> `text` of it, read in the key's view (a subkey that cannot be
// opened is given closed), each read again only when written since the last reading.
using SubkeyText = std::function<std::string(const CRegistryKey& subkey)>;
void ReadSubkeyItems(const CRegistryKey& key, const RegistryWatchSettings& settings, const SubkeyText& text,
                     const ItemVisitor& visit);
// The items `read` gives of the key `path` below the place, last written at `written`: through
// the source's memo where it keeps one (those of the last reading while the time stands).
using KeyRead = std::function<bool(const ItemVisitor& visit)>;
void Remembered(const RegistryWatchSettings& settings, const std::string& path, ULONGLONG written,
                const KeyRead& read, const ItemVisitor& visit);
// Whether value `name` counts for the place.
bool ValueCounts(const RegistryWatchSettings& settings, const std::string& name);
// Whether subkey `name` is one that a "*" segment of a place's key stands for: "*" matches every
// name, "Catalog_Entries*" the names that begin so, any other segment itself.
bool SegmentMatches(const std::string& segment, const std::string& name);

class CRegistrySource : public CWatchSource {
public:
    explicit CRegistrySource(const RegistryWatchSettings& settings) : m_settings(settings) {
        m_settings.memo = &m_memo;
    }

    std::string Name() const override;
    bool Arm(IMonitorHost& host) override;
    HANDLE ChangeEvent() const override { return m_event.Get(); }
    HANDLE GuardEvent() const override { return m_guardEvent.Get(); }
    void Rearm() override;
    bool OnGuardSignal() override;
    void Reconnect() override;
    void ReadItems(const ItemVisitor& visit) override;
    bool WatchWhileReading(HANDLE event) override;
    void DropSignalBeforeReading() override {
        ::ResetEvent(m_event.Get());
        CRegistrySource::Rearm();
    }
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
    // The handle the change notification is armed on, while the key is open: the key itself,
    // unless it is a predefined key, whose one handle every thread's watches share.
    virtual const CRegistryKey& NotifiedKey() const { return m_key; }
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
    CKeyMemo m_memo;
};

// The watch of one key, with its category and event texts.
std::unique_ptr<CWatch> MakeRegistryWatch(const RegistryWatchSettings& settings);

// After an item's name: it was found in the 32-bit programs' view, or in the user's hive.
const char kView32Suffix[] = " (32-bit)";
const char kPerUserSuffix[] = " (per user)";

// Whether the machine has a 32-bit programs' view (64-bit Windows).
bool HasOtherView();
// The program's own view, named explicitly where the process is itself redirected.
REGSAM OwnView();

// A monitor of the given keys in one loop: arm, first snapshots, loop; its wait failure is
// "<waitName>: Failed to wait (%d)", or without the prefix when waitName is null.
UINT RunRegistryMonitor(IMonitorHost& host, const char* monitor,
                        const std::vector<RegistryWatchSettings>& keys, const char* waitName,
                        CSnapshotStore* store = nullptr);
