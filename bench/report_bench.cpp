// Reports through the real main window and CSV log: 10,000 events from 8 threads, against a
// bare loop that appends the same lines with open, write, close (the floor the log sets).
#include "BenchSupport.h"
#include "app/EventLogFile.h"
#include "app/MainDlg.h"
#include "app/Messages.h"
#include "res/resource.h"
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace {
// No beeps; the time is the real one.
class CSilentClock : public CSystemClockSpeaker {
public:
    void Beep() override {}
};
} // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "kestrow-bench\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string log = dir + "Kestrow.csv", bare = dir + "bare.csv";
    DeleteFileA(log.c_str());
    DeleteFileA(bare.c_str());

    const int threads = 8, total = 10000;
    CSilentClock clock;
    CMainDlg dlg(dir, clock, false);
    std::thread ui([&] { dlg.DoModal(); });
    while (!dlg.m_hWnd)
        Sleep(10);
    dlg.SendMessage(WM_START_HIDDEN);
    HWND list = dlg.GetDlgItem(IDC_LIST);

    double start = NowMs();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int i = t; i < total; i += threads) {
                std::string loc = "HKLM/Software\\Microsoft\\Windows\\CurrentVersion\\Run";
                std::string det =
                    "Value" + std::to_string(i) + "=C:\\Program Files\\Vendor\\app.exe /background";
                dlg.ReportEvent("Auto Run", EVENT_NEW, loc.c_str(), det.c_str());
            }
        });
    for (auto& th : pool)
        th.join();
    double reportMs = NowMs() - start;
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));

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
        FillEventRecord(rec, now, "Auto Run", EVENT_NEW,
                        "HKLM/Software\\Microsoft\\Windows\\CurrentVersion\\Run", det.c_str());
        std::string line = FormatCsvLine(rec);
        FILE* f = fopen(bare.c_str(), "ab");
        fwrite(line.data(), 1, line.size(), f);
        fclose(f);
    }
    double bareMs = NowMs() - start;

    // Where a report's time goes: the hand-off alone.
    dlg.SendMessage(WM_COMMAND, IDCANCEL);
    start = NowMs();
    for (int i = 0; i < 2000; ++i)
        dlg.SendMessage(WM_NULL);
    double handoffMs = NowMs() - start;

    dlg.PostMessage(WM_CLOSE);
    ui.join();

    double eps = total / (reportMs / 1000.0), bareEps = total / (bareMs / 1000.0);
    printf("report: %d events from %d threads in %.0f ms: %.0f events/s (%d rows)\n", total, threads,
           reportMs, eps, rows);
    printf("bare open/write/close loop: %.0f ms: %.0f lines/s\n", bareMs, bareEps);
    printf("  per report from one thread: %.3f ms\n", oneThreadMs);
    printf("  per report: cross-thread hand-off %.3f ms\n", handoffMs / 2000);
    printf("ratio (report rate / bare rate): %.2f (goal >= 0.5)\n", eps / bareEps);
    DeleteFileA(log.c_str());
    DeleteFileA(bare.c_str());
    RemoveDirectoryA(dir.c_str());
    return 0;
}
