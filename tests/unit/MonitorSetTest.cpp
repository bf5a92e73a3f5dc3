// The monitor set on a roster of its own: its stop ends every monitor that heeds it, however many,
// waits only so long for one that does not, and refuses what that one reports later.
#include "TestSupport.h"
#include "monitors/engine/MonitorSet.h"
#include <gtest/gtest.h>

namespace {
CHandle g_release = MakeEvent(true);
std::atomic<int> g_ended{0}, g_refused{0};

struct CSink : IReportSink {
    std::atomic<int> reports{0};
    bool ReportEvent(const char*, int, const char*, const char*, const char*) override {
        return ++reports, true;
    }
    void ReportError(const char*) override {}
};
} // namespace

TEST(MonitorSet, TheStopJoinsWithinItsBoundAndRefusesLateReports) {
    // More monitors than the twelve signals of the stop, and one that does not heed it.
    std::vector<MonitorRow> roster(
        14, {"Heeds", "KT", [](IMonitorHost& host, const MonitorRow&, CSnapshotStore*) -> UINT {
                 WaitForSingleObject(host.GetStopEvent(), INFINITE);
                 return ++g_ended, 0;
             }});
    roster.push_back({"Busy", "KT", [](IMonitorHost& host, const MonitorRow& row, CSnapshotStore*) -> UINT {
                          host.ReportEvent(row.category, 0, "before", "", nullptr);
                          WaitForSingleObject(g_release.Get(), INFINITE);
                          g_refused += !host.ReportEvent(row.category, 0, "after", "", nullptr);
                          return ++g_ended, 0;
                      }});
    CSink sink;
    {
        CMonitorSet set(roster, sink);
        set.Start();
        EXPECT_TRUE(WaitUntil([&] { return sink.reports == 1; }, 30000));
        set.BeginStop();
        set.EndStop(100);
        EXPECT_EQ(14, g_ended.load()); // the busy one is still running
    }
    SetEvent(g_release.Get());
    EXPECT_TRUE(WaitUntil([] { return g_ended == 15; }, 30000));
    EXPECT_EQ(1, g_refused.load());
    EXPECT_EQ(1, sink.reports.load());
}
