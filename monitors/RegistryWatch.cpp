#include "RegistryWatch.h"
#include "../framework/AfxWin.h"
#include <vector>

void ReadValueTexts(HKEY key, const RegistryWatchSettings&, const ItemVisitor& visit) {
    RegValue value;
    for (DWORD i = 0; EnumValue(key, i, value) == ERROR_SUCCESS; ++i)
        visit(value.WholeName(), value.Text());
}

void ReadSubkeyTexts(HKEY key, const RegistryWatchSettings& settings, const ItemVisitor& visit) {
    char name[kMaxNameChars];
    for (DWORD i = 0;; ++i) {
        LONG r = EnumSubkey(key, i, name);
        std::string subkey = name;
        if (r == ERROR_MORE_DATA) {
            // A name too long for the buffer (possible in double-byte code pages): read it whole
            // rather than end the enumeration and lose every subkey after it.
            char whole[1024];
            DWORD size = sizeof whole;
            r = ::RegEnumKeyExA(key, i, whole, &size, nullptr, nullptr, nullptr, nullptr);
            subkey = r == ERROR_SUCCESS ? whole : "";
        }
        if (r != ERROR_SUCCESS)
            break;
        CRegistryKey item(settings.hive, (std::string(settings.path) + "\\" + subkey).c_str());
        visit(subkey, settings.renderSubkey(item));
    }
}

CRegistryWatchKey::~CRegistryWatchKey() {
    if (m_hEvent)
        ::CloseHandle(m_hEvent);
    if (m_hKey)
        ::RegCloseKey(m_hKey);
    if (m_hGuardEvent)
        ::CloseHandle(m_hGuardEvent);
    if (m_hGuard)
        ::RegCloseKey(m_hGuard);
}

CRegistryWatchKey::ArmResult CRegistryWatchKey::Arm() {
    if (::RegOpenKeyA(m_settings.hive, m_settings.path, &m_hKey) != ERROR_SUCCESS) {
        m_hKey = nullptr;
        return NotOpened;
    }
    m_hEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    LONG r = m_hEvent ? ::RegNotifyChangeKeyValue(m_hKey, m_settings.subtree, m_settings.filter, m_hEvent, TRUE)
                      : static_cast<LONG>(::GetLastError());
    if (r != ERROR_SUCCESS) {
        CString text;
        text.Format("Failed to monitor registry %s\\%s (%d)", m_settings.hiveName, m_settings.path, static_cast<int>(r));
        AfxMessageBox(text, MB_OK);
        if (m_hEvent)
            ::CloseHandle(m_hEvent);
        ::RegCloseKey(m_hKey);
        m_hEvent = nullptr;
        m_hKey = nullptr;
        return NotArmed;
    }
    // Without a guard the key is still watched; only its deletion would go unnoticed.
    m_hGuardEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (m_hGuardEvent)
        GuardNearestAncestor();
    return Armed;
}

void CRegistryWatchKey::Rearm() {
    if (m_hKey)
        ::RegNotifyChangeKeyValue(m_hKey, m_settings.subtree, m_settings.filter, m_hEvent, TRUE);
}

bool CRegistryWatchKey::KeyAlive() const { return KeyExists(m_hKey); }

void CRegistryWatchKey::GuardNearestAncestor() {
    if (m_hGuard)
        ::RegCloseKey(m_hGuard);
    m_hGuard = nullptr;
    std::string path = m_settings.path;
    while (!path.empty()) {
        size_t slash = path.rfind('\\');
        std::string below = path;
        path.resize(slash == std::string::npos ? 0 : slash);
        HKEY key;
        // An empty path opens the hive's root itself.
        if (::RegOpenKeyExA(m_settings.hive, path.c_str(), 0, KEY_NOTIFY, &key) != ERROR_SUCCESS)
            continue;
        if (::RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_NAME, m_hGuardEvent, TRUE) != ERROR_SUCCESS) {
            ::RegCloseKey(key);
            continue;
        }
        m_hGuard = key;
        // The key, or the next key on its way, may have come back before the guard was armed.
        HKEY next;
        if (!m_hKey && ::RegOpenKeyExA(m_settings.hive, below.c_str(), 0, KEY_NOTIFY, &next) == ERROR_SUCCESS) {
            ::RegCloseKey(next);
            ::SetEvent(m_hGuardEvent);
        }
        return;
    }
}

bool CRegistryWatchKey::OnGuardSignal() {
    if (!m_hGuard ||
        ::RegNotifyChangeKeyValue(m_hGuard, FALSE, REG_NOTIFY_CHANGE_NAME, m_hGuardEvent, TRUE) != ERROR_SUCCESS)
        GuardNearestAncestor(); // the guard was deleted too
    return !KeyAlive();
}

void CRegistryWatchKey::Reconnect() {
    if (!m_hEvent || KeyAlive())
        return;
    if (m_hKey)
        ::RegCloseKey(m_hKey);
    m_hKey = nullptr;
    HKEY key;
    if (::RegOpenKeyA(m_settings.hive, m_settings.path, &key) == ERROR_SUCCESS) {
        m_hKey = key;
        // Armed before it is read: whatever is written from now on signals again.
        Rearm();
    }
    if (m_hGuardEvent)
        GuardNearestAncestor();
}

