#include "OptionsDlg.h"
#include "../framework/AfxRegistry.h"
#include "../framework/AfxString.h"
#include "../res/resource.h"
#include "AppMessageBox.h"
#include "Preferences.h"
#include "SystemEventLog.h"
#include <algorithm>
#include <cstring>

namespace {
const char* const kAutoStartValue = "Kestrow";
const char* const kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The Run command that starts the program at `path`: quoted when the path holds a space, since
// Windows would otherwise try its leading parts first (C:\Program.exe for C:\Program Files\...).
CString AutoStartCommand(const char* path) {
    if (!std::strchr(path, ' '))
        return CString(path);
    std::string quoted = "\"";
    quoted += path;
    return CString(quoted += "\"");
}
} // namespace

COptionsDlg::COptionsDlg()
    : CDialog(IDD_OPTIONS), m_hRunHive(HKEY_LOCAL_MACHINE), m_runKeyPath(kRunKeyPath) {}

void COptionsDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Check(pDX, IDC_AUTOSTART, m_autoStart);
    DDX_Check(pDX, IDC_SILENCE, m_silence);
    DDX_Check(pDX, IDC_REPORT_OFFLINE, m_reportOffline);
}

BOOL COptionsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_reportOffline = IsSwitchedOn(kReportOfflineSwitch);
    UpdateData(FALSE);
    m_trust.Load();
    ShowTrusted();
    // Any text there, quoted or not, is ours to keep: Auto Start shows ticked.
    CRegistryKey run;
    (void)run.Create(m_hRunHive, m_runKeyPath, MAXIMUM_ALLOWED);
    if (!run.ReadText(kAutoStartValue).empty()) {
        m_autoStart = 1;
        UpdateData(FALSE);
    }
    return TRUE;
}

void COptionsDlg::OnOK() {
    CDialog::OnOK();
    SetSwitch(kReportOfflineSwitch, m_reportOffline != 0);
    const std::vector<TrustedChange> trusted = m_trust.Entries();
    for (const TrustedChange& change : trusted)
        if (std::find(m_shown.begin(), m_shown.end(), change) == m_shown.end())
            if (LONG error = m_trust.Remove(change)) {
                CString text;
                text.Format("Failed to remove a trusted change (%d)", static_cast<int>(error));
                AppMessageBox(text, MB_OK);
                break;
            }

    // Without the right to write the machine's keys the key still opens, for reading only, and
    // the write itself fails; either way the user learns that Auto Start did not change.
    CRegistryKey run;
    LONG error = run.Create(m_hRunHive, m_runKeyPath, MAXIMUM_ALLOWED);
    if (error == ERROR_SUCCESS && m_autoStart) {
        char path[MAX_PATH];
        DWORD n = GetProgramPath(path);
        if (n == 0 || n >= sizeof path) {
            // A cut path would start some other program.
            error = n == 0 ? static_cast<LONG>(::GetLastError()) : ERROR_INSUFFICIENT_BUFFER;
        } else {
            CString command = AutoStartCommand(path);
            error = run.WriteText(kAutoStartValue, AnsiToUtf8(command, command.GetLength()));
            // The rights that wrote Auto Start can register the event source; without them the
            // events just stay out of the event log.
            if (error == ERROR_SUCCESS)
                (void)RegisterEventLogSource();
        }
    } else if (error == ERROR_SUCCESS) {
        error = run.DeleteValue(kAutoStartValue);
        if (error == ERROR_FILE_NOT_FOUND)
            error = ERROR_SUCCESS;
    }
    if (error != ERROR_SUCCESS) {
        CString text;
        text.Format("Failed to update Auto Start (%d)", static_cast<int>(error));
        AppMessageBox(text, MB_OK);
    }
}

void COptionsDlg::OnCommand(WORD id, WORD code) {
    if (id == IDC_TRUST_REMOVE)
        OnRemoveTrusted();
    else
        CDialog::OnCommand(id, code);
}

void COptionsDlg::ShowTrusted() {
    HWND list = GetDlgItem(IDC_TRUSTED);
    HDC dc = ::GetDC(list);
    HGDIOBJ font = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(list, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (const TrustedChange& change : m_trust.Entries()) {
        std::string text =
            change.category + " | " + change.event + " | " + change.location + " | " + change.details;
        ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        m_shown.push_back(change);
        SIZE size{};
        ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max<int>(widest, size.cx + 8);
    }
    ::SelectObject(dc, font);
    ::ReleaseDC(list, dc);
    // Long details are read by scrolling sideways.
    ::SendMessageA(list, LB_SETHORIZONTALEXTENT, widest, 0);
    EnableDlgItem(IDC_TRUST_REMOVE, !m_shown.empty());
}

void COptionsDlg::OnRemoveTrusted() {
    HWND list = GetDlgItem(IDC_TRUSTED);
    int selected = static_cast<int>(::SendMessageA(list, LB_GETCURSEL, 0, 0));
    if (selected < 0 || selected >= static_cast<int>(m_shown.size()))
        return;
    ::SendMessageA(list, LB_DELETESTRING, selected, 0);
    m_shown.erase(m_shown.begin() + selected);
    ::SendMessageA(list, LB_SETCURSEL, std::min<int>(selected, static_cast<int>(m_shown.size()) - 1), 0);
    EnableDlgItem(IDC_TRUST_REMOVE, !m_shown.empty());
}
