#include "AboutDlg.h"
#include "../res/resource.h"

namespace {
// Newest first; a version's first line is "version<TAB>- ", its further lines "<TAB>- ".
const char* const kHistory =
    "2.4\t- An MSI package installs it, silently too; the zip's exe runs from any folder\r\n"
    "\t- The file's properties show its version\r\n"
    "2.3\t- Scheduled jobs are shown with their days, time and command\r\n"
    "\t- File associations are watched\r\n"
    "\t- The CSV log keeps lines it could not write and writes them later\r\n"
    "2.2\t- Mapped network drives are watched\r\n"
    "\t- Silence mode mutes the alert for an hour\r\n"
    "2.1\t- COM class registrations and the Winlogon key are watched\r\n"
    "\t- The event list sorts by any column\r\n"
    "2.0\t- Scheduled tasks are watched\r\n"
    "\t- Installed programs are watched\r\n"
    "1.0\t- Run keys, services and the Startup folders are watched";
} // namespace

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_HISTORY, m_history);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_history.SetWindowText(kHistory);
    return FALSE;
}
