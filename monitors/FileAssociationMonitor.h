// The file association monitor: for every extension under HKEY_CLASSES_ROOT, its program
// identifier and that identifier's open command ("ProgID=command"), reported as
// "File Associations" with the extension as the location.
//
// One change event serves the root and every recorded extension's ProgID key, so the wait
// list stays at one handle however many extensions there are. Pitfall: arming a key with
// RegNotifyChangeKeyValue resets the event it is given (Wine does; nothing promises that
// Windows does not), so arming one key can swallow the signal that another key has just
// given. Hence the cycle re-arms every known key before it reads anything, and a reading that
// arms new keys raises the event once more itself, so that one more comparison picks up
// whatever a swallowed signal would have announced.
#pragma once
#include "RegistrySource.h"
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
    using CRegistrySource::CRegistrySource;
    void Rearm() override;

protected:
    // During a reading: item `name` keeps the key `path` open and armed (opened again when it
    // was deleted, or names another path now). Call EndKeys after the reading.
    void KeepKey(const std::string& name, const std::string& path);
    // Closes the keys of items the reading did not see; raises the event when it armed a key.
    void EndKeys();
    // Opens `path` below the watched key for notification.
    virtual LONG OpenItemKey(const std::string& path, CRegistryKey& key);

private:
    void ArmItemKey(const CRegistryKey& key);
    std::unordered_map<std::string, CWatchedKey> m_keys;
    std::unordered_map<std::string, bool> m_seen;
    bool m_armed = false;
};

class CFileAssociationWatcher : public CRegistryKeyWatcher {
public:
    CFileAssociationWatcher();
    bool Arm(IMonitorHost& host) override;
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

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorFileAssociationProc(LPVOID param);
