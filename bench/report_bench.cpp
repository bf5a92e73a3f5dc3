// Reports through the real main window and CSV log: 10,000 events from 8 threads, against a
// bare loop that appends the same lines with open, write, close (the floor the log sets).
#include "BenchSupport.h"
#include "app/EventLogFile.h"
#include "app/MainDlg.h"
#include "app/MonitorApp.h"
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace {
#define WM_BENCH_INTHREAD (WM_APP + 500)

class CBenchDlg : public CMainDlg {
public:
    double m_inThreadMs = 0;

protected:
    void StartMonitors() override {}
    void Beep() override {}
    // Reports made on the window's own thread: the cost of a report without the hand-off.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
        if (msg != WM_BENCH_INTHREAD)
            return CMainDlg::OnMessage(msg, wp, lp, result);
        double start = NowMs();
        for (int i = 0; i < static_cast<int>(wp); ++i)
            ReportEvent("Auto Run", EVENT_NEW, "HKLM/Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                        "Value=C:\\Program Files\\Vendor\\app.exe /background");
        m_inThreadMs = NowMs() - start;
        return true;
    }
};
} // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "kestrow-bench\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    CMonitorApp app;
    lstrcpyA(app.m_programDir, dir.c_str());
    std::string log = dir + "Kestrow.csv", bare = dir + "bare.csv";
    DeleteFileA(log.c_str());
    DeleteFileA(bare.c_str());

    const int threads = 8, total = 10000;
    CBenchDlg dlg;
    std::thread ui([&] { dlg.DoModal(); });
    while (!dlg.m_keepHidden)
        Sleep(10);

    double start = NowMs();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int i = t; i < total; i += threads) {
                std::string loc = "HKLM/Software\\Microsoft\\Windows\\CurrentVersion\\Run";
                std::string det = "Value" + std::to_string(i) + "=C:\\Program Files\\Vendor\\app.exe /background";
                dlg.ReportEvent("Auto Run", EVENT_NEW, loc.c_str(), det.c_str());
            }
        });
    for (auto& th : pool)
        th.join();
    double reportMs = NowMs() - start;
    int rows = dlg.m_list.GetItemCount();

    // The same from one thread: what the eight threads' contention costs.
    start = NowMs();
    for (int i = 0; i < 2000; ++i)
        dlg.ReportEvent("Auto Run", EVENT_NEW, "HKLM/Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                        "Value=C:\\Program Files\\Vendor\\app.exe /background");
    double oneThreadMs = (NowMs() - start) / 2000;

    // The floor: the same lines appended with open, write, close.
    SYSTEMTIME now;
    GetLocalTime(&now);
    start = NowMs();
    for (int i = 0; i < total; ++i) {
        EventRecord rec;
        std::string det = "Value" + std::to_string(i) + "=C:\\Program Files\\Vendor\\app.exe /background";
        FillEventRecord(rec, now, "Auto Run", EVENT_NEW, "HKLM/Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                        det.c_str());
        std::string line = FormatCsvLine(rec);
        FILE* f = fopen(bare.c_str(), "ab");
        fwrite(line.data(), 1, line.size(), f);
        fclose(f);
    }
    double bareMs = NowMs() - start;


    // Where a report's time goes: the hand-off alone, and a report made on the window's thread.
    dlg.m_list.DeleteAllItems();
    start = NowMs();
    for (int i = 0; i < 2000; ++i)
        dlg.SendMessage(WM_NULL);
    double handoffMs = NowMs() - start;
    dlg.SendMessage(WM_BENCH_INTHREAD, 2000);

    dlg.PostMessage(WM_CLOSE);
    ui.join();

    double eps = total / (reportMs / 1000.0), bareEps = total / (bareMs / 1000.0);
    printf("report: %d events from %d threads in %.0f ms: %.0f events/s (%d rows)\n", total, threads, reportMs, eps,
           rows);
    printf("bare open/write/close loop: %.0f ms: %.0f lines/s\n", bareMs, bareEps);
    printf("  per report from one thread: %.3f ms\n", oneThreadMs);
    printf("  per report: cross-thread hand-off %.3f ms, report on the window's own thread %.3f ms\n",
           handoffMs / 2000, dlg.m_inThreadMs / 2000);
    printf("ratio (report rate / bare rate): %.2f (goal >= 0.5)\n", eps / bareEps);
    DeleteFileA(log.c_str());
    DeleteFileA(bare.c_str());
    RemoveDirectoryA(dir.c_str());
    return 0;
}
