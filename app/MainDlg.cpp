#include "MainDlg.h"
#include "../monitors/places/Places.h"
#include "../res/resource.h"
#include "AppMessageBox.h"
#include "Messages.h"
#include "RowCopy.h"
#include "Undo.h"
#include <utility>

namespace {
UINT ShowWindowMessage() {
    static const UINT message = ::RegisterWindowMessageA(kShowWindowMessage);
    return message;
}

// For a message whose result is its own: handled, with that result.
bool Handled(LRESULT& result, LRESULT value) {
    result = value;
    return true;
}
} // namespace

CMainDlg::CMainDlg(const std::string& logFolder, IClockSpeaker& clock, bool startMonitors)
    : CDialog(IDD_KESTROW_DIALOG), m_clock(clock), m_startMonitors(startMonitors), m_channel(*this, *this),
      m_log(logFolder, CEventLogFile::LocalAppDataFolder()),
      m_icon(static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME),
                                             IMAGE_ICON, 0, 0, LR_DEFAULTSIZE))),
      m_monitors(Roster(), *this), m_alert(*this, m_tray, clock), m_balloons(*this, m_tray, m_alert) {}

CMainDlg::~CMainDlg() = default;

void CMainDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_LIST, m_list);
}

BOOL CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (HMENU menu = ::GetSystemMenu(m_hWnd, FALSE)) {
        CString about;
        about.LoadString(IDS_ABOUTBOX);
        if (!about.IsEmpty()) {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SetIcon(m_icon.Get(), TRUE);
    SetIcon(m_icon.Get(), FALSE);
    EnableDlgItem(IDC_ACKNOWLEDGE, FALSE);
    // A second start finds this window by it.
    ::SetPropA(m_hWnd, kMainWindowProp, m_hWnd);
    // Run elevated (for Auto Start), the window would not otherwise get these from the shell
    // and from a second start, which run with less.
    ::ChangeWindowMessageFilterEx(m_hWnd, CTrayIcon::TaskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
    ::ChangeWindowMessageFilterEx(m_hWnd, ShowWindowMessage(), MSGFLT_ALLOW, nullptr);

    m_list.SetFullRowSelect();
    static const struct {
        const char* heading;
        int width;
    } columns[] = {{"Date", 75},      {"Category", 80}, {"Event", 65},
                   {"Location", 120}, {"Details", 280}, {"Previous", 200}};
    for (int i = 0; i < 6; ++i)
        m_list.InsertColumn(i, columns[i].heading, LVCFMT_LEFT, columns[i].width);
    m_layout.Attach(m_hWnd, m_list);
    m_trust.Load();
    m_list.m_onCopy = [this] { CopySelectedRows(m_hWnd, m_list); };
    m_rowMenu.Bind(ID_ROW_COPY, m_list.m_onCopy);
    m_rowMenu.Bind(ID_ROW_TRUST, [this] { TrustSelectedRows(m_trust, m_list); });
    m_list.m_onDelete = [this] { UndoSelectedRow(m_list, UndoFolder()); };
    m_rowMenu.Bind(ID_ROW_UNDO, m_list.m_onDelete);

    m_tray.SetOwner(m_hWnd);
    m_tray.Add();
    m_eventLog.Open();
    m_log.TakeKept();
    if (m_log.Waiting())
        WriteLog();
    ShowNotices();
    PostMessage(WM_START_HIDDEN);
    if (m_startMonitors)
        StartMonitors();
    return TRUE;
}

void CMainDlg::OnCommand(WORD id, WORD code) {
    switch (id) {
    case IDCANCEL:
        return OnClear();
    case IDC_VIEWLOG:
        return OnViewLog();
    case IDC_ACKNOWLEDGE:
        return m_alert.Stop();
    case IDC_OPTIONS:
        return OnOptions();
    default:
        return CDialog::OnCommand(id, code);
    }
}

bool CMainDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (m_layout.OnMessage(msg, wp, lp))
        return true;
    switch (msg) {
    case WM_CONTEXTMENU:
        return m_rowMenu.Track(m_hWnd, m_list, wp, lp);
    case WM_REPORT_EVENT:
        return Handled(result, m_channel.Take(lp) ? 1 : 0);
    case WM_SYSCOMMAND:
        return OnSysCommand(wp);
    case WM_PAINT:
        return OnPaintIconic();
    case WM_QUERYDRAGICON:
        return Handled(result, reinterpret_cast<LRESULT>(m_icon.Get()));
    case WM_CLOSE:
        return OnCloseBox();
    case WM_QUERYENDSESSION:
        return Handled(result, TRUE);
    case WM_ENDSESSION:
        return OnEndSession(wp != FALSE);
    case WM_DESTROY:
        return OnDestroy();
    case WM_ACTIVATE: // minimising takes the window off the screen and out of the task bar
        return HideWhen(HIWORD(wp) != 0);
    case WM_SIZE: // an inactive window is minimised without WM_ACTIVATE (from the task bar, Win+D)
        return HideWhen(wp == SIZE_MINIMIZED);
    case WM_TIMER:
        return OnTimer(wp);
    case WM_TRAY_NOTIFY:
        return Handled(result, OnTrayNotify(wp, lp));
    case WM_START_HIDDEN:
        return Handled(result, OnStartHidden());
    case WM_WINDOWPOSCHANGING:
        return OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lp));
    default:
        return OnRegisteredMessage(msg);
    }
}

