// A monitor on a real thread with a recording host and a 300 ms settle; CleanUp runs before
// and after each test.
#pragma once
#include "TestSupport.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

class MonitorThreadTest : public testing::Test {
protected:
    CRecordingHost host{300};
    std::thread thread;

    virtual void CleanUp() {}
    void SetUp() override { CleanUp(); }
    void TearDown() override {
        Stop();
        CleanUp();
    }
    void Start(std::function<void()> run) {
        thread = std::thread(std::move(run));
        ASSERT_TRUE(host.WaitForReady(1, 10000));
    }
    void Start(UINT (*proc)(LPVOID)) {
        Start([this, proc] { proc(static_cast<IMonitorHost*>(&host)); });
    }
    void Stop() {
        if (thread.joinable()) {
            SetEvent(host.m_stop);
            thread.join();
        }
    }
    // Waits for n events, then a while longer so that any extra one shows up too. Sorted by
    // location, then kind, then details: the order of Deleted reports is not fixed.
    Events Expect(size_t n) {
        EXPECT_TRUE(host.WaitForEvents(n, 8000)) << "only " << host.Events().size() << " of " << n;
        Sleep(900);
        auto events = host.Events();
        host.Clear();
        std::sort(events.begin(), events.end(), [](const RecordedEvent& a, const RecordedEvent& b) {
            return std::tie(a.location, a.kind, a.details) < std::tie(b.location, b.kind, b.details);
        });
        return events;
    }
    // Events reported within one second (three settles) of a change that must report nothing.
    Events Quiet() {
        Sleep(1000);
        auto events = host.Events();
        host.Clear();
        return events;
    }
};
