#include "FileAssociationMonitor.h"

namespace {
// The whole subtree: the command key's value changing, and the command key (or shell, or
// open) deleted or made again, which the command key's own handle would never signal.
const DWORD kItemKeyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

// The root's own subkeys coming and going; each recorded extension's ProgID key signals the rest.
const RegistryWatchSettings kRoot{.category = CATEGORY_FILEASSOC,
                                  .hive = HKEY_CLASSES_ROOT,
                                  .hiveName = "HKCR",
                                  .filter = REG_NOTIFY_CHANGE_NAME};
} // namespace

void CRegistryKeyWatcher::ArmItemKey(const CRegistryKey& key) {
    key.Notify(true, kItemKeyFilter, ChangeEvent());
}

void CRegistryKeyWatcher::Rearm() {
    CRegistrySource::Rearm();
    for (const auto& pair : m_keys)
        if (pair.second.m_key.IsOpen())
            ArmItemKey(pair.second.m_key);
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
    if (m_armed)
        Signal(); // see the header: an arming may have swallowed a signal
    m_armed = false;
}

CFileAssociationWatcher::CFileAssociationWatcher() : CRegistryKeyWatcher(kRoot) {}

bool CFileAssociationWatcher::Arm(IMonitorHost& host) {
    if (CRegistryKeyWatcher::Arm(host))
        return true;
    CRegistryKey root;
    LONG r = root.Open(HKEY_CLASSES_ROOT, "");
    CString text;
    text.Format("Failed to monitor registry %s (%d)", GetName(), static_cast<int>(r));
    host.ReportError(text);
    return false;
}

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

UINT MonitorFileAssociationProc(LPVOID param) {
    auto& host = *static_cast<IMonitorHost*>(param);
    try {
        std::vector<std::unique_ptr<CWatch>> watches;
        watches.push_back(std::make_unique<CWatch>(std::make_unique<CFileAssociationWatcher>(),
                                                   CATEGORY_FILEASSOC, NameAsLocation));
        return RunWatchMonitor(host, std::move(watches), "MonitorFileAssociationProc",
                               "MonitorFileAssociationProc");
    } catch (...) {
    }
    return 0;
}