bool CMainDlg::OnRegisteredMessage(UINT msg) {
    if (msg == CTrayIcon::TaskbarCreatedMessage())
        m_tray.Add(); // the shell restarted: without the icon the hidden window could not be reached
    else if (msg == ShowWindowMessage())
        ShowFromTray();
    else
        return false;
    return true;
}

bool CMainDlg::ReportEvent(const char* category, int kind, const char* location, const char* details,
                           const char* previous) {
    return m_channel.Send(category, kind, location, details, previous);
}

void CMainDlg::ReportError(const char* text) {
    AppMessageBox(text, MB_OK);
}

void CMainDlg::OnReport(const ReportRequest& r) {
    EventRecord rec;
    FillEventRecord(rec, m_clock.Now(), r.category, r.kind, r.location, r.details, r.previous);
    // The batch's events go on top once it is taken, newest first, whatever order the list was
    // sorted into.
    const char* texts[] = {rec.date, rec.category, rec.event, rec.location, rec.details, rec.previous};
    // A trusted change is listed, grey, and logged, but starts no alert.
    bool trusted = m_trust.Matches(rec);
    LPARAM serial = m_list.AddRow(texts, 6, trusted);
    m_log.Queue(FormatCsvLine(rec));
    m_eventLog.Report(rec);
    if (!trusted)
        m_balloons.Add(rec, serial), m_alertDue = true;
}

void CMainDlg::OnReportsTaken() {
    m_list.ShowNewRows();
    WriteLog();
    if (std::exchange(m_alertDue, false))
        m_alert.Start();
    m_balloons.Show();
}

void CMainDlg::WriteLog() {
    if (m_log.Flush())
        KillTimer(IDT_LOG_RETRY);
    else
        SetTimer(IDT_LOG_RETRY, 1000);
    ShowNotices();
}

bool CMainDlg::OnDestroy() {
    // From here on no report is taken, so the log written below holds every event listed.
    m_channel.Close();
    ::RemovePropA(m_hWnd, kMainWindowProp);
    m_layout.Save();
    try {
        // The stop signals take three seconds; they are given by a thread of their own so that
        // removing the tray icon (two seconds under Wine when it is the last one) overlaps them.
        if (m_startMonitors)
            m_monitors.BeginStop();
        m_list.DeleteAllItems();
        // A last try for lines the log refused; those it still refuses wait for the next start.
        if (!m_log.Flush())
            m_log.KeepWaiting();
        m_tray.Remove();
        // The threads are joined within a bound, and the snapshots saved.
        if (m_startMonitors)
            m_monitors.EndStop();
    } catch (...) {
    }
    return false; // the dialog's own handling goes on
}
