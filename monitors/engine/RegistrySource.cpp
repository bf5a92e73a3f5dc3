#include "RegistrySource.h"
#include "../../framework/AfxString.h"
#include <algorithm>
#include <cstring>

std::vector<RegistryWatchSettings> PlaceViews(const RegistryPlace& place) {
    static const struct {
        const char* name;
        HKEY hive;
    } hives[] = {{"HKLM", HKEY_LOCAL_MACHINE}, {"HKCU", HKEY_CURRENT_USER}, {"HKCR", HKEY_CLASSES_ROOT}};
    RegistryWatchSettings own{.category = place.category, .read = place.read, .values = place.values};
    std::string key = place.key;
    for (const auto& hive : hives)
        if (key.compare(0, 5, std::string(hive.name) + "\\") == 0)
            own.hive = hive.hive, own.hiveName = hive.name;
    for (size_t start = 5, end; start <= key.size(); start = end + 1) {
        end = std::min(key.find('\\', start), key.size());
        std::string segment = key.substr(start, end - start);
        bool named = segment == "[*]"; // the key named "*", not a pattern
        if (named)
            segment = "*";
        if (!own.pattern.empty() || (!named && segment.find('*') != std::string::npos))
            own.pattern.push_back(segment);
        else
            own.path += (own.path.empty() ? "" : "\\") + segment;
    }
    own.subtree = (place.flags & kSubtree) || !own.pattern.empty();
    own.filter =
        own.subtree ? REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET : REG_NOTIFY_CHANGE_LAST_SET;
    own.readAhead = place.flags & kReadAhead;
    bool both = (place.flags & kBothViews) && own.hive != HKEY_CURRENT_USER;
    own.view = both ? OwnView() : 0;
    if (place.flags & kItemNamed)
        own.locationSuffix = (place.flags & kMarkUser) && own.hive == HKEY_CURRENT_USER ? kPerUserSuffix : "";
    else
        own.location = std::string(own.hiveName) + "/" + own.path;
    std::vector<RegistryWatchSettings> views{own};
    if (both && HasOtherView()) {
        RegistryWatchSettings other = own;
        other.view = KEY_WOW64_32KEY;
        if (place.flags & kItemNamed)
            other.locationSuffix = kView32Suffix;
        else // the key as 32-bit programs' writes land in it
            other.location.insert(std::min(other.location.find('\\'), other.location.size()) + 1,
                                  "WOW6432Node\\");
        views.push_back(other);
    }
    return views;
}

std::string CRegistrySource::Name() const {
    std::string pattern;
    for (const std::string& segment : m_settings.pattern)
        pattern += "\\" + segment;
    return std::string(m_settings.hiveName) + "\\" + m_settings.path + pattern +
           (m_settings.view & KEY_WOW64_32KEY ? kView32Suffix : "");
}

bool CRegistrySource::Arm(IMonitorHost& host) {
    m_event = MakeEvent();
    if (!m_event)
        return false;
    if (m_key.Open(m_settings.hive, m_settings.path, KEY_READ | m_settings.view) == ERROR_SUCCESS) {
        LONG r = NotifiedKey().Notify(m_settings.subtree, m_settings.filter, m_event.Get());
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
    text.Format("Failed to monitor registry %s\\%s (%d)", m_settings.hiveName, m_settings.path.c_str(),
                static_cast<int>(error));
    host.ReportError(text);
}

void CRegistrySource::Rearm() {
    if (m_key.IsOpen())
        NotifiedKey().Notify(m_settings.subtree, m_settings.filter, m_event.Get());
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
    m_memo.Begin();
    if (m_key.IsOpen())
        Read(m_key, visit);
    m_memo.End();
}

bool CRegistrySource::WatchWhileReading(HANDLE event) {
    // A handle of its own: a second notification on the key's handle would replace the first.
    return m_key.Exists() && m_quiet.Open(m_key.Get(), "", KEY_NOTIFY) == ERROR_SUCCESS &&
           m_quiet.Notify(true, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event) == ERROR_SUCCESS;
}

std::unique_ptr<CWatch> MakeRegistryWatch(const RegistryWatchSettings& settings) {
    ItemFormat format = [settings](const std::string& name, const std::string& text, std::string& location,
                                   std::string& details) {
        if (settings.location.empty()) {
            location = name + settings.locationSuffix;
            details = text;
            return;
        }
        // An item below the key: its subkeys join the location, its value names the details.
        size_t split = 0;
        for (size_t i = 0; i < settings.pattern.size(); ++i)
            split = name.find('\\', split) + 1;
        location = settings.location + (split ? "\\" + name.substr(0, split - 1) : std::string());
        std::string value = name.substr(split);
        // The default value has no name; the readers of typed data call it as the registry editor does.
        if (value.empty() && settings.read != ReadValueTexts)
            value = "(Default)";
        details = value + "=" + text;
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

UINT RunRegistryMonitor(IMonitorHost& host, const char* monitor,
                        const std::vector<RegistryWatchSettings>& keys, const char* waitName,
                        CSnapshotStore* store) {
    std::vector<std::unique_ptr<CWatch>> watches;
    for (const RegistryWatchSettings& settings : keys)
        watches.push_back(MakeRegistryWatch(settings));
    return RunWatchMonitor(host, std::move(watches), monitor, waitName, store);
}
