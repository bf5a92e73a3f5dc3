// The real main window without its monitors, run modally on a thread of its own as the
// program runs it, with its log in a scratch folder; the test thread plays the user.
#pragma once
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "app/Messages.h"
#include "app/MonitorApp.h"
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

class CQuietMainDlg : public CMainDlg {
public:
    std::atomic<int> beeps{0};
    SYSTEMTIME now{};
    bool fixedNow = false;

protected:
    void StartMonitors() override {}
    void GetNow(SYSTEMTIME* t) const override {
        if (fixedNow)
            *t = now;
        else
            ::GetLocalTime(t);
    }
    void Beep() override { ++beeps; }
};

class CRunningMainDlg {
public:
    CRunningMainDlg() {
        lstrcpyA(m_app.m_programDir, m_dir.path.c_str());
        m_ui = std::thread([this] { m_result = dlg.DoModal(); });
        EXPECT_TRUE(WaitUntil([this] { return dlg.m_hWnd && dlg.m_keepHidden; }, 10000));
        dlg.SendMessage(WM_NULL);
    }
    ~CRunningMainDlg() {
        if (m_ui.joinable()) {
            if (dlg.m_hWnd)
                dlg.PostMessage(WM_CLOSE);
            m_ui.join();
        }
    }
    // As the tray icon's right-button press does.
    void Show() { dlg.SendMessage(WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_RBUTTONDOWN); }
    // Ends the dialog with `msg`; true when it ended within 4 s.
    bool CloseWith(UINT msg, WPARAM wp) {
        dlg.PostMessage(msg, wp);
        bool ended = WaitUntil([this] { return m_result != -2; }, 4000);
        m_ui.join();
        return ended;
    }
    // DoModal's result; -2 while the dialog runs.
    INT_PTR Result() const { return m_result; }
    std::string LogPath() const { return m_dir.path + "Kestrow.csv"; }

    CQuietMainDlg dlg;

private:
    CMonitorApp m_app;
    CTempDir m_dir;
    std::atomic<INT_PTR> m_result{-2};
    std::thread m_ui;
};
