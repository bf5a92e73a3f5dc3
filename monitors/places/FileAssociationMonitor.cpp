#include "FileAssociationMonitor.h"
#include "Places.h"

namespace {
// The whole subtree: the command key's value changing, and the command key (or shell, or
// open) deleted or made again, which the command key's own handle would never signal.
const DWORD kItemKeyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

// The whole tree: an extension pointed at another ProgID changes the extension's own key, which
// neither the root's list of subkeys nor any ProgID key's watch would signal.
RegistryWatchSettings RootSettings(HKEY root) {
    return {.category = CATEGORY_FILEASSOC,
            .hive = root,
            .hiveName = "HKCR",
            .subtree = true,
            .filter = kItemKeyFilter};
}
} // namespace

void CRegistryKeyWatcher::ArmItemKey(const CRegistryKey& key) {
    key.Notify(true, kItemKeyFilter, ChangeEvent());
}

LONG CRegistryKeyWatcher::ArmParent(const CRegistryKey& parent, HANDLE changed) {
    return parent.Notify(true, kItemKeyFilter, changed);
}

CRegistryKeyWatcher::CRegistryKeyWatcher(const RegistryWatchSettings& settings,
                                         const std::vector<std::pair<HKEY, const char*>>& parents)
    : CRegistrySource(settings), m_parents(parents.size()) {
    for (size_t i = 0; i < parents.size(); ++i)
        m_parents[i].hive = parents[i].first, m_parents[i].path = parents[i].second;
    if (settings.hive == HKEY_CLASSES_ROOT)
        (void)m_machineClasses.Open(HKEY_LOCAL_MACHINE, "Software\\Classes", KEY_NOTIFY);
}

const CRegistryKey& CRegistryKeyWatcher::NotifiedKey() const {
    // A watch armed on the predefined root joins whichever watch of the process was armed on it
    // first, with that watch's filter (a guard's: subkeys only). The user's classes have their
    // own places in the category.
    return m_machineClasses.IsOpen() ? m_machineClasses : CRegistrySource::NotifiedKey();
}

bool CRegistryKeyWatcher::ArmParents() {
    bool all = true;
    for (CParentWatch& parent : m_parents) {
        ::ResetEvent(parent.changed.Get());
        LONG opened =
            parent.key.IsOpen() ? ERROR_SUCCESS : parent.key.Open(parent.hive, parent.path, KEY_NOTIFY);
        // A parent that does not exist (a fresh profile's classes) holds no item key to watch.
        if (opened != ERROR_FILE_NOT_FOUND)
            all = opened == ERROR_SUCCESS && ArmParent(parent.key, parent.changed.Get()) == ERROR_SUCCESS &&
                  all;
    }
    return m_parentsArmed = all;
}

bool CRegistryKeyWatcher::ParentChanged() const {
    for (const CParentWatch& parent : m_parents)
        if (::WaitForSingleObject(parent.changed.Get(), 0) == WAIT_OBJECT_0)
            return true;
    return false;
}

bool CRegistryKeyWatcher::Arm(IMonitorHost& host) {
    // Before the first reading, which arms every item key: see EndKeys.
    ArmParents();
    return CRegistrySource::Arm(host);
}

void CRegistryKeyWatcher::ArmKeys() {
    CRegistrySource::Rearm();
    for (const auto& pair : m_keys)
        if (pair.second.m_key.IsOpen())
            ArmItemKey(pair.second.m_key);
    // See the header: a change during the arming may have left its key unarmed.
    if (ParentChanged())
        Signal();
}

void CRegistryKeyWatcher::Rearm() {
    ArmParents();
    ArmKeys();
}

void CRegistryKeyWatcher::DropSignalBeforeReading() {
    // The parents' watches, armed for the reading, see every write from here on; every key is
    // armed again, since the one that signalled is spent.
    ::ResetEvent(ChangeEvent());
    ArmKeys();
}

bool CRegistryKeyWatcher::WatchWhileReading(HANDLE event) {
    // The predefined root cannot carry a second watch (see the header); a test's root can.
    bool watching = Settings().hive == HKEY_CLASSES_ROOT || CRegistrySource::WatchWhileReading(event);
    return ArmParents() && watching;
}

bool CRegistryKeyWatcher::ChangedWhileReading(HANDLE event) {
    return ParentChanged() || CRegistrySource::ChangedWhileReading(event);
}

