#include "FolderSource.h"
#include "../../framework/AfxFileFind.h"
#include "../../framework/AfxString.h"

bool FolderExists(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CFolderSource::Arm(IMonitorHost& host) {
    if (FolderExists(m_path)) {
        m_change.Attach(::FindFirstChangeNotificationA(m_path.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME));
        if (!m_change) {
            CString text;
            text.Format("Failed to monitor directory %s (%d)", m_path.c_str(),
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

void CFolderSource::GuardAncestor() {
    m_guard.Close();
    std::string path = m_path;
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
    if (FolderExists(m_path))
        m_change.Attach(::FindFirstChangeNotificationA(m_path.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME));
    GuardAncestor();
}

void CFolderSource::Reconnect() {
    if (!m_rewatch && m_change && FolderExists(m_path))
        return;
    m_rewatch = false;
    // The folder may come back between its check and its guard's arming, when nothing would
    // signal it: checked again after the guard is armed.
    for (int attempt = 0; attempt < 3; ++attempt) {
        Rewatch();
        if (m_change || !FolderExists(m_path))
            return;
    }
}

void CFolderSource::ReadItems(const ItemVisitor& visit) {
    CFileFind find;
    BOOL more = find.FindFile((m_path + "\\*.*").c_str());
    while (more) {
        more = find.FindNextFile();
        std::string name = find.GetFileNameUtf8();
        visit(name, name);
    }
}
