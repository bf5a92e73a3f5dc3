#pragma once
#include "../framework/AfxWin.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    CWnd m_history;

    static const char* const s_history;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
};
