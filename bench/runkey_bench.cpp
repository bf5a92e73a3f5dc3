// One comparison of a Run-like key of 5,000 values with 100 changed, against a bare loop that
// enumerates the same key with the same calls; and the in-memory comparison of 100,000 items.
#include "BenchSupport.h"
#include "monitors/engine/RegistrySource.h"
#include <cstdio>
#include <string>

namespace {
const char* kPath = "Software\\KestrowBench\\Run";

void SetValue(HKEY key, int i, int generation) {
    std::string name = "Value" + std::to_string(i);
    std::string data =
        "C:\\Program Files\\Vendor" + std::to_string(i) + "\\app.exe /gen " + std::to_string(generation);
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
}

double BareEnumeration() {
    HKEY key;
    RegOpenKeyA(HKEY_CURRENT_USER, kPath, &key);
    double start = NowMs();
    char name[260];
    BYTE data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = sizeof name, size = sizeof data, type;
        name[0] = 0;
        data[0] = 0;
        if (RegEnumValueA(key, i, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
    }
    double ms = NowMs() - start;
    RegCloseKey(key);
    return ms;
}
} // namespace

int main() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KestrowBench");
    HKEY key;
    RegCreateKeyA(HKEY_CURRENT_USER, kPath, &key);
    for (int i = 0; i < 5000; ++i)
        SetValue(key, i, 0);

    struct CCountingHost : IMonitorHost {
        HANDLE GetStopEvent() const override { return nullptr; }
        DWORD GetSettleTime() const override { return 0; }
        bool ReportEvent(const char*, int, const char*, const char*, const char*) override {
            return ++reported;
        }
        void ReportError(const char*) override {}
        void OnMonitorReady(const char*) override {}
        int reported = 0;
    } host;
    RegistryWatchSettings settings{.category = "Bench",
                                   .hive = HKEY_CURRENT_USER,
                                   .hiveName = "HKCU",
                                   .path = kPath,
                                   .read = ReadValueTexts,
                                   .location = "HKCU/Bench"};
    auto watch = MakeRegistryWatch(settings);
    watch->Source().Arm(host);
    watch->TakeFirstSnapshot(host);

    std::vector<double> compare, bare;
    for (int round = 1; round <= 9; ++round) {
        for (int i = 0; i < 100; ++i)
            SetValue(key, (round * 37 + i * 50) % 5000, round);
        double start = NowMs();
        watch->Compare(host);
        compare.push_back(NowMs() - start);
        bare.push_back(BareEnumeration());
    }
    double c = Median(compare), b = Median(bare);
    printf("Run key of 5000 values, 100 changed: comparison %.2f ms, bare enumeration %.2f ms, ratio %.2f "
           "(goal <= 1.3); "
           "%d changes reported over 9 rounds\n",
           c, b, c / b, host.reported);
    RegCloseKey(key);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KestrowBench");

    // The comparison alone, in memory.
    const int n = 100000;
    std::vector<std::pair<std::string, std::string>> items;
    for (int i = 0; i < n; ++i)
        items.emplace_back("{" + std::to_string(i) + "-0000-0000}",
                           "C:\\Windows\\System32\\server" + std::to_string(i) + ".dll");
    CPlaceSnapshot snapshot;
    snapshot.Compare(items,
                     [](int, const std::string&, const std::string&, const std::string&) { return true; });
    for (int i = 0; i < n; i += 100)
        items[i].second += " changed";
    int events = 0;
    double start = NowMs();
    snapshot.Compare(
        items, [&](int, const std::string&, const std::string&, const std::string&) { return ++events; });
    double ms = NowMs() - start;
    printf("in-memory comparison of %d items (%d changed): %.1f ms, %.0f items/s\n", n, events, ms,
           n / (ms / 1000.0));
    return 0;
}