void CRegistryWatchKey::ReadItems(const ItemVisitor& visit) {
    // A key that is gone has no items.
    if (m_hKey)
        m_settings.readItems(m_hKey, m_settings, visit);
}

void CRegistryWatchKey::TakeFirstSnapshot() {
    m_current.RemoveAll();
    ReadItems([this](const std::string& name, const std::string& text) { m_current.SetAt(name, text); });
    m_unseen.RemoveAll();
    CopySnapshot(m_current, m_unseen);
}

void CRegistryWatchKey::Compare() {
    Reconnect();
    CSnapshotComparison comparison(m_current, m_unseen, m_report);
    ReadItems([&comparison](const std::string& name, const std::string& text) { comparison.Item(name, text); });
    comparison.Finish();
}

bool CRegistryWatchKey::ReadDuringSettle(DWORD settle, Items& items) {
    DWORD start = ::GetTickCount();
    // Late enough for most installers' writes to be over, early enough for a slow reading to
    // end in time; a write after the start only costs a second reading after the settle.
    ::Sleep(settle / 5);
    // A handle of its own: a second notification on the key's handle would replace the first.
    HKEY watch = nullptr;
    HANDLE quiet = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool armed = quiet && m_hKey && KeyAlive() && ::RegOpenKeyExA(m_hKey, "", 0, KEY_NOTIFY, &watch) == ERROR_SUCCESS &&
                 ::RegNotifyChangeKeyValue(watch, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, quiet,
                                           TRUE) == ERROR_SUCCESS;
    if (armed)
        ReadItems([&items](const std::string& name, const std::string& text) { items.emplace_back(name, text); });
    DWORD elapsed = ::GetTickCount() - start;
    if (elapsed < settle)
        ::Sleep(settle - elapsed);
    bool unchanged = armed && ::WaitForSingleObject(quiet, 0) == WAIT_TIMEOUT;
    if (watch)
        ::RegCloseKey(watch);
    if (quiet)
        ::CloseHandle(quiet);
    return unchanged;
}

void CRegistryWatchKey::SettleAndCompare(DWORD settle) {
    Items items;
    if (!m_settings.readAhead) {
        ::Sleep(settle);
    } else if (ReadDuringSettle(settle, items)) {
        // Nothing changed since the reading began: it is the key as it is now.
        CSnapshotComparison comparison(m_current, m_unseen, m_report);
        for (const auto& item : items)
            comparison.Item(item.first, item.second);
        comparison.Finish();
        return;
    }
    Compare();
}

namespace {
// A change signal re-arms its key; a guard signal tells whether the key must be read again.
bool TakeSignal(const std::pair<CRegistryWatchKey*, bool>& owner) {
    if (!owner.second) {
        owner.first->Rearm();
        return true;
    }
    return owner.first->OnGuardSignal();
}
} // namespace

void RunWatchLoop(IMonitorHost* host, CRegistryWatchKey* const* keys, size_t count, const char* waitFailedFormat) {
    // Change events first, in the order the keys were armed, then the guards, then the stop;
    // beside each handle, its key and whether it is a guard.
    std::vector<HANDLE> handles;
    std::vector<std::pair<CRegistryWatchKey*, bool>> owners;
    for (size_t i = 0; i < count; ++i) {
        handles.push_back(keys[i]->ChangeEvent());
        owners.emplace_back(keys[i], false);
    }
    for (size_t i = 0; i < count; ++i)
        if (HANDLE guard = keys[i]->GuardEvent()) {
            handles.push_back(guard);
            owners.emplace_back(keys[i], true);
        }
    handles.push_back(host->GetStopEvent());

    for (;;) {
        DWORD r = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
        if (r == WAIT_FAILED) {
            CString text;
            text.Format(waitFailedFormat, static_cast<int>(::GetLastError()));
            AfxMessageBox(text, MB_OK);
            return;
        }
        size_t index = r - WAIT_OBJECT_0;
        if (index >= owners.size())
            return; // the stop event
        CRegistryWatchKey* key = owners[index].first;
        if (!TakeSignal(owners[index]))
            continue; // another subkey of the parent came or went
        key->SettleAndCompare(host->GetSettleTime());
        // Keys that signalled meanwhile are compared now, after the same settle, rather than
        // one full settle after another.
        for (size_t i = 0; i < owners.size(); ++i)
            if (owners[i].first != key && ::WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0 &&
                TakeSignal(owners[i]))
                owners[i].first->Compare();
    }
}

UINT RunRegistryMonitor(IMonitorHost* host, const char* name, const RegistryWatchSettings& settings,
                        HostReport report, const char* waitFailedFormat) {
    try {
        CRegistryWatchKey key(settings, [host, report](int kind, const std::string& name, const std::string& text) {
            (host->*report)(kind, name.c_str(), text.c_str());
        });
        if (key.Arm() != CRegistryWatchKey::Armed)
            return 0;
        key.TakeFirstSnapshot();
        host->OnMonitorReady(name);
        CRegistryWatchKey* keys[] = {&key};
        RunWatchLoop(host, keys, 1, waitFailedFormat);
    } catch (...) {
    }
    return 0;
}
