#include "MainDlg.h"
#include "../res/resource.h"
#include "AboutDlg.h"
#include "Alert.h"
#include "EventLogFile.h"
#include "Messages.h"
#include "OptionsDlg.h"
#include "SystemEventLog.h"
#include "../monitors/AutoRunMonitor.h"
#include "../monitors/COMMonitor.h"
#include "../monitors/FileAssociationMonitor.h"
#include "../monitors/StartupMonitor.h"
#include "../monitors/InstallMonitor.h"
#include "../monitors/ServiceMonitor.h"
#include "../monitors/ShareMonitor.h"
#include "../monitors/WinlogonMonitor.h"
#include <io.h>
#include <shellapi.h>
#include <thread>
#include <vector>

namespace {
// Counts alert ticks modulo 4 for the whole process: a new alert goes on from the last frame.
int s_alertFrame = 0;
} // namespace

CMainDlg::CMainDlg(HWND parent) : CDialog(IDD_KESTROW_DIALOG, parent) {
    m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_stopEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hClosing = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::GetLocalTime(&m_silenceUntil);
}

CMainDlg::~CMainDlg() {
    if (m_stopEvent)
        ::CloseHandle(m_stopEvent);
    if (m_hClosing)
        ::CloseHandle(m_hClosing);
}

void CMainDlg::DoDataExchange(CDataExchange* pDX) { DDX_Control(pDX, IDC_LIST, m_list); }

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

    m_list.SetFullRowSelect();
    static const struct {
        const char* heading;
        int width;
    } columns[] = {{"Date", 75}, {"Category", 80}, {"Event", 65}, {"Location", 120}, {"Details", 280}};
    for (int i = 0; i < 5; ++i)
        m_list.InsertColumn(i, columns[i].heading, LVCFMT_LEFT, columns[i].width);

    UpdateTrayIcon(NIM_ADD, IDR_MAINFRAME);
    PostMessage(WM_START_HIDDEN);
    StartMonitors();
    return TRUE;
}

