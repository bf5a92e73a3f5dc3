#include "FileAssociationMonitor.h"
#include "../framework/AfxWin.h"
#include "DefaultValue.h"
#include "RegistryKey.h"
#include "Snapshot.h"
#include <cstdio>
#include <cstring>

namespace {
const char kCommandSuffix[] = "\\shell\\open\\command";

// The whole subtree: the command key's value changing, and the command key (or shell, or
// open) deleted or made again, which the command key's own handle would never signal.
void ArmProgIdKey(HKEY key, HANDLE event) {
    ::RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event, TRUE);
}
} // namespace

CWatchedKey::~CWatchedKey() {
    if (m_hKey)
        ::RegCloseKey(m_hKey);
}

CRegistryKeyWatcher::~CRegistryKeyWatcher() {
    for (const auto& pair : m_current)
        delete static_cast<CWatchedKey*>(pair.second);
    m_current.RemoveAll();
    m_unseen.RemoveAll();
    if (m_hEvent)
        ::CloseHandle(m_hEvent);
    m_hEvent = nullptr;
    if (m_hKey)
        ::RegCloseKey(m_hKey);
    m_hKey = nullptr;
}

CString CFileAssociationWatcher::DescribeAssociation(const char* name, char (&commandKeyPath)[kCommandPathChars]) {
    if (!name || name[0] != '.')
        return CString();
    std::string progId = ReadDefaultText(HKEY_CLASSES_ROOT, name);
    if (progId.empty())
        return CString();
    char path[kCommandPathChars];
    int n = std::snprintf(path, sizeof path, "%s%s", progId.c_str(), kCommandSuffix);
    // An identifier this long names no key (key names stop at 255 characters): no command.
    if (n < 0 || static_cast<size_t>(n) >= sizeof path)
        return CString();
    std::string command = ReadDefaultText(HKEY_CLASSES_ROOT, path);
    CopyCut(commandKeyPath, path);
    if (command.empty())
        return CString();
    return CString(progId + "=" + command);
}

HKEY CFileAssociationWatcher::OpenProgIdKey(const char* commandKeyPath) {
    size_t length = std::strlen(commandKeyPath);
    if (length < sizeof kCommandSuffix - 1)
        return nullptr;
    std::string progId(commandKeyPath, length - (sizeof kCommandSuffix - 1));
    HKEY key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, progId.c_str(), 0, KEY_NOTIFY, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

void CFileAssociationWatcher::ArmRoot() {
    ::RegNotifyChangeKeyValue(m_hKey, FALSE, REG_NOTIFY_CHANGE_NAME, m_hEvent, TRUE);
}

bool CFileAssociationWatcher::Record(const char* name, const CString& details, const char* commandKeyPath) {
    if (m_current.Find(name))
        return false; // an enumeration that shifted under a deletion gave it twice
    HKEY key = commandKeyPath[0] ? OpenProgIdKey(commandKeyPath) : nullptr;
    if (key)
        ArmProgIdKey(key, m_hEvent);
    // Recorded even without a key: otherwise every later comparison would find it New again.
    m_current.SetAt(name, new CWatchedKey(key, details));
    return key != nullptr;
}

void CFileAssociationWatcher::Watch(IMonitorHost* owner) {
    m_pOwner = owner;
    LONG r = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &m_hKey);
    if (r != ERROR_SUCCESS) {
        m_hKey = nullptr;
        CString text;
        text.Format("Failed to monitor registry %s (%d)", GetName(), static_cast<int>(r));
        AfxMessageBox(text, MB_OK);
        return;
    }
    m_hEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!m_hEvent || ::RegNotifyChangeKeyValue(m_hKey, FALSE, REG_NOTIFY_CHANGE_NAME, m_hEvent, TRUE) != ERROR_SUCCESS)
        return; // nothing will signal: the thread waits for the stop

    bool armed = false;
    ForEachAssociation([&](const char* name, const CString& details, const char* path) {
        armed |= Record(name, details, path);
    });
    for (const auto& pair : m_current)
        m_unseen.SetAt(pair.first, pair.second);
    if (armed)
        ::SetEvent(m_hEvent); // see the header: an arming may have swallowed a signal
}

void CFileAssociationWatcher::ForEachAssociation(
    const std::function<void(const char* name, const CString& details, const char* path)>& visit) {
    char name[kMaxNameChars];
    char path[kCommandPathChars];
    for (DWORD i = 0; EnumSubkey(m_hKey, i, name) == ERROR_SUCCESS; ++i) {
        path[0] = '\0';
        CString details = DescribeAssociation(name, path);
        if (!details.IsEmpty())
            visit(name, details, path);
    }
}

void CFileAssociationWatcher::OnChange() {
    if (!m_hKey || !m_hEvent)
        return;
    // Re-armed before reading: a change from here on signals again, and everything before
    // it is seen by this reading.
    ArmRoot();
    for (const auto& pair : m_current)
        if (HKEY key = static_cast<CWatchedKey*>(pair.second)->m_hKey)
            ArmProgIdKey(key, m_hEvent);

    bool armed = false;
    ForEachAssociation([&](const char* name, const CString& details, const char* path) {
        if (void* const* found = m_current.Find(name)) {
            auto* entry = static_cast<CWatchedKey*>(*found);
            if (CompareExact(entry->m_details.str(), details.str()) != 0) {
                entry->m_details = details;
                m_pOwner->ReportFileAssociationEvent(EVENT_CHANGED, name, details);
            }
            m_unseen.RemoveKey(name);
            // The ProgID was deleted and perhaps made again: the old handle never signals
            // again, so the key is opened afresh by its path.
            if (entry->m_hKey && !KeyExists(entry->m_hKey)) {
                ::RegCloseKey(entry->m_hKey);
                entry->m_hKey = nullptr;
            }
            // Recorded without a key because it could not be opened then: try again.
            if (!entry->m_hKey && path[0] && (entry->m_hKey = OpenProgIdKey(path)) != nullptr) {
                ArmProgIdKey(entry->m_hKey, m_hEvent);
                armed = true;
            }
        } else {
            m_pOwner->ReportFileAssociationEvent(EVENT_NEW, name, details);
            armed |= Record(name, details, path);
        }
    });
    for (const auto& pair : m_unseen) {
        auto* entry = static_cast<CWatchedKey*>(pair.second);
        m_pOwner->ReportFileAssociationEvent(EVENT_DELETED, pair.first.c_str(), entry->m_details);
        delete entry;
        m_current.RemoveKey(pair.first);
    }
    m_unseen.RemoveAll();
    for (const auto& pair : m_current)
        m_unseen.SetAt(pair.first, pair.second);
    if (armed)
        ::SetEvent(m_hEvent);
}

UINT MonitorFileAssociationProc(LPVOID param) {
    auto* host = static_cast<IMonitorHost*>(param);
    try {
        CFileAssociationWatcher watcher;
        watcher.Watch(host);
        if (watcher.m_hEvent)
            host->OnMonitorReady("MonitorFileAssociationProc");
        // Without an event (the root could not be opened) this wait fails and says so.
        HANDLE waits[2] = {watcher.m_hEvent, host->GetStopEvent()};
        for (;;) {
            DWORD r = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            if (r == WAIT_FAILED) {
                CString text;
                text.Format("MonitorFileAssociationProc: Failed to wait (%d)", static_cast<int>(::GetLastError()));
                AfxMessageBox(text, MB_OK);
                break;
            }
            if (r != WAIT_OBJECT_0)
                break; // the stop event
            ::Sleep(host->GetSettleTime());
            watcher.OnChange();
        }
    } catch (...) {
    }
    return 0;
}
