#include "AfxWin.h"

INT_PTR CDialog::DoModal() {
    return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_idTemplate), nullptr, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx{saveAndValidate != FALSE, this};
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCommand(WORD id, WORD) {
    if (id == IDOK)
        OnOK();
    else if (id == IDCANCEL)
        OnCancel();
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        OnCommand(LOWORD(wp), HIWORD(wp));
        return TRUE;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        for (CWnd* c : m_bound) {
            LRESULT r = 0;
            if (c->m_hWnd == hdr->hwndFrom && c->OnChildNotify(msg, wp, lp, &r)) {
                ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, r);
                return TRUE;
            }
        }
        break;
    }
    default:
        break;
    }
    LRESULT result = 0;
    if (!OnMessage(msg, wp, lp, result))
        return FALSE;
    // Messages whose result is the dialog procedure's own return value.
    switch (msg) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return static_cast<INT_PTR>(result);
    default:
        ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    CDialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lp);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lp);
        self->m_hWnd = hwnd;
    } else {
        self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    try {
        if (msg == WM_INITDIALOG)
            return self->OnInitDialog();
        INT_PTR r = self->Dispatch(msg, wp, lp);
        if (msg == WM_NCDESTROY)
            self->m_hWnd = nullptr;
        return r;
    } catch (...) {
        return FALSE;
    }
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd)
        return;
    control.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
    pDX->m_pDlgWnd->m_bound.push_back(&control);
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    HWND box = pDX->m_pDlgWnd->GetDlgItem(id);
    if (pDX->m_bSaveAndValidate)
        value = ::SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    else
        ::SendMessageA(box, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The one application object, made before WinMain runs.
static CWinApp* s_pApp;

CWinApp::CWinApp() {
    s_pApp = this;
}
CWinApp::~CWinApp() {
    if (s_pApp == this)
        s_pApp = nullptr;
}
int AfxWinMain() {
    try {
        if (s_pApp)
            s_pApp->InitInstance();
    } catch (...) {
    }
    return 0;
}

int AfxMessageBox(const char* text, UINT type) {
    return ::MessageBoxA(nullptr, text, "Kestrow", type | MB_SETFOREGROUND);
}

namespace {
struct ThreadStart {
    AFX_THREADPROC proc;
    LPVOID param;
};

DWORD WINAPI ThreadTrampoline(LPVOID p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    try {
        return start.proc(start.param);
    } catch (...) {
        return 0;
    }
}
} // namespace

BOOL AfxBeginThread(AFX_THREADPROC proc, LPVOID param) {
    auto* start = new ThreadStart{proc, param};
    HANDLE h = ::CreateThread(nullptr, 0, ThreadTrampoline, start, 0, nullptr);
    if (!h) {
        delete start;
        return FALSE;
    }
    ::CloseHandle(h);
    return TRUE;
}