void CMainDlg::StartMonitors() {
    CleanEmptyImagePaths(); // before any monitor, so the service monitor's first snapshot is clean
    LPVOID host = static_cast<IMonitorHost*>(this);
    AfxBeginThread(MonitorRunKeysProc, host);
    AfxBeginThread(MonitorServiceProc, host);
    AfxBeginThread(MonitorStartProc, host);
    AfxBeginThread(MonitorInstallProc, host);    // after the Startup folder monitor
    AfxBeginThread(MonitorCOMProc, host);
    AfxBeginThread(MonitorWinlogonProc, host);   // after the COM monitor
    m_taskMonitor.Init(this);
    m_taskMonitor.Start();
    AfxBeginThread(MonitorShareDriveProc, host); // after the task monitor
    AfxBeginThread(MonitorFileAssociationProc, host);
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
        OnAcknowledge();
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
    switch (msg) {
    case WM_REPORT_EVENT: {
        // Once closing, the sender may have gone on: its request is not touched.
        if (m_closing) {
            result = 0;
            return true;
        }
        OnReports(reinterpret_cast<const ReportRequest*>(lp));
        result = 1;
        return true;
    }
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
            CAboutDlg about;
            about.DoModal();
            return true;
        }
        return false;
    case WM_PAINT:
        if (IsIconic()) {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(m_hWnd, &ps);
            ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            RECT rc;
            ::GetClientRect(m_hWnd, &rc);
            int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
            ::DrawIcon(dc, (rc.right - rc.left - cx + 1) / 2, (rc.bottom - rc.top - cy + 1) / 2, m_hIcon);
            ::EndPaint(m_hWnd, &ps);
            return true;
        }
        return false;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_CLOSE:
        // Closing the window ends the program, exactly like Exit.
        PostMessage(WM_COMMAND, IDOK);
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
        return false;
    case WM_TRAY_NOTIFY:
        result = OnTrayNotify(wp, lp);
        return true;
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

void CMainDlg::ReportEvent(const char* category, int kind, const char* location, const char* details) {
    ReportRequest r{category ? category : "", kind, location ? location : "", details ? details : "", nullptr};
    if (m_closing || !m_hWnd)
        return;
    if (::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId()) {
        SendMessage(WM_REPORT_EVENT, 0, reinterpret_cast<LPARAM>(&r));
        return;
    }
    // One auto-reset event per reporting thread, made at its first report and kept: a report
    // then costs no event creation.
    static thread_local struct DoneEvent {
        HANDLE h = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ~DoneEvent() {
            if (h)
                ::CloseHandle(h);
        }
    } t_done;
    r.done = t_done.h;
    if (!r.done)
        return;
    ::ResetEvent(r.done); // a signal left over from a window that closed meanwhile
    if (PostMessage(WM_REPORT_EVENT, 0, reinterpret_cast<LPARAM>(&r))) {
        HANDLE waits[2] = {r.done, m_hClosing};
        ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    }
}

void CMainDlg::ReportError(const char* text) { AfxMessageBox(text, MB_OK); }

void CMainDlg::OnMonitorReady(const char* monitor) {
    std::string text = std::string("Kestrow: ") + (monitor ? monitor : "?") + " ready\n";
    ::OutputDebugStringA(text.c_str());
}

void CMainDlg::OnRecordEvent(const char* category, int kind, const char* location, const char* details) {
    SYSTEMTIME now;
    GetNow(&now);
    EventRecord rec;
    FillEventRecord(rec, now, category, kind, location, details);

    // The newest event is row 0, whatever order the list was sorted into.
    m_list.InsertItem(0, rec.date);
    m_list.SetItemText(0, 1, rec.category);
    m_list.SetItemText(0, 2, rec.event);
    m_list.SetItemText(0, 3, rec.location);
    m_list.SetItemText(0, 4, rec.details);

    m_unwrittenLog.push_back(FormatCsvLine(rec));
    ReportToSystemLog(kind, rec);
}

void CMainDlg::OnReports(const ReportRequest* first) {
    // Every report already waiting is taken in this one turn: the log is opened once and the
    // alert restarted once for all of them. Each sender is released only after its line was
    // written (or queued for the retry), and also if recording fails.
    struct Senders {
        std::vector<HANDLE> done;
        ~Senders() {
            for (HANDLE h : done)
                if (h)
                    ::SetEvent(h);
        }
    } senders;
    const ReportRequest* r = first;
    for (;;) {
        senders.done.push_back(r->done);
        OnRecordEvent(r->category, r->kind, r->location, r->details);
        MSG next;
        if (senders.done.size() >= 256 ||
            !::PeekMessageA(&next, m_hWnd, WM_REPORT_EVENT, WM_REPORT_EVENT, PM_REMOVE))
            break;
        r = reinterpret_cast<const ReportRequest*>(next.lParam);
    }
    WriteLog();
    StartAlert();
}

void CMainDlg::WriteLog() {
    CEventLogFile log;
    if (log.Append(m_unwrittenLog))
        KillTimer(IDT_LOG_RETRY);
    else
        SetTimer(IDT_LOG_RETRY, 1000);
}

void CMainDlg::OnClear() {
    if (m_list.GetItemCount() > 0)
        m_list.DeleteAllItems();
}

void CMainDlg::OnViewLog() {
    CEventLogFile log;
    const char* path = log.GetPath();
    CString format, text;
    if (_access(path, 0) != 0) {
        format.LoadString(IDS_LOG_NOT_FOUND);
        text.Format(format, path);
        AfxMessageBox(text, MB_OK);
        return;
    }
    HINSTANCE r = ::ShellExecuteA(m_hWnd, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(r) <= 32) {
        DWORD error = ::GetLastError();
        format.LoadString(IDS_LOG_OPEN_FAILED);
        text.Format(format, static_cast<int>(error));
        AfxMessageBox(text, MB_OK);
    }
}

void CMainDlg::OnOptions() {
    COptionsDlg options;
    if (options.DoModal() != IDOK)
        return;
    if (options.m_silence) {
        SYSTEMTIME now;
        GetNow(&now);
        m_silenceUntil = AddSeconds(now, 3600);
        m_silenced = 1;
        SetWindowText("Kestrow - Silence mode");
    } else {
        // The hour already begun still holds back the beeps.
        m_silenced = 0;
        SetWindowText("Kestrow");
    }
}

void CMainDlg::OnDestroy() {
    // From here on no report is taken, so the log written below holds every event listed.
    m_closing = true;
    ::SetEvent(m_hClosing);
    m_taskMonitor.Stop();
    try {
        // The stop signals take three seconds; they are given by a thread of their own so that
        // removing the tray icon (two seconds under Wine when it is the last one) overlaps them.
        HANDLE stop = m_stopEvent;
        std::thread signaller([stop] { SignalStop(stop); });
        m_list.DeleteAllItems();
        // A last try for lines the log refused; they are lost only if it still refuses.
        WriteLog();
        UpdateTrayIcon(NIM_DELETE, IDR_MAINFRAME);
        signaller.join();
        // The stop event stays open until the window object ends: a monitor still busy
        // comparing would otherwise wait on a closed (or reused) handle.
    } catch (...) {
    }
}

BOOL CMainDlg::UpdateTrayIcon(DWORD command, UINT iconResource) {
    try {
        NOTIFYICONDATAA nid{};
        nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
        nid.hWnd = m_hWnd;
        nid.uID = TRAY_ICON_ID;
        nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        nid.uCallbackMessage = WM_TRAY_NOTIFY;
        nid.hIcon = static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconResource),
                                                    IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
        lstrcpynA(nid.szTip, "Kestrow", sizeof nid.szTip);
        BOOL ok = ::Shell_NotifyIconA(command, &nid);
        if (nid.hIcon)
            ::DestroyIcon(nid.hIcon);
        return ok;
    } catch (...) {
        return FALSE;
    }
}

