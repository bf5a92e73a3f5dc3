#include "OptionsDlg.h"
#include "../engine/RegistryKey.h"
#include "../framework/AfxString.h"
#include "../res/resource.h"
#include "AppMessageBox.h"
#include "Preferences.h"
#include "SystemEventLog.h"
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
