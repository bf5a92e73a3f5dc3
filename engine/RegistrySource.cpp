#include "RegistrySource.h"
#include "../framework/AfxString.h"

void ReadValueTexts(const CRegistryKey& key, const RegistryWatchSettings&, const ItemVisitor& visit) {
    ForEachValue(key.Get(), [&visit](const std::string& name, DWORD type, const BYTE* data, DWORD size) {
        visit(name, ValueText(type, data, size));
    });
}

void ReadSubkeyTexts(const CRegistryKey& key, const RegistryWatchSettings& settings,
                     const ItemVisitor& visit) {
    ForEachSubkey(key.Get(), [&](const std::string& name) {
        CRegistryKey item;
        (void)item.Open(key.Get(), name, KEY_READ | settings.view);
        visit(name, settings.renderSubkey(item));
    });
}

std::string CRegistrySource::Name() const {
    return std::string(m_settings.hiveName) + "\\" + m_settings.path +
           (m_settings.view & KEY_WOW64_32KEY ? kView32Suffix : "");
}

bool CRegistrySource::Arm(IMonitorHost& host) {
    m_event = MakeEvent();
    if (!m_event)
        return false;
    if (m_key.Open(m_settings.hive, m_settings.path, KEY_READ | m_settings.view) == ERROR_SUCCESS) {
        LONG r = m_key.Notify(m_settings.subtree, m_settings.filter, m_event.Get());
        if (r != ERROR_SUCCESS) {
            OnArmFailed(host, r);
            m_key.Close();
            m_event.Close();
            return false;
        }
    }
    // A key missing now is watched from its nearest existing ancestor until it appears. Without
    // a guard a present key is still watched; only its deletion would go unnoticed.
    m_guardEvent = MakeEvent();
    if (m_guardEvent)
        GuardNearestAncestor();
    return m_key.IsOpen() || m_guard.IsOpen();
}

void CRegistrySource::OnArmFailed(IMonitorHost& host, LONG error) {
    CString text;
    text.Format("Failed to monitor registry %s\\%s (%d)", m_settings.hiveName, m_settings.path,
                static_cast<int>(error));
    host.ReportError(text);
}

void CRegistrySource::Rearm() {
    if (m_key.IsOpen())
        m_key.Notify(m_settings.subtree, m_settings.filter, m_event.Get());
}

void CRegistrySource::GuardNearestAncestor() {
    m_guard.Close();
    std::string path = m_settings.path;
    while (!path.empty()) {
        size_t slash = path.rfind('\\');
        std::string below = path;
        path.resize(slash == std::string::npos ? 0 : slash);
        // An empty path opens the hive's root itself.
        CRegistryKey ancestor;
        if (ancestor.Open(m_settings.hive, path, KEY_NOTIFY | m_settings.view) != ERROR_SUCCESS ||
            ancestor.Notify(false, REG_NOTIFY_CHANGE_NAME, m_guardEvent.Get()) != ERROR_SUCCESS)
            continue;
        m_guard = std::move(ancestor);
        // The key, or the next key on its way, may have come back before the guard was armed.
        CRegistryKey next;
        if (!m_key.IsOpen() &&
            next.Open(m_settings.hive, below, KEY_NOTIFY | m_settings.view) == ERROR_SUCCESS)
            ::SetEvent(m_guardEvent.Get());
        return;
    }
}

bool CRegistrySource::OnGuardSignal() {
    if (!m_guard.IsOpen() ||
        m_guard.Notify(false, REG_NOTIFY_CHANGE_NAME, m_guardEvent.Get()) != ERROR_SUCCESS)
        GuardNearestAncestor(); // the guard was deleted too
    return !m_key.Exists();
}

void CRegistrySource::Reconnect() {
    if (!m_event || m_key.Exists())
        return;
    m_key.Close();
    if (m_key.Open(m_settings.hive, m_settings.path, KEY_READ | m_settings.view) == ERROR_SUCCESS)
        Rearm(); // before it is read: whatever is written from now on signals again
    if (m_guardEvent)
        GuardNearestAncestor();
}

void CRegistrySource::ReadItems(const ItemVisitor& visit) {
    // A key that is gone has no items.
    if (m_key.IsOpen())
        Read(m_key, visit);
}

bool CRegistrySource::WatchWhileReading(HANDLE event) {
    // A handle of its own: a second notification on the key's handle would replace the first.
    return m_key.Exists() && m_quiet.Open(m_key.Get(), "", KEY_NOTIFY) == ERROR_SUCCESS &&
           m_quiet.Notify(true, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event) == ERROR_SUCCESS;
}

std::unique_ptr<CWatch> MakeRegistryWatch(const RegistryWatchSettings& settings) {
    ItemFormat format = [settings](const std::string& name, const std::string& text, std::string& location,
                                   std::string& details) {
        location = settings.location ? settings.location : name + settings.locationSuffix;
        details = settings.detailsWithName ? name + "=" + text : text;
    };
    return std::make_unique<CWatch>(std::make_unique<CRegistrySource>(settings), settings.category, format,
                                    settings.readAhead);
}

bool HasOtherView() {
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

REGSAM OwnView() {
#ifdef _WIN64
    return 0;
#else
    // A 32-bit build on 64-bit Windows would otherwise read the 32-bit view twice.
    return HasOtherView() ? KEY_WOW64_64KEY : 0;
#endif
}

RegistryWatchSettings OtherView(RegistryWatchSettings settings, const char* location,
                                const char* locationSuffix) {
    settings.view = KEY_WOW64_32KEY;
    settings.location = location;
    settings.locationSuffix = locationSuffix;
    return settings;
}

UINT RunRegistryMonitor(IMonitorHost& host, const char* monitor,
                        const std::vector<RegistryWatchSettings>& keys) {
    std::vector<std::unique_ptr<CWatch>> watches;
    for (const RegistryWatchSettings& settings : keys)
        watches.push_back(MakeRegistryWatch(settings));
    return RunWatchMonitor(host, std::move(watches), monitor, monitor);
}
