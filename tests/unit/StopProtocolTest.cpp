#include "TestSupport.h"
#include "monitors/RegistrySource.h"
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

TEST(StopProtocol, NineWaitingMonitorsAllEndWithinTheTwelveSignals) {
    CRecordingHost host(100);
    const std::string base = "Software\\KestrowTests\\Stop";
    std::vector<std::string> paths;
    for (int i = 0; i < 9; ++i) {
        paths.push_back(base + std::to_string(i));
        RegCreateKeyAt(HKEY_CURRENT_USER, paths.back());
    }
    std::atomic<int> ended{0};
    std::vector<std::thread> monitors;
    for (int i = 0; i < 9; ++i)
        monitors.emplace_back([&, i] {
            RegistryWatchSettings s{.category = "Test",
                                    .hive = HKEY_CURRENT_USER,
                                    .hiveName = "HKCU",
                                    .path = paths[i].c_str(),
                                    .read = ReadValueTexts};
            RunRegistryMonitor(host, "test", {s});
            ++ended;
        });
    ASSERT_TRUE(host.WaitForReady(9, 10000));
    // One monitor is busy settling when the stop comes: it still ends at its next wait.
    RegSetString(HKEY_CURRENT_USER, paths[4], "v", "1");
    Sleep(20);
    SignalStop(host.m_stop, 50);
    DWORD start = GetTickCount();
    while (ended < 9 && GetTickCount() - start < 3000)
        Sleep(10);
    EXPECT_EQ(9, ended.load());
    for (auto& t : monitors)
        t.join();
    EXPECT_EQ(1u, host.Events().size());
    RegDeleteTreeAt(HKEY_CURRENT_USER, base.substr(0, base.rfind('\\')));
}
