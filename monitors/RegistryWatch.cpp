#include "RegistryWatch.h"
#include "../framework/AfxWin.h"
#include <vector>

void ReadValueTexts(HKEY key, const RegistryWatchSettings&, const ItemVisitor& visit) {
    RegValue value;
    for (DWORD i = 0; EnumValue(key, i, value) == ERROR_SUCCESS; ++i)
        visit(value.name, value.Text());
}

CRegistryWatchKey::~CRegistryWatchKey() {
    if (m_hEvent)
        ::CloseHandle(m_hEvent);
    if (m_hKey)
        ::RegCloseKey(m_hKey);
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
    return Armed;
}

void CRegistryWatchKey::Rearm() {
    ::RegNotifyChangeKeyValue(m_hKey, m_settings.subtree, m_settings.filter, m_hEvent, TRUE);
}

void CRegistryWatchKey::TakeFirstSnapshot() {
    m_current.RemoveAll();
    m_settings.readItems(m_hKey, m_settings,
                         [this](const std::string& name, const std::string& text) { m_current.SetAt(name, text); });
    m_unseen.RemoveAll();
    CopySnapshot(m_current, m_unseen);
}

void CRegistryWatchKey::Compare() {
    CSnapshotComparison comparison(m_current, m_unseen, m_report);
    m_settings.readItems(m_hKey, m_settings,
                         [&comparison](const std::string& name, const std::string& text) { comparison.Item(name, text); });
    comparison.Finish();
}

void RunWatchLoop(IMonitorHost* host, CRegistryWatchKey* const* keys, size_t count, const char* waitFailedFormat) {
    std::vector<HANDLE> handles;
    for (size_t i = 0; i < count; ++i)
        handles.push_back(keys[i]->ChangeEvent());
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
        if (index >= count)
            return; // the stop event
        keys[index]->Rearm();
        ::Sleep(host->GetSettleTime());
        keys[index]->Compare();
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
