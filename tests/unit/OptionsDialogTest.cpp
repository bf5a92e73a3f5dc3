// The Options dialog run modally on a thread of its own, driven by the test thread as the
// user would; Auto Start against the machine's real Run key (restored afterwards) and, for
// the failures, against scratch keys the dialog cannot write.
#include "RunningMainWindow.h"
#include "app/Alert.h"
#include "app/OptionsDlg.h"
#include "res/resource.h"
#include <sddl.h>

namespace {
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kScratch = "Software\\KestrowTests\\Options";

// The Options dialog of this process, once it is on the screen.
HWND FindOptionsWindow(DWORD ms = 10000) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            EnumWindows(
                [](HWND h, LPARAM out) -> BOOL {
                    char text[64] = "";
                    DWORD pid = 0;
                    GetWindowThreadProcessId(h, &pid);
                    GetWindowTextA(h, text, sizeof text);
                    if (pid == GetCurrentProcessId() && !lstrcmpA(text, "Kestrow Options") && IsWindowVisible(h)) {
                        *reinterpret_cast<HWND*>(out) = h;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&found));
            return found != nullptr;
        },
        ms);
    return found;
}

bool Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }
void Click(HWND dlg, int id) { SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }

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
    HKEY key;
    if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<none>";
    char data[1024] = "";
    DWORD size = sizeof data - 1, type = 0;
    LONG r = RegQueryValueExA(key, "Kestrow", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return "<none>";
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    return data;
}

std::string ProgramCommand() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(AutoStartCommand(path));
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

    void SetUp() override {
        m_saved = RunValue();
        RegDeleteValueAt(HKEY_LOCAL_MACHINE, kRun, "Kestrow");
    }
    void TearDown() override {
        if (m_saved == "<none>")
            RegDeleteValueAt(HKEY_LOCAL_MACHINE, kRun, "Kestrow");
        else
            RegSetString(HKEY_LOCAL_MACHINE, kRun, "Kestrow", m_saved);
        if (RegKeyExists(HKEY_CURRENT_USER, kScratch + "\\ReadOnly"))
            SetKeyAccess(kScratch + "\\ReadOnly", "D:P(A;;KA;;;WD)");
        RegDeleteTreeAt(HKEY_CURRENT_USER, kScratch);
    }
};

TEST_F(OptionsDialog, OpensWithAutoStartAsStoredAndSilenceUnticked) {
    struct Case {
        const char* stored; // nullptr: no value
        bool ticked;
    } cases[] = {{nullptr, false},
                 {"", false},
                 {"C:\\Tools\\Kestrow.exe", true},
                 {"\"C:\\Program Files\\Kestrow\\Kestrow.exe\"", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "no value");
        if (c.stored)
            RegSetString(HKEY_LOCAL_MACHINE, kRun, "Kestrow", c.stored);
        COptionsDlg dlg;
        bool autoStart = !c.ticked, silence = true;
        EXPECT_EQ(IDCANCEL, RunOptions(dlg, [&](HWND w) {
                      autoStart = Checked(w, IDC_AUTOSTART);
                      silence = Checked(w, IDC_SILENCE);
                      Click(w, IDCANCEL);
                  }));
        EXPECT_EQ(c.ticked, autoStart);
        EXPECT_FALSE(silence);
        EXPECT_EQ(c.stored ? c.stored : "<none>", RunValue());
    }
}

