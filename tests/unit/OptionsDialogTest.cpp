// RESOURCE_LOCK: runkeys tray
// The Options dialog run modally on a thread of its own, driven by the test thread as the
// user would; Auto Start against the machine's real Run key (restored afterwards) and, for
// the failures, against scratch keys the dialog cannot write.
#include "RunningMainWindow.h"
#include "app/OptionsDlg.h"
#include "monitors/RegistryKey.h"
#include "res/resource.h"
#include <functional>
#include <sddl.h>

namespace {
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kScratch = "Software\\KestrowTests\\Options";

// The Options dialog, once it is on the screen; only this process has windows in the prefix.
HWND FindOptionsWindow(DWORD ms = 10000) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowA("#32770", "Kestrow Options")) && IsWindowVisible(found); },
              ms);
    return found && IsWindowVisible(found) ? found : nullptr;
}

bool Checked(HWND dlg, int id) {
    return IsDlgButtonChecked(dlg, id) == BST_CHECKED;
}
void Click(HWND dlg, int id) {
    SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

// Runs `dlg` modally while `user` works the window; the dialog's result.
INT_PTR RunOptions(COptionsDlg& dlg, const std::function<void(HWND)>& user) {
    std::atomic<INT_PTR> result{-2};
    std::thread ui([&] { result = dlg.DoModal(); });
    HWND w = FindOptionsWindow();
    EXPECT_NE(nullptr, w) << "the Options dialog never appeared";
    if (w) {
        user(w);
        if (!WaitUntil([&] { return result != -2; }, 5000)) {
            ADD_FAILURE() << "the Options dialog did not end";
            PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
        }
    }
    ui.join();
    return result;
}

// The value's text, or "<none>" when it is missing.
std::string RunValue(HKEY hive = HKEY_LOCAL_MACHINE, const std::string& path = kRun) {
    char data[1024];
    DWORD size = sizeof data - 1;
    if (RegGetValueA(hive, path.c_str(), "Kestrow", RRF_RT_ANY, nullptr, data, &size) != ERROR_SUCCESS)
        return "<none>";
    data[size] = '\0';
    return data;
}
void SetRunValue(const char* text) {
    if (text)
        RegSetString(HKEY_LOCAL_MACHINE, kRun, "Kestrow", text);
    else
        RegDeleteValueAt(HKEY_LOCAL_MACHINE, kRun, "Kestrow");
}

void SetKeyAccess(const std::string& path, const char* sddl) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &key));
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd));
    LocalFree(sd);
    RegCloseKey(key);
}
const char* kReadOnly = "D:P(A;;KR;;;WD)";
const char* kFullAccess = "D:P(A;;KA;;;WD)";

// The dialog with its Auto Start under a key of the test's choosing in HKEY_CURRENT_USER.
class CScratchOptionsDlg : public COptionsDlg {
public:
    explicit CScratchOptionsDlg(const std::string& path) : m_path(path) {
        m_hRunHive = HKEY_CURRENT_USER;
        m_runKeyPath = m_path.c_str();
    }

private:
    std::string m_path;
};
} // namespace

class OptionsDialog : public testing::Test {
protected:
    std::string m_saved;
    CMessageBoxRecorder boxes;

    void SetUp() override {
        m_saved = RunValue();
        SetRunValue(nullptr);
    }
    void TearDown() override {
        SetRunValue(m_saved == "<none>" ? nullptr : m_saved.c_str());
        if (RegKeyExists(HKEY_CURRENT_USER, kScratch + "\\ReadOnly"))
            SetKeyAccess(kScratch + "\\ReadOnly", kFullAccess);
        RegDeleteTreeAt(HKEY_CURRENT_USER, kScratch);
    }
};

