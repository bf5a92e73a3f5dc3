// A one-key registry monitor on a real thread with a recording host and a 300 ms settle.
#pragma once
#include "TestSupport.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

class MonitorThreadTest : public testing::Test {
  protected:
    CRecordingHost host{300};
    std::thread thread;

    void TearDown() override { Stop(); }
    void Start(UINT (*proc)(LPVOID)) {
        thread = std::thread([this, proc] { proc(static_cast<IMonitorHost*>(&host)); });
        ASSERT_TRUE(host.WaitForReady(1, 10000));
    }
    void Stop() {
        if (thread.joinable()) {
            SetEvent(host.m_stop);
            thread.join();
        }
    }
    // Waits for n events, then a while longer so that any extra one shows up too. Sorted by
    // location, then kind: the order of Deleted reports is not fixed.
    std::vector<RecordedEvent> Expect(size_t n) {
        EXPECT_TRUE(host.WaitForEvents(n, 8000)) << "only " << host.Events().size() << " of " << n;
        Sleep(900);
        auto events = host.Events();
        host.Clear();
        std::sort(events.begin(), events.end(), [](const RecordedEvent& a, const RecordedEvent& b) {
            return a.location != b.location ? a.location < b.location : a.kind < b.kind;
        });
        return events;
    }
    // Events reported within one second (three settles) of a change that must report nothing.
    std::vector<RecordedEvent> Quiet() {
        Sleep(1000);
        auto events = host.Events();
        host.Clear();
        return events;
    }
};
