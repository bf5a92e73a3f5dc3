// The real main window without its monitors, run modally on a thread of its own as the
// program runs it, with its log in a scratch folder and a clock the test sets; the test
// thread plays the monitors and the user.
#pragma once
#include "TestSupport.h"
#include "app/MainDlg.h"
#include "app/Messages.h"
#include "res/resource.h"
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

// The real time unless stopped at `now`; the beeps are counted.
class CTestClock : public IClockSpeaker {
public:
    std::atomic<int> beeps{0};
    SYSTEMTIME now{};
    bool fixedNow = false;

    SYSTEMTIME Now() const override {
        SYSTEMTIME t = now;
        if (!fixedNow)
            ::GetLocalTime(&t);
        return t;
    }
    void Beep() override { ++beeps; }
};

class CRunningMainDlg {
public:
    CRunningMainDlg() {
        m_ui = std::thread([this] { m_result = dlg.DoModal(); });
        EXPECT_TRUE(WaitUntil([this] { return dlg.m_hWnd != nullptr; }, 10000));
        // What the window posts itself at start, sent so that it is hidden when this returns.
        dlg.SendMessage(WM_START_HIDDEN);
        list.m_hWnd = dlg.GetDlgItem(IDC_LIST);
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
    // Four alert ticks at `now` (the real time when null); the beeps they made.
    int BeepsIn4Ticks(const SYSTEMTIME* at = nullptr) {
        clock.fixedNow = at != nullptr;
        if (at)
            clock.now = *at;
        int before = clock.beeps;
        for (int i = 0; i < 4; ++i)
            dlg.SendMessage(WM_TIMER, IDT_ALERT);
        return clock.beeps - before;
    }

private:
    CTempDir m_dir;

public:
    CTestClock clock;
    CMainDlg dlg{m_dir.path, clock, false};
    // The window's event list, seen from outside.
    stListCtrl list;

private:
    std::atomic<INT_PTR> m_result{-2};
    std::thread m_ui;
};
