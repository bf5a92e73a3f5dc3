// Windows, dialogs, the application object, threads and message boxes: the small part of
// MFC that the program uses, on plain Win32. A dialog keeps `this` in DWLP_USER and
// dispatches to virtual handlers; no C++ exception ever crosses back into Windows.
#pragma once
#include "AfxString.h"
#include <windows.h>
#include <vector>

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd() = default;

    HWND m_hWnd = nullptr;

    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void EnableDlgItem(int id, BOOL enable) { ::EnableWindow(GetDlgItem(id), enable); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::SendMessageA(m_hWnd, msg, wp, lp);
    }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::PostMessageA(m_hWnd, msg, wp, lp);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT ms) { return ::SetTimer(m_hWnd, id, ms, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    HICON SetIcon(HICON icon, BOOL big) {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, (LPARAM)icon));
    }

    // A notification that a bound control's parent reflects back to it (MFC's reflection).
    virtual bool OnChildNotify(UINT /*msg*/, WPARAM, LPARAM, LRESULT* /*result*/) { return false; }
};

class CDialog;

struct CDataExchange {
    bool m_bSaveAndValidate;
    CDialog* m_pDlgWnd;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT idTemplate) : m_idTemplate(idTemplate) {}

    // Runs the dialog modally; returns the EndDialog result, or -1 when it could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel() { EndDialog(IDCANCEL); }

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    // WM_COMMAND from a control or menu; the base routes IDOK and IDCANCEL.
    virtual void OnCommand(WORD id, WORD code);
    // Any other message; return true when handled, with the dialog result in `result`.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

private:
    friend void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    UINT m_idTemplate;
    std::vector<CWnd*> m_bound;
};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Check(CDataExchange* pDX, int id, int& value);

class CWinApp {
public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();
    virtual BOOL InitInstance() = 0;
};

// Runs the application object's InitInstance; the process's result.
int AfxWinMain();

// Modal message box with the program's title, shown on the calling thread.
int AfxMessageBox(const char* text, UINT type = MB_OK);

// Worker thread running proc(param), with a catch-all at its edge; the thread is not kept.
using AFX_THREADPROC = UINT (*)(LPVOID);
BOOL AfxBeginThread(AFX_THREADPROC proc, LPVOID param);
