// The file association monitor: for every extension under HKEY_CLASSES_ROOT, its program
// identifier and that identifier's open command ("ProgID=command"), reported as
// "File Associations" with the extension as the location.
//
// One change event serves the root and every recorded extension's ProgID key, so the wait
// list stays at two handles however many extensions there are. Pitfall: arming a key with
// RegNotifyChangeKeyValue resets the event it is given (Wine does; nothing promises that
// Windows does not), so arming one key can swallow the signal that another key has just
// given. Hence a comparison re-arms every known key before it reads anything, and a pass
// that arms new keys while it reads raises the event once more itself, so that one more
// comparison picks up whatever a swallowed signal would have announced.
#pragma once
#include <functional>
#include "../framework/AfxMap.h"
#include "MonitorHost.h"

// One recorded extension.
class CWatchedKey {
public:
    CWatchedKey(HKEY key, const CString& details) : m_details(details), m_hKey(key) {}
    CWatchedKey(const CWatchedKey&) = delete;
    CWatchedKey& operator=(const CWatchedKey&) = delete;
    virtual ~CWatchedKey();

    CString m_details;
    // The key of the program identifier, armed for notification over its subtree (the open
    // command lies below it); null when it could not be opened for that.
    HKEY m_hKey;
};

// A watched registry place whose items keep keys of their own open.
class CRegistryKeyWatcher {
public:
    CRegistryKeyWatcher() = default;
    CRegistryKeyWatcher(const CRegistryKeyWatcher&) = delete;
    CRegistryKeyWatcher& operator=(const CRegistryKeyWatcher&) = delete;
    virtual ~CRegistryKeyWatcher();

    // Opens and arms the root and takes the first snapshot.
    virtual void Watch(IMonitorHost* owner) = 0;
    // After a signal and the settle: reads afresh, reports, re-arms.
    virtual void OnChange() = 0;
    // The place's name in messages.
    virtual const char* GetName() const = 0;

    HKEY m_hKey = nullptr;
    HANDLE m_hEvent = nullptr;     // auto-reset; signalled by every armed key
    CMapStringToPtr m_current;     // name -> CWatchedKey*, owned
    CMapStringToPtr m_unseen;      // during a comparison, the names not seen again; owns nothing
};

const size_t kCommandPathChars = 512;

class CFileAssociationWatcher : public CRegistryKeyWatcher {
public:
    ~CFileAssociationWatcher() override = default;
    void Watch(IMonitorHost* owner) override;
    void OnChange() override;
    const char* GetName() const override { return "HKCR\\.FileAssociation"; }

    // The details of root subkey `name`: "ProgID=command", or empty when the name does not
    // begin with "." or the extension has no identifier or no open command. When it has an
    // identifier whose command key path fits, that path is written to commandKeyPath.
    CString DescribeAssociation(const char* name, char (&commandKeyPath)[kCommandPathChars]);

    IMonitorHost* m_pOwner = nullptr;

protected:
    // Opens for notification the program identifier's key of a command key path; null when it cannot.
    virtual HKEY OpenProgIdKey(const char* commandKeyPath);

private:
    void ArmRoot();
    // Records a new extension, arming its ProgID key when it opens; true when it armed one.
    bool Record(const char* name, const CString& details, const char* commandKeyPath);
    // Every subkey of the root that is an item: its name, details and command key path.
    void ForEachAssociation(
        const std::function<void(const char* name, const CString& details, const char* path)>& visit);
};

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorFileAssociationProc(LPVOID param);
