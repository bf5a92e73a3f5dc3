// RESOURCE_LOCK: options
// The Options dialog run modally on a thread of its own and worked by the test thread as the
// user would, with its Auto Start under a scratch key of the user's and two trusted changes. Each dialog
// shown costs seconds under Wine: the one run checks all it can.
#include "TestSupport.h"
#include "app/AppMessageBox.h"
#include "app/OptionsDlg.h"
#include "app/TrustList.h"
#include "res/resource.h"
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {
const std::string kKey = "Software\\KestrowTests\\Options";
std::vector<std::string> g_boxes; // the message boxes shown, read once the dialog's thread ended
int RecordBox(const char* text, UINT) {
    return g_boxes.push_back(text), IDOK;
}

// Auto Start under kKey, and this program in a folder whose path does not fit in MAX_PATH:
// GetModuleFileNameA gives it cut.
struct CLongPathOptionsDlg : COptionsDlg {
    CLongPathOptionsDlg() {
        m_hRunHive = HKEY_CURRENT_USER;
        m_runKeyPath = kKey.c_str();
    }

    DWORD GetProgramPath(char (&path)[MAX_PATH]) const override {
        lstrcpyA(path, ("C:\\" + std::string(MAX_PATH - 4, 'x')).c_str());
        return MAX_PATH;
    }
};
} // namespace

TEST(OptionsDialog, AutoStartIsQuotedAndNeverCutAndItsFailureIsToldWhileOkStillAppliesSilence) {
    const std::string quoted = "\"C:\\Program Files\\Kestrow\\Kestrow.exe\"";

    RegPutAll({"HKCU\\" + kKey + "|Kestrow|" + quoted});
    RegDeleteTreeA(HKEY_CURRENT_USER, kTrustedKeyPath);
    CTrustList trusted;
    trusted.Add({"KTa", "New", "x", "1"}), trusted.Add({"KTb", "New", "y", "2"});
    SetAppMessageBoxSink(RecordBox);
    CLongPathOptionsDlg dlg;
    std::atomic<INT_PTR> result{-2};
    std::thread ui([&] { result = dlg.DoModal(); });
    HWND w = nullptr;
    // Shown once its controls hold their settings; only this process has windows here.
    EXPECT_TRUE(WaitUntil(
        [&] { return (w = FindWindowA("#32770", "Kestrow Options")) && IsWindowVisible(w); }, 30000));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(w, IDC_AUTOSTART)) << "a quoted value is ours too";
    // Trusted changes are taken back by Remove, then OK.
    const HWND list = GetDlgItem(w, IDC_TRUSTED);
    char kept[64] = "";
    EXPECT_EQ(2, SendMessageA(list, LB_GETCOUNT, 0, 0));
    SendMessageA(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(kept));
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    SendMessageA(GetDlgItem(w, IDC_TRUST_REMOVE), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(w, IDC_SILENCE), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(w, IDOK), BM_CLICK, 0, 0);
    if (!WaitUntil([&] { return result != -2; }, 30000))
        PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    ui.join();
    SetAppMessageBoxSink(nullptr);

    // A cut path would start some other program: the value stays as it was, the user is told why.
    EXPECT_EQ(1, dlg.m_silence) << "OK still closes the dialog, and Silence reaches the main window";
    EXPECT_EQ(std::vector<std::string>{"Failed to update Auto Start (122)"}, g_boxes);
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, kKey.c_str(), "Kestrow", RRF_RT_REG_SZ, nullptr, value, &size);
    EXPECT_EQ(quoted, value);
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey.c_str());
    trusted.Load();
    ASSERT_EQ(1u, trusted.Entries().size());
    EXPECT_EQ(std::string(kept, 3), trusted.Entries()[0].category);
    RegDeleteTreeA(HKEY_CURRENT_USER, kTrustedKeyPath);
}