void CMainDlg::StartAlert() {
    // Setting the timer again under its id restarts the period; the button is enabled once,
    // when the alert begins.
    bool wasIdle = m_alertTimer == -1;
    m_alertTimer = static_cast<int>(SetTimer(IDT_ALERT, 800));
    if (wasIdle)
        EnableDlgItem(IDC_ACKNOWLEDGE, TRUE);
}

void CMainDlg::Hide() {
    // A hidden list need not repaint: rows reported meanwhile cost less, and are drawn when shown.
    m_list.SendMessage(WM_SETREDRAW, FALSE);
    ShowWindow(SW_HIDE);
}

void CMainDlg::StopAlert() {
    if (m_alertTimer != -1) {
        KillTimer(m_alertTimer);
        m_alertTimer = -1;
    }
    UpdateTrayIcon(NIM_MODIFY, IDR_MAINFRAME);
    EnableDlgItem(IDC_ACKNOWLEDGE, FALSE);
}

void CMainDlg::OnAlertTick() {
    SYSTEMTIME now;
    GetNow(&now);
    AlertTick tick = NextAlertTick(s_alertFrame, m_silenced != 0, now, m_silenceUntil);
    UpdateTrayIcon(NIM_MODIFY, tick.icon);
    if (tick.beep)
        Beep();
}

LRESULT CMainDlg::OnTrayNotify(WPARAM id, LPARAM mouseMsg) {
    if (mouseMsg == WM_RBUTTONDOWN && id == TRAY_ICON_ID) {
        m_keepHidden = false;
        m_list.SendMessage(WM_SETREDRAW, TRUE);
        ::InvalidateRect(m_list.m_hWnd, nullptr, TRUE);
        ShowWindow(SW_RESTORE);
        SetForegroundWindow();
        return 1;
    }
    return 0;
}
