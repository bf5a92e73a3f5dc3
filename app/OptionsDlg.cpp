#include "OptionsDlg.h"
#include "../monitors/RegistryKey.h"
#include "../res/resource.h"
#include "AppMessageBox.h"
#include <cstring>

const char* const kAutoStartValue = "Kestrow";
const char* const kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

CString AutoStartCommand(const char* path) {
    if (!std::strchr(path, ' '))
        return CString(path);
    return CString("\"" + std::string(path) + "\"");
}

COptionsDlg::COptionsDlg(HWND parent)
    : CDialog(IDD_OPTIONS, parent), m_hRunHive(HKEY_LOCAL_MACHINE), m_runKeyPath(kRunKeyPath) {}

void COptionsDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Check(pDX, IDC_AUTOSTART, m_autoStart);
    DDX_Check(pDX, IDC_SILENCE, m_silence);
}

BOOL COptionsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // Any text there, quoted or not, is ours to keep: Auto Start shows ticked.
    CRegistryKey run(m_hRunHive, m_runKeyPath, CRegistryKey::OpenOrCreate);
    if (!run.ReadString(kAutoStartValue).IsEmpty()) {
        m_autoStart = 1;
        UpdateData(FALSE);
    }
    return TRUE;
}

void COptionsDlg::OnOK() {
    CDialog::OnOK();

    // Without the right to write the machine's keys the key still opens, for reading only, and
    // the write itself fails; either way the user learns that Auto Start did not change.
    CRegistryKey run(m_hRunHive, m_runKeyPath, CRegistryKey::OpenOrCreate);
    LONG error = run.IsOpen() ? ERROR_SUCCESS : run.OpenResult();
    if (error == ERROR_SUCCESS && m_autoStart) {
        char path[MAX_PATH];
        DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
        if (n == 0 || n >= sizeof path) {
            // A cut path would start some other program.
            error = n == 0 ? static_cast<LONG>(::GetLastError()) : ERROR_INSUFFICIENT_BUFFER;
        } else {
            // WriteString tells only success; the message needs the reason.
            CString command = AutoStartCommand(path);
            error = ::RegSetValueExA(run.m_hKey, kAutoStartValue, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(static_cast<const char*>(command)),
                                     static_cast<DWORD>(command.GetLength() + 1));
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
