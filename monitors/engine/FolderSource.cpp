#include "FolderSource.h"
#include "../../framework/AfxFileFind.h"
#include "../../framework/AfxString.h"
#include <cstring>

bool FolderExists(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FolderPath(std::string path) {
    while (path.size() > 1 && path.back() == '\\' && path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

CFolderSource::CFolderSource(FolderWatchSettings settings)
    : m_settings(std::move(settings)), m_stamps(m_settings.items == FolderItemKind::HashedStamps) {
    // A file's stamp moves with its writes; entries only come and go.
    m_filter = FILE_NOTIFY_CHANGE_FILE_NAME;
    if (HasStamps())
        m_filter |= FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_ATTRIBUTES;
}

HANDLE CFolderSource::Watch() const {
    return ::FindFirstChangeNotificationA(m_settings.path.c_str(), FALSE, m_filter);
}

bool CFolderSource::Arm(IMonitorHost& host) {
    if (FolderExists(m_settings.path)) {
        m_change.Attach(Watch());
        if (!m_change) {
            CString text;
            text.Format("Failed to monitor directory %s (%d)", m_settings.path.c_str(),
                        static_cast<int>(::GetLastError()));
            host.ReportError(text);
            return false;
        }
    }
    // A folder missing now is watched from its nearest existing ancestor until it appears.
    GuardAncestor();
    return m_change || m_guard;
}

void CFolderSource::Rearm() {
    if (m_change)
        ::FindNextChangeNotification(m_change.Get());
}

bool CFolderSource::OnGuardSignal() {
    ::FindNextChangeNotification(m_guard.Get());
    m_rewatch = true;
    return true;
}

bool CFolderSource::Retarget(const std::string& path) {
    if (_stricmp(FolderPath(path).c_str(), m_settings.path.c_str()) == 0)
        return false;
    m_settings.path = FolderPath(path);
    m_rewatch = true;
    return true;
}

void CFolderSource::GuardAncestor() {
    m_guard.Close();
    std::string path = m_settings.path;
    for (;;) {
        size_t slash = path.find_last_of('\\');
        if (slash == std::string::npos)
            return;
        // "C:\" is the root; "C:" alone would name the current folder of the drive.
        path.resize(slash > 0 && path[slash - 1] == ':' ? slash + 1 : slash);
        if (!FolderExists(path))
            continue;
        m_guard.Attach(::FindFirstChangeNotificationA(path.c_str(), FALSE, FILE_NOTIFY_CHANGE_DIR_NAME));
        return;
    }
}

void CFolderSource::Rewatch() {
    m_change.Close();
    if (FolderExists(m_settings.path))
        m_change.Attach(Watch());
    GuardAncestor();
}

void CFolderSource::Reconnect() {
    if (!m_rewatch && m_change && FolderExists(m_settings.path))
        return;
    m_rewatch = false;
    // The folder may come back between its check and its guard's arming, when nothing would
    // signal it: checked again after the guard is armed.
    for (int attempt = 0; attempt < 3; ++attempt) {
        Rewatch();
        if (m_change || !FolderExists(m_settings.path))
            return;
    }
}

void CFolderSource::ReadItems(const ItemVisitor& visit) {
    if (HasStamps()) {
        // Only the named files: a large folder (System32) is never listed.
        if (!FolderExists(m_settings.path))
            return;
        for (const char *p = m_settings.names, *end; p && *p; p = end ? end + 1 : "") {
            end = std::strchr(p, '|');
            std::string name(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
            std::string stamp = m_stamps.Read(m_settings.path + "\\" + name);
            if (!stamp.empty())
                visit(name, stamp);
        }
        return;
    }
    CFileFind find;
    BOOL more = find.FindFile((m_settings.path + "\\*.*").c_str());
    while (more) {
        more = find.FindNextFile();
        std::string name = find.GetFileNameUtf8();
        if (m_settings.items == FolderItemKind::Entries || (name != "." && name != ".."))
            visit(name, name);
    }
}