TEST_F(OptionsDialog, OkWritesThisProgramQuotedOrRemovesItAndEveryWayOfCancellingChangesNothing) {
    EXPECT_STREQ("\"C:\\Program Files\\Kestrow\\Kestrow.exe\"",
                 AutoStartCommand("C:\\Program Files\\Kestrow\\Kestrow.exe"));
    EXPECT_STREQ("C:\\Tools\\Kestrow.exe", AutoStartCommand("C:\\Tools\\Kestrow.exe"));
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(AutoStartCommand(path)), old = "\"C:\\Program Files\\Kestrow\\Kestrow.exe\"";
    // Auto Start is clicked or not, then the dialog ended by posting `msg` to a control (0: the dialog).
    const struct {
        const char* stored; // nullptr: no value
        bool click;
        int control;
        UINT msg;
        WPARAM wp;
        std::string after;
    } cases[] = {
        {nullptr, true, IDOK, BM_CLICK, 0, program},
        {"C:\\Old\\Kestrow.exe", false, IDOK, BM_CLICK, 0,
         program}, // another path under our name is replaced
        {program.c_str(), true, IDOK, BM_CLICK, 0, "<none>"},
        {nullptr, false, IDOK, BM_CLICK, 0, "<none>"}, // nothing to remove is no failure
        // Ticking adds no value, unticking removes none.
        {nullptr, true, IDCANCEL, BM_CLICK, 0, "<none>"},
        {"", true, IDC_AUTOSTART, WM_KEYDOWN, VK_ESCAPE, ""},
        {"C:\\Tools\\Kestrow.exe", true, 0, WM_SYSCOMMAND, SC_CLOSE, "C:\\Tools\\Kestrow.exe"},
        {old.c_str(), true, IDCANCEL, BM_CLICK, 0, old},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored ? c.stored : "no value") + " " + std::to_string(c.msg));
        SetRunValue(c.stored);
        COptionsDlg dlg;
        EXPECT_EQ(c.control == IDOK ? IDOK : IDCANCEL, RunOptions(dlg, [&](HWND w) {
                      EXPECT_EQ(c.stored && *c.stored, Checked(w, IDC_AUTOSTART));
                      EXPECT_FALSE(Checked(w, IDC_SILENCE));
                      if (c.click)
                          Click(w, IDC_AUTOSTART);
                      PostMessageA(c.control ? GetDlgItem(w, c.control) : w, c.msg, c.wp, 0);
                  }));
        EXPECT_EQ(c.after, RunValue());
    }
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(OptionsDialog, AutoStartThatCannotBeStoredIsReported) {
    // A key the dialog may read but not write, as the machine's Run key is without the right;
    // and one that cannot even be created: a lasting key under a volatile one.
    const std::string readOnly = kScratch + "\\ReadOnly";
    RegCreateKeyAt(HKEY_CURRENT_USER, readOnly);
    SetKeyAccess(readOnly, kReadOnly);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (kScratch + "\\Volatile").c_str(), 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    const struct {
        std::string path;
        const char* stored;
        const char* message;
    } cases[] = {{readOnly, nullptr, "Failed to update Auto Start (5)"},
                 {readOnly, "C:\\x.exe", "Failed to update Auto Start (5)"},
                 {kScratch + "\\Volatile\\Run", nullptr, "Failed to update Auto Start (1021)"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        if (c.stored) {
            SetKeyAccess(readOnly, kFullAccess);
            RegSetString(HKEY_CURRENT_USER, readOnly, "Kestrow", c.stored);
            SetKeyAccess(readOnly, kReadOnly);
        }
        CMessageBoxRecorder caseBoxes;
        CScratchOptionsDlg dlg(c.path);
        EXPECT_EQ(IDOK, RunOptions(dlg, [&](HWND w) {
                      EXPECT_EQ(c.stored != nullptr, Checked(w, IDC_AUTOSTART));
                      Click(w, IDC_AUTOSTART);
                      Click(w, IDC_SILENCE);
                      Click(w, IDOK);
                  }));
        EXPECT_EQ(1, dlg.m_silence) << "Silence still reaches the main window";
        EXPECT_EQ(std::vector<std::string>{c.message}, caseBoxes.Texts());
        EXPECT_EQ(c.stored ? c.stored : "<none>", RunValue(HKEY_CURRENT_USER, c.path));
    }
}

TEST_F(OptionsDialog, OptionsButtonAppliesSilenceForAnHour) {
    CRunningMainDlg window;
    CMainDlg& win = window.dlg;
    window.Show();
    window.clock.fixedNow = true;
    // Presses Options at 10:mm, works the dialog, and returns when the button's handler is done.
    auto options = [&](WORD minute, const std::function<void(HWND)>& user) {
        window.clock.now = SYSTEMTIME{2003, 3, 0, 5, 10, minute, 0, 0};
        PostMessageA(win.GetDlgItem(IDC_OPTIONS), BM_CLICK, 0, 0);
        HWND w = FindOptionsWindow();
        ASSERT_NE(nullptr, w);
        user(w);
        EXPECT_TRUE(WaitUntil([] { return FindOptionsWindow(0) == nullptr; }, 5000));
        win.SendMessage(WM_NULL);
    };
    auto beepsIn4Ticks = [&](WORD hour, WORD minute) {
        const SYSTEMTIME at{2003, 3, 0, 5, hour, minute, 0, 0};
        return window.BeepsIn4Ticks(&at);
    };

    options(0, [](HWND w) {
        Click(w, IDC_SILENCE);
        Click(w, IDOK);
    });
    EXPECT_EQ("Kestrow - Silence mode", std::string(win.GetWindowText()));
    win.ReportEvent("Service", EVENT_NEW, "a", "b");
    EXPECT_EQ(0, beepsIn4Ticks(13, 0)) << "silence mode mutes the beeps, also after the hour";

    // The Silence box never shows the present mode; Cancel leaves it, and the registry, alone.
    options(20, [](HWND w) {
        EXPECT_FALSE(Checked(w, IDC_SILENCE));
        Click(w, IDC_SILENCE);
        Click(w, IDC_AUTOSTART);
        Click(w, IDCANCEL);
    });
    EXPECT_EQ("Kestrow - Silence mode", std::string(win.GetWindowText()));
    EXPECT_EQ("<none>", RunValue());

    // OK without Silence: the title at once, the beeps only after the hour chosen at 10:00.
    options(20, [](HWND w) { Click(w, IDOK); });
    EXPECT_EQ("Kestrow", std::string(win.GetWindowText()));
    EXPECT_EQ(0, beepsIn4Ticks(10, 59));
    EXPECT_EQ(2, beepsIn4Ticks(11, 1));
    EXPECT_TRUE(boxes.Texts().empty());
}
