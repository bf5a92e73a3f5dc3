#pragma once
#include "../framework/AfxWin.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

private:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    CWnd m_history;
};
