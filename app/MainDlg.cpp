#include "MainDlg.h"
#include "SystemEventLog.h"
#include "../res/resource.h"
#include "AboutDlg.h"
#include "Alert.h"
#include "AppMessageBox.h"
#include "RowCopy.h"
#include <thread>
#include <utility>

namespace {
UINT ShowWindowMessage() {
    static const UINT message = ::RegisterWindowMessageA(kShowWindowMessage);
    return message;
}
} // namespace

CMainDlg::CMainDlg(const std::string& logFolder, IClockSpeaker& clock, bool startMonitors)
    : CDialog(IDD_KESTROW_DIALOG), m_clock(clock), m_startMonitors(startMonitors),
      m_log(logFolder, CEventLogFile::LocalAppDataFolder()), m_stopEvent(MakeEvent()) {
    m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_silenceUntil = m_clock.Now();
}

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
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
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

    m_tray.SetOwner(m_hWnd);
    m_tray.Add();
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
        OnClear();
        break;
    case IDC_VIEWLOG:
        OnViewLog();
        break;
    case IDC_ACKNOWLEDGE:
        StopAlert();
        break;
    case IDC_OPTIONS:
        OnOptions();
        break;
    default:
        CDialog::OnCommand(id, code);
        break;
    }
}

bool CMainDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == CTrayIcon::TaskbarCreatedMessage()) {
        // The shell restarted: without the icon the hidden window could not be reached.
        m_tray.Add();
        return true;
    }
    if (msg == ShowWindowMessage()) {
        ShowFromTray();
        return true;
    }
    if (m_layout.OnMessage(msg, wp, lp))
        return true;
    switch (msg) {
    case WM_REPORT_EVENT:
        result = OnReports(lp) ? 1 : 0;
        return true;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
            CAboutDlg about;
            about.DoModal();
            return true;
        }
        return false;
    case WM_PAINT:
        return OnPaintIconic();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_CLOSE:
        // Closing the window ends the program, exactly like Exit.
        PostMessage(WM_COMMAND, IDOK);
        return true;
    case WM_QUERYENDSESSION:
        result = TRUE;
        return true;
    case WM_ENDSESSION:
        if (wp)
            OnEndSession();
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false;
    case WM_ACTIVATE:
        // Minimising takes the window off the screen and out of the task bar.
        if (HIWORD(wp))
            Hide();
        return false;
    case WM_SIZE:
        // An inactive window is minimised without WM_ACTIVATE (from the task bar, Win+D).
        if (wp == SIZE_MINIMIZED)
            Hide();
        return false;
    case WM_TIMER:
        if (wp == IDT_ALERT)
            OnAlertTick();
        else if (wp == IDT_LOG_RETRY)
            WriteLog();
        else if (wp == IDT_SAVE_SNAPSHOTS)
            m_snapshots.Save();
        else if (wp == IDT_BALLOON)
            ShowChangeBalloon();
        return false;
    case WM_TRAY_NOTIFY:
        result = OnTrayNotify(wp, lp);
        return true;
    case WM_CONTEXTMENU:
        return m_rowMenu.Track(m_hWnd, m_list, wp, lp);
    case WM_START_HIDDEN:
        m_keepHidden = true;
        Hide();
        result = 1;
        return true;
    case WM_WINDOWPOSCHANGING:
        // The dialog manager may show a modal dialog once its queue first runs empty, after it
        // was hidden at start (Wine does); it stays hidden until the tray icon shows it.
        if (m_keepHidden)
            reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~SWP_SHOWWINDOW;
        return false;
    default:
        return false;
    }
}

bool CMainDlg::ReportEvent(const char* category, int kind, const char* location, const char* details,
                           const char* previous) {
    return m_channel.Send(m_hWnd, category, kind, location, details, previous);
}

void CMainDlg::ReportError(const char* text) {
    AppMessageBox(text, MB_OK);
}

void CMainDlg::OnMonitorReady(const char* monitor) {
    std::string text = std::string("Kestrow: ") + (monitor ? monitor : "?") + " ready\n";
    ::OutputDebugStringA(text.c_str());
}

bool CMainDlg::OnReports(LPARAM first) {
    // Every report already waiting is taken in this one turn: the log is opened once and the
    // alert restarted once for all of them.
    return m_channel.Take(
        m_hWnd, reinterpret_cast<const ReportRequest*>(first),
        [this](const ReportRequest& r) { OnRecordEvent(r); },
        [this] {
            WriteLog();
            if (std::exchange(m_alertDue, false))
                StartAlert();
            ShowChangeBalloon();
        });
}

