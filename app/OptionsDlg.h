// The Options dialog: Auto Start, a value under the machine's Run key that the dialog writes
// itself on OK; Silence, which the main window reads back and applies; the user's switch for
// changes made while the program was not running, which it keeps in the user's settings; and
// the trusted changes, of which OK removes those the user removed from the list.
#pragma once
#include "../framework/AfxWin.h"
#include "TrustList.h"

class COptionsDlg : public CDialog {
public:
    COptionsDlg();

    int m_autoStart = 0;
    int m_silence = 0;
    // Changes made while the program was not running are reported at its next start.
    int m_reportOffline = 1;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCommand(WORD id, WORD code) override;
    void ShowTrusted();
    void OnRemoveTrusted();

    // Where Auto Start is kept: the machine's Run key.
    HKEY m_hRunHive;
    const char* m_runKeyPath;
    // This program's path, as GetModuleFileNameA gives it: cut, with MAX_PATH, when it does not
    // fit.
    virtual DWORD GetProgramPath(char (&path)[MAX_PATH]) const {
        return ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    }

    CTrustList m_trust;
    std::vector<TrustedChange> m_shown; // in the list box's order
};