LONG CRegistryKeyWatcher::OpenItemKey(const std::string& path, CRegistryKey& key) {
    return key.Open(Key().Get(), path, KEY_NOTIFY);
}

void CRegistryKeyWatcher::KeepKey(const std::string& name, const std::string& path) {
    m_seen[name] = true;
    CWatchedKey& entry = m_keys[name];
    // A key deleted (and perhaps made again) never signals again: it is opened afresh by its
    // path; so is one that could not be opened before.
    if (entry.m_progId == path && entry.m_key.Exists())
        return;
    entry.m_progId = path;
    entry.m_key.Close();
    if (OpenItemKey(path, entry.m_key) == ERROR_SUCCESS) {
        ArmItemKey(entry.m_key);
        m_armed = true;
    }
}

void CRegistryKeyWatcher::EndKeys() {
    for (auto it = m_keys.begin(); it != m_keys.end();)
        it = m_seen.count(it->first) ? std::next(it) : m_keys.erase(it);
    m_seen.clear();
    // See the header: an arming may have swallowed a signal, which the parents' watches saw.
    if (m_armed && (!m_parentsArmed || ParentChanged()))
        Signal();
    m_armed = false;
}

// The classes root merges the machine's and the user's classes.
CFileAssociationWatcher::CFileAssociationWatcher(HKEY root)
    : CRegistryKeyWatcher(RootSettings(root), {{HKEY_LOCAL_MACHINE, "Software\\Classes"},
                                               {HKEY_CURRENT_USER, "Software\\Classes"}}) {}

std::string CFileAssociationWatcher::DescribeAssociation(const CRegistryKey& root, const std::string& name,
                                                         std::string& progId) {
    progId.clear();
    if (name.empty() || name[0] != '.')
        return std::string();
    progId = root.ReadDefaultText(name);
    if (progId.empty())
        return std::string();
    std::string command = root.ReadDefaultText(progId + "\\shell\\open\\command");
    if (command.empty())
        return std::string();
    return progId + "=" + command;
}

void CFileAssociationWatcher::Read(const CRegistryKey& root, const ItemVisitor& visit) {
    ForEachSubkey(root.Get(), [&](const std::string& name) {
        std::string progId;
        std::string details = DescribeAssociation(root, name, progId);
        if (details.empty())
            return;
        visit(name, details);
        KeepKey(name, progId);
    });
    EndKeys();
}

UINT RunFileAssociationMonitor(IMonitorHost& host, HKEY root, CSnapshotStore* store) {
    const char kProc[] = "MonitorFileAssociationProc";
    try {
        CRegistryKey key;
        if (LONG r = key.Open(root, ""); r != ERROR_SUCCESS) {
            CString text;
            text.Format("Failed to monitor registry %s (%d)", CFileAssociationWatcher::GetName(),
                        static_cast<int>(r));
            host.ReportError(text);
            // There is no change event to wait on: the wait fails, and says so.
            HANDLE waits[2] = {nullptr, host.GetStopEvent()};
            if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_FAILED) {
                text.Format("%s: Failed to wait (%d)", kProc, static_cast<int>(::GetLastError()));
                host.ReportError(text);
            }
            return 0;
        }
        auto source = std::make_unique<CFileAssociationWatcher>(root);
        CFileAssociationWatcher* watcher = source.get();
        std::vector<std::unique_ptr<CWatch>> watches;
        // Reading every extension takes long on a full machine: it is read during the settle.
        watches.push_back(
            std::make_unique<CWatch>(std::move(source), CATEGORY_FILEASSOC, NameAsLocation, true));
        // The rows name the real classes; a test's root is watched alone.
        bool rows = root == HKEY_CLASSES_ROOT;
        for (const RegistryWatchSettings& settings : RegistryPlacesOf(rows ? CATEGORY_FILEASSOC : ""))
            watches.push_back(MakeRegistryWatch(settings));
        RunWatchMonitor(host, std::move(watches), kProc, kProc, store);
        // Without a notification nothing would signal: the thread waits for the stop, as it always has
        // (with the rows, their loop has waited for it).
        if (watcher->ArmFailed() && !rows)
            ::WaitForSingleObject(host.GetStopEvent(), INFINITE);
    } catch (...) {
    }
    return 0;
}