void CMainDlg::OnRecordEvent(const ReportRequest& r) {
    EventRecord rec;
    FillEventRecord(rec, m_clock.Now(), r.category, r.kind, r.location, r.details);
    // The newest event is row 0, whatever order the list was sorted into.
    m_list.InsertItem(0, rec.date);
    m_list.SetItemText(0, 1, rec.category);
    m_list.SetItemText(0, 2, rec.event);
    m_list.SetItemText(0, 3, rec.location);
    m_list.SetItemText(0, 4, rec.details);
    // A trusted change is listed, grey, and logged, but starts no alert.
    bool trusted = m_trust.Matches(rec);
    LPARAM serial = m_list.MarkNewRow(0, trusted);
    // What a Changed event replaced: in the list only, the log's lines keep their five fields.
    if (r.previous) {
        char previous[kDetailsChars];
        CopyCut(previous, r.previous);
        m_list.SetItemText(0, 5, previous);
    }
    m_log.Queue(FormatCsvLine(rec));
    ReportToSystemLog(r.kind, rec);
    if (!trusted)
        m_balloon.Add(rec, serial), m_alertDue = true;
}

void CMainDlg::WriteLog() {
    if (m_log.Flush())
        KillTimer(IDT_LOG_RETRY);
    else
        SetTimer(IDT_LOG_RETRY, 1000);
    ShowNotices();
}

void CMainDlg::OnDestroy() {
    // From here on no report is taken, so the log written below holds every event listed.
    m_channel.Close();
    m_taskMonitor.Stop();
    ::RemovePropA(m_hWnd, kMainWindowProp);
    m_layout.Save();
    try {
        // The stop signals take three seconds; they are given by a thread of their own so that
        // removing the tray icon (two seconds under Wine when it is the last one) overlaps them.
        HANDLE stop = m_stopEvent.Get();
        std::thread signaller([stop] { SignalStop(stop); });
        m_list.DeleteAllItems();
        // A last try for lines the log refused; those it still refuses wait for the next start.
        if (!m_log.Flush())
            m_log.KeepWaiting();
        m_tray.Remove();
        signaller.join();
        // After the stop signals, when the monitors have seen them: a comparison still running
        // keeps out of its snapshot whatever the closed channel refused.
        m_snapshots.Save();
        // The stop event stays open until the window object ends: a monitor still busy
        // comparing would otherwise wait on a closed (or reused) handle.
    } catch (...) {
    }
}

void CMainDlg::StartAlert() {
    // Setting the timer again under its id restarts the period; the button is enabled once,
    // when the alert begins.
    SetTimer(IDT_ALERT, 800);
    if (!m_alerting)
        EnableDlgItem(IDC_ACKNOWLEDGE, TRUE);
    m_alerting = true;
}

void CMainDlg::StopAlert() {
    KillTimer(IDT_ALERT);
    m_alerting = false;
    m_tray.ShowFrame(IDR_MAINFRAME);
    EnableDlgItem(IDC_ACKNOWLEDGE, FALSE);
}

void CMainDlg::OnAlertTick() {
    if (!m_alerting)
        return; // a tick already queued when the alert was acknowledged
    AlertTick tick = NextAlertTick(m_alertFrame, m_silenced, m_clock.Now(), m_silenceUntil);
    m_tray.ShowFrame(tick.icon);
    if (tick.beep)
        m_clock.Beep();
}

LRESULT CMainDlg::OnTrayNotify(WPARAM id, LPARAM mouseMsg) {
    if ((mouseMsg != WM_RBUTTONDOWN && mouseMsg != NIN_BALLOONUSERCLICK) || id != TRAY_ICON_ID)
        return 0;
    ShowFromTray();
    if (mouseMsg == NIN_BALLOONUSERCLICK)
        m_list.ShowRow(m_balloonRow);
    return 1;
}

void CMainDlg::ShowFromTray() {
    m_keepHidden = false;
    m_list.SendMessage(WM_SETREDRAW, TRUE);
    ::InvalidateRect(m_list.m_hWnd, nullptr, TRUE);
    // SW_RESTORE would take a maximised window back to its normal size.
    ShowWindow(IsIconic() ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow();
}

void CMainDlg::Hide() {
    // A hidden list need not repaint: rows reported meanwhile cost less, and are drawn when shown.
    m_list.SendMessage(WM_SETREDRAW, FALSE);
    ShowWindow(SW_HIDE);
}