TEST_F(OptionsDialog, OkWritesTheProgramOrRemovesTheValue) {
    CMessageBoxRecorder boxes;
    {
        COptionsDlg dlg;
        EXPECT_EQ(IDOK, RunOptions(dlg, [](HWND w) {
                      Click(w, IDC_AUTOSTART);
                      Click(w, IDOK);
                  }));
        EXPECT_EQ(1, dlg.m_autoStart);
        EXPECT_EQ(0, dlg.m_silence);
        EXPECT_EQ(ProgramCommand(), RunValue());
    }
    {
        // Another program's path under our name is replaced by this one.
        RegSetString(HKEY_LOCAL_MACHINE, kRun, "Kestrow", "C:\\Old\\Kestrow.exe");
        COptionsDlg dlg;
        EXPECT_EQ(IDOK, RunOptions(dlg, [](HWND w) { Click(w, IDOK); }));
        EXPECT_EQ(ProgramCommand(), RunValue());
    }
    for (int round = 0; round < 2; ++round) {
        // Unticked removes the value; once it is gone, OK again is no failure.
        COptionsDlg dlg;
        EXPECT_EQ(IDOK, RunOptions(dlg, [&](HWND w) {
                      EXPECT_EQ(round == 0, Checked(w, IDC_AUTOSTART));
                      if (round == 0)
                          Click(w, IDC_AUTOSTART);
                      Click(w, IDOK);
                  }));
        EXPECT_EQ(0, dlg.m_autoStart);
        EXPECT_EQ("<none>", RunValue());
    }
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(OptionsDialog, PathsWithSpacesAreQuoted) {
    EXPECT_EQ("\"C:\\Program Files\\Kestrow\\Kestrow.exe\"",
              std::string(AutoStartCommand("C:\\Program Files\\Kestrow\\Kestrow.exe")));
    EXPECT_EQ("C:\\Tools\\Kestrow.exe", std::string(AutoStartCommand("C:\\Tools\\Kestrow.exe")));
    std::string longest = "C:\\" + std::string(250, 'a') + " b.exe";
    EXPECT_EQ("\"" + longest + "\"", std::string(AutoStartCommand(longest.c_str())));
}

TEST_F(OptionsDialog, CancelEscapeAndCloseBoxChangeNothing) {
    CMessageBoxRecorder boxes;
    const std::function<void(HWND)> ways[] = {
        [](HWND w) { Click(w, IDCANCEL); },
        [](HWND w) { PostMessageA(GetDlgItem(w, IDC_AUTOSTART), WM_KEYDOWN, VK_ESCAPE, 0); },
        [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        // Ticking adds no value, unticking removes none.
        const char* stored = i == 0 ? nullptr : "C:\\x.exe";
        if (stored)
            RegSetString(HKEY_LOCAL_MACHINE, kRun, "Kestrow", stored);
        COptionsDlg dlg;
        EXPECT_EQ(IDCANCEL, RunOptions(dlg, [&](HWND w) {
                      Click(w, IDC_AUTOSTART);
                      Click(w, IDC_SILENCE);
                      ways[i](w);
                  }));
        EXPECT_EQ(stored ? stored : "<none>", RunValue());
    }
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(OptionsDialog, AutoStartThatCannotBeStoredIsReported) {
    // A key the dialog may read but not write, as the machine's Run key is without the right.
    std::string readOnly = kScratch + "\\ReadOnly";
    RegCreateKeyAt(HKEY_CURRENT_USER, readOnly);
    SetKeyAccess(readOnly, "D:P(A;;KR;;;WD)");
    {
        CMessageBoxRecorder boxes;
        CScratchOptionsDlg dlg(readOnly);
        EXPECT_EQ(IDOK, RunOptions(dlg, [](HWND w) {
                      Click(w, IDC_AUTOSTART);
                      Click(w, IDC_SILENCE);
                      Click(w, IDOK);
                  }));
        EXPECT_EQ(1, dlg.m_silence) << "Silence still reaches the main window";
        EXPECT_EQ(std::vector<std::string>{"Failed to update Auto Start (5)"}, boxes.Texts());
        EXPECT_EQ("<none>", RunValue(HKEY_CURRENT_USER, readOnly));
    }
    {
        SetKeyAccess(readOnly, "D:P(A;;KA;;;WD)");
        RegSetString(HKEY_CURRENT_USER, readOnly, "Kestrow", "C:\\x.exe");
        SetKeyAccess(readOnly, "D:P(A;;KR;;;WD)");
        CMessageBoxRecorder boxes;
        CScratchOptionsDlg dlg(readOnly);
        EXPECT_EQ(IDOK, RunOptions(dlg, [](HWND w) {
                      EXPECT_TRUE(Checked(w, IDC_AUTOSTART));
                      Click(w, IDC_AUTOSTART);
                      Click(w, IDOK);
                  }));
        EXPECT_EQ(std::vector<std::string>{"Failed to update Auto Start (5)"}, boxes.Texts());
        EXPECT_EQ("C:\\x.exe", RunValue(HKEY_CURRENT_USER, readOnly));
    }
    {
        // A key that cannot even be created: a lasting key under a volatile one.
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (kScratch + "\\Volatile").c_str(), 0, nullptr,
                                                 REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
        CMessageBoxRecorder boxes;
        CScratchOptionsDlg dlg(kScratch + "\\Volatile\\Run");
        EXPECT_EQ(IDOK, RunOptions(dlg, [](HWND w) {
                      Click(w, IDC_AUTOSTART);
                      Click(w, IDOK);
                  }));
        EXPECT_EQ(std::vector<std::string>{"Failed to update Auto Start (1021)"}, boxes.Texts());
    }
}

TEST_F(OptionsDialog, LayoutAndTabOrder) {
    COptionsDlg dlg;
    RunOptions(dlg, [](HWND w) {
        char text[64] = "";
        GetWindowTextA(w, text, sizeof text);
        EXPECT_STREQ("Kestrow Options", text);
        DWORD style = static_cast<DWORD>(GetWindowLongPtrA(w, GWL_STYLE));
        EXPECT_EQ(static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_POPUP),
                  style & (WS_CAPTION | WS_SYSMENU | WS_POPUP | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
        EXPECT_TRUE(GetWindowLongPtrA(w, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
        RECT client{}, want{0, 0, 208, 98};
        GetClientRect(w, &client);
        MapDialogRect(w, &want);
        EXPECT_EQ(want.right, client.right);
        EXPECT_EQ(want.bottom, client.bottom);

        struct Expected {
            int id;
            const char* cls;
            const char* text;
            RECT units; // x, y, width, height
            DWORD type; // the low style bits: button kind or static kind
            bool tabStop;
        } controls[] = {
            {-1, "Static", "", {11, 17, 20, 20}, SS_ICON, false},
            {IDOK, "Button", "OK", {115, 75, 50, 16}, BS_DEFPUSHBUTTON, true},
            {IDCANCEL, "Button", "Cancel", {44, 75, 50, 16}, BS_PUSHBUTTON, true},
            {IDC_AUTOSTART, "Button", "&Auto Start", {68, 31, 58, 13}, BS_AUTOCHECKBOX, true},
            {IDC_SILENCE, "Button", "&Silence (for an hour)", {68, 46, 79, 11}, BS_AUTOCHECKBOX, true},
        };
        HWND child = GetWindow(w, GW_CHILD); // creation order
        for (const Expected& e : controls) {
            SCOPED_TRACE(e.id);
            ASSERT_NE(nullptr, child);
            char cls[32] = "";
            GetClassNameA(child, cls, sizeof cls);
            EXPECT_EQ(0, lstrcmpiA(e.cls, cls));
            EXPECT_EQ(e.id, static_cast<int>(static_cast<short>(GetDlgCtrlID(child))));
            DWORD s = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
            EXPECT_EQ(e.type, s & 0x1F);
            EXPECT_EQ(e.tabStop, (s & WS_TABSTOP) != 0);
            if (e.id == -1) {
                EXPECT_NE(0, SendMessageA(child, STM_GETICON, 0, 0)) << "the program icon";
            } else {
                GetWindowTextA(child, text, sizeof text);
                EXPECT_STREQ(e.text, text);
            }
            // Position and size are converted each on its own; an icon sizes itself to the icon.
            RECT at{}, units = e.units;
            GetWindowRect(child, &at);
            MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&at), 2);
            MapDialogRect(w, &units);
            EXPECT_EQ(units.left, at.left);
            EXPECT_EQ(units.top, at.top);
            if (e.id != -1) {
                EXPECT_EQ(units.right, at.right - at.left);
                EXPECT_EQ(units.bottom, at.bottom - at.top);
            }
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(nullptr, child);
        Click(w, IDCANCEL);
    });
}

TEST_F(OptionsDialog, OptionsButtonAppliesSilenceForAnHour) {
    CRunningMainDlg window;
    CQuietMainDlg& win = window.dlg;
    window.Show();
    win.fixedNow = true;
    win.now = SYSTEMTIME{2003, 3, 0, 5, 10, 0, 0, 0};
    CMessageBoxRecorder boxes;

    // Presses Options, works the dialog, and returns when the button's handler is done.
    auto options = [&](const std::function<void(HWND)>& user) {
        PostMessageA(win.GetDlgItem(IDC_OPTIONS), BM_CLICK, 0, 0);
        HWND w = FindOptionsWindow();
        ASSERT_NE(nullptr, w);
        user(w);
        EXPECT_TRUE(WaitUntil([] { return FindOptionsWindow(0) == nullptr; }, 5000));
        win.SendMessage(WM_NULL);
    };
    auto beepsIn4Ticks = [&](WORD hour, WORD minute) {
        win.now = SYSTEMTIME{2003, 3, 0, 5, hour, minute, 0, 0};
        int before = win.beeps;
        for (int i = 0; i < 4; ++i)
            win.SendMessage(WM_TIMER, IDT_ALERT);
        return win.beeps - before;
    };

    options([](HWND w) {
        Click(w, IDC_SILENCE);
        Click(w, IDOK);
    });
    EXPECT_EQ("Kestrow - Silence mode", std::string(win.GetWindowText()));
    EXPECT_EQ(1, win.m_silenced);
    SYSTEMTIME until = win.m_silenceUntil;
    EXPECT_EQ(WholeSeconds(SYSTEMTIME{2003, 3, 0, 5, 11, 0, 0, 0}), WholeSeconds(until));
    win.ReportEvent("Service", EVENT_NEW, "a", "b");
    EXPECT_EQ(0, beepsIn4Ticks(13, 0)) << "silence mode mutes the beeps, also after the hour";

    // The Silence box never shows the present mode; Cancel leaves it, and the registry, alone.
    win.now = SYSTEMTIME{2003, 3, 0, 5, 10, 20, 0, 0};
    options([](HWND w) {
        EXPECT_FALSE(Checked(w, IDC_SILENCE));
        Click(w, IDC_SILENCE);
        Click(w, IDC_AUTOSTART);
        Click(w, IDCANCEL);
    });
    EXPECT_EQ("Kestrow - Silence mode", std::string(win.GetWindowText()));
    EXPECT_EQ(1, win.m_silenced);
    EXPECT_EQ(WholeSeconds(until), WholeSeconds(win.m_silenceUntil));
    EXPECT_EQ("<none>", RunValue());

    // OK without Silence: the title at once, the beeps only after the hour.
    options([](HWND w) { Click(w, IDOK); });
    EXPECT_EQ("Kestrow", std::string(win.GetWindowText()));
    EXPECT_EQ(0, win.m_silenced);
    EXPECT_EQ(WholeSeconds(until), WholeSeconds(win.m_silenceUntil));
    EXPECT_EQ(0, beepsIn4Ticks(10, 59));
    EXPECT_EQ(2, beepsIn4Ticks(11, 1));
    EXPECT_TRUE(boxes.Texts().empty());
}
