// The COM monitor's reading and the file association watcher against a large registry:
// 10,000 classes under CLSID (each with an InprocServer32) and 2,000 extensions with their
// ProgIDs and open commands. Each figure is compared with a bare loop that makes the same
// registry calls as a first reading and nothing else; the goal is a ratio of at most 1.3. The
// COM monitor asks a class's own key again only when it was written since, so from its second
// reading on it makes under half the bare loop's calls.
//
// It builds its classes under HKEY_CLASSES_ROOT and removes them again at the end, so it
// runs only under Wine, in a prefix of its own:
//   source scripts/wine-env.sh BUILD/wine-bench; wine BUILD/bench/registry_bench.exe; wine_env_cleanup
#include "monitors/places/COMMonitor.h"
#include "monitors/places/Places.h"
#include "monitors/places/FileAssociationMonitor.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {
const int kClasses = 10000;
const int kExtensions = 2000;
const int kRounds = 9; // the machine is shared: medians of several rounds

std::string ClassName(int i) {
    char name[64];
    std::snprintf(name, sizeof name, "{4B45424E-0000-4000-8000-%012d}", i);
    return name;
}
std::string Extension(int i) {
    return ".kbench" + std::to_string(i);
}
std::string ProgId(int i) {
    return "KestrowBench.File" + std::to_string(i);
}

void SetDefault(const std::string& path, const std::string& text) {
    HKEY key;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
    ::RegCloseKey(key);
}

void RemoveScratch() {
    for (int i = 0; i < kClasses + 1; ++i)
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + ClassName(i)).c_str());
    for (int i = 0; i < kExtensions; ++i) {
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, Extension(i).c_str());
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ProgId(i).c_str());
    }
}

void BuildScratch() {
    for (int i = 0; i < kClasses; ++i) {
        std::string key = "CLSID\\" + ClassName(i);
        SetDefault(key, "Bench Class " + std::to_string(i));
        SetDefault(key + "\\InprocServer32", "C:\\Program Files\\Bench\\class" + std::to_string(i) + ".dll");
    }
    for (int i = 0; i < kExtensions; ++i) {
        SetDefault(ProgId(i) + "\\shell\\open\\command",
                   "\"C:\\Program Files\\Bench\\open" + std::to_string(i) + ".exe\" \"%1\"");
        SetDefault(Extension(i), ProgId(i));
    }
}

double Now() {
    LARGE_INTEGER t, f;
    ::QueryPerformanceCounter(&t);
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

double Time(const std::function<void()>& run) {
    double start = Now();
    run();
    return Now() - start;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class CCountingHost : public IMonitorHost {
public:
    CCountingHost() : m_stop(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~CCountingHost() { ::CloseHandle(m_stop); }
    HANDLE GetStopEvent() const override { return m_stop; }
    DWORD GetSettleTime() const override { return 0; }
    bool ReportEvent(const char*, int, const char*, const char*, const char*) override { return ++m_events; }
    void ReportError(const char*) override {}
    void OnMonitorReady(const char*) override {}
    HANDLE m_stop;
    long m_events = 0;
};

// The COM reading's registry calls alone: per class, open it, read its default value, read
// the defaults of its two server keys, close.
long BareCOMReading(HKEY clsid) {
    long served = 0;
    char name[260];
    BYTE buf[1024];
    for (DWORD i = 0; ::RegEnumKeyA(clsid, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        HKEY cls;
        if (::RegOpenKeyExA(clsid, name, 0, KEY_READ, &cls) != ERROR_SUCCESS)
            continue;
        DWORD size = 1023;
        ::RegQueryValueExA(cls, "", nullptr, nullptr, buf, &size);
        for (const char* server : {"InprocServer32", "LocalServer32"}) {
            HKEY key;
            if (::RegOpenKeyExA(cls, server, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
                continue;
            size = 1023;
            if (::RegQueryValueExA(key, "", nullptr, nullptr, buf, &size) == ERROR_SUCCESS)
                ++served;
            ::RegCloseKey(key);
        }
        ::RegCloseKey(cls);
    }
    return served;
}

// The watcher's registry calls alone: every root subkey enumerated; for an extension, its
// ProgID and that ProgID's command read; when `opened` is given, the command key opened and
// armed (a first snapshot), otherwise the keys already open re-armed first (a comparison).
long BareAssociationReading(HKEY root, HANDLE event, std::vector<HKEY>* opened,
                            const std::vector<HKEY>& armed) {
    if (!opened) {
        ::RegNotifyChangeKeyValue(root, FALSE, REG_NOTIFY_CHANGE_NAME, event, TRUE);
        for (HKEY key : armed)
            ::RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE);
    }
    long found = 0;
    char name[260];
    BYTE buf[1024];
    for (DWORD i = 0; ::RegEnumKeyA(root, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        if (name[0] != '.')
            continue;
        HKEY key;
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            continue;
        DWORD size = 1023;
        LONG r = ::RegQueryValueExA(key, "", nullptr, nullptr, buf, &size);
        ::RegCloseKey(key);
        if (r != ERROR_SUCCESS || !buf[0])
            continue;
        char path[512];
        std::snprintf(path, sizeof path, "%s\\shell\\open\\command", reinterpret_cast<char*>(buf));
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            continue;
        size = 1023;
        r = ::RegQueryValueExA(key, "", nullptr, nullptr, buf, &size);
        ::RegCloseKey(key);
        if (r != ERROR_SUCCESS || !buf[0])
            continue;
        ++found;
        if (opened && ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_NOTIFY, &key) == ERROR_SUCCESS) {
            ::RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE);
            opened->push_back(key);
        }
    }
    return found;
}

double Best(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

// Other work on the machine comes in bursts that slow a whole stretch of rounds, so each run
// is set against the bare run made right beside it: the median of those ratios, and the ratio
// of the best runs.
void Row(const char* what, const std::vector<double>& monitor, const std::vector<double>& bare) {
    std::vector<double> ratios;
    for (size_t i = 0; i < monitor.size(); ++i)
        ratios.push_back(monitor[i] / bare[i]);
    std::printf("%-18s median %7.1f ms (bare %7.1f ms)  best %7.1f ms (bare %7.1f ms)  ratio: paired median "
                "%.2f, best %.2f\n",
                what, Median(monitor) * 1000, Median(bare) * 1000, Best(monitor) * 1000, Best(bare) * 1000,
                Median(ratios), Best(monitor) / Best(bare));
}

struct Usage {
    SIZE_T privateBytes;
    DWORD handles;
};

// Committed private memory of the process, walked region by region (Wine reports no
// PrivateUsage in its memory counters).
SIZE_T PrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION mbi;
    const char* address = nullptr;
    while (::VirtualQuery(address, &mbi, sizeof mbi) == sizeof mbi) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
            total += mbi.RegionSize;
        const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return total;
}

// The process's open handles. Wine's GetProcessHandleCount says 0, so count this process's
// entries of the system handle table instead.
DWORD HandleCount() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count)
        return count;
    struct Entry {
        ULONG pid;
        UCHAR type, flags;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
    if (!query)
        return 0;
    std::vector<char> buf(1 << 20);
    ULONG length = 0;
    LONG status;
    while ((status = query(16 /* SystemHandleInformation */, buf.data(), static_cast<ULONG>(buf.size()),
                           &length)) == static_cast<LONG>(0xC0000004) /* STATUS_INFO_LENGTH_MISMATCH */
           && buf.size() < (256u << 20))
        buf.resize(buf.size() * 2);
    if (status != 0)
        return 0;
    ULONG entries = *reinterpret_cast<ULONG*>(buf.data());
    const Entry* entry = reinterpret_cast<const Entry*>(buf.data() + sizeof(ULONG_PTR));
    ULONG self = ::GetCurrentProcessId();
    for (ULONG i = 0; i < entries; ++i)
        if (entry[i].pid == self)
            ++count;
    return count;
}

Usage Measure() {
    return {PrivateBytes(), HandleCount()};
}
} // namespace

int main() {
    if (!::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        std::printf("registry_bench writes 12,000 keys under HKEY_CLASSES_ROOT: run it under Wine, in a "
                    "prefix of its own\n");
        return 2;
    }
    RemoveScratch(); // left over by an interrupted run
    double built = Time(BuildScratch);
    std::printf("scratch registry: %d classes, %d extensions, built in %.1f s\n\n", kClasses, kExtensions,
                built);

    CCountingHost host;
    {
        auto com = MakeRegistryWatch(RegistryPlacesOf(CATEGORY_COM)[0]);
        if (!com->Source().Arm(host)) {
            std::printf("cannot open HKCR\\CLSID\n");
            RemoveScratch();
            return 1;
        }
        HKEY clsid;
        ::RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &clsid);
        std::vector<double> snap, compare, bare, bareCompare;
        long served = 0;
        // Alternate which of a pair goes first, so that neither always meets a warmer server.
        auto pair = [&](int round, std::vector<double>& monitorTimes, const std::function<void()>& monitor,
                        std::vector<double>& bareTimes) {
            if (round % 2)
                monitorTimes.push_back(Time(monitor));
            bareTimes.push_back(Time([&] { served = BareCOMReading(clsid); }));
            if (round % 2 == 0)
                monitorTimes.push_back(Time(monitor));
        };
        for (int round = 0; round < kRounds; ++round) {
            // A watch of its own: a first reading has nothing kept from an earlier one.
            auto first = MakeRegistryWatch(RegistryPlacesOf(CATEGORY_COM)[0]);
            first->Source().Arm(host);
            pair(
                round, snap, [&] { first->TakeFirstSnapshot(host); }, bare);
            if (round == 0)
                com->TakeFirstSnapshot(host);
            // One class more or less at each comparison, as an installer would make.
            if (round % 2 == 0)
                SetDefault("CLSID\\" + ClassName(kClasses) + "\\InprocServer32", "C:\\bench\\extra.dll");
            else
                ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + ClassName(kClasses)).c_str());
            pair(
                round, compare, [&] { com->Compare(host); }, bareCompare);
        }
        ::RegCloseKey(clsid);
        std::printf("COM monitor (%ld server keys read, %ld events in %d comparisons)\n", served,
                    host.m_events, kRounds);
        Row("  first snapshot", snap, bare);
        Row("  one comparison", compare, bareCompare);
    }

    {
        HKEY root;
        ::RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &root);
        HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        std::vector<double> watch, change, bareWatch, bareChange;
        Usage before{}, after{};
        long recorded = 0;
        auto bareRound = [&] {
            std::vector<HKEY> opened;
            bareWatch.push_back(Time([&] { BareAssociationReading(root, event, &opened, {}); }));
            bareChange.push_back(Time([&] { BareAssociationReading(root, event, nullptr, opened); }));
            for (HKEY key : opened)
                ::RegCloseKey(key);
        };
        for (int round = 0; round < kRounds; ++round) {
            if (round % 2 == 0)
                bareRound();
            {
                // Memory is measured in the first round, before the heap holds freed blocks.
                Usage start = Measure();
                auto* watcher = new CFileAssociationWatcher;
                CWatch watch1(std::unique_ptr<CWatchSource>(watcher), CATEGORY_FILEASSOC, NameAsLocation);
                watch.push_back(Time([&] {
                    watcher->Arm(host);
                    watch1.TakeFirstSnapshot(host);
                }));
                if (round == 0) {
                    before = start;
                    after = Measure();
                }
                recorded = 0;
                watcher->ReadItems([&recorded](const std::string&, const std::string&) { ++recorded; });
                auto onChange = [&] {
                    watcher->Rearm();
                    watch1.Compare(host);
                };
                onChange(); // the comparison that follows a start
                change.push_back(Time(onChange));
            }
            if (round % 2)
                bareRound();
        }
        ::CloseHandle(event);
        ::RegCloseKey(root);
        std::printf("\nFile association watcher (%ld extensions recorded)\n", recorded);
        Row("  first snapshot", watch, bareWatch);
        Row("  one comparison", change, bareChange);
        std::printf("  with every extension recorded: private memory +%.0f KB (%.0f bytes each), handles "
                    "+%lu (%lu in all)\n",
                    (static_cast<double>(after.privateBytes) - static_cast<double>(before.privateBytes)) /
                        1024,
                    (static_cast<double>(after.privateBytes) - static_cast<double>(before.privateBytes)) /
                        (recorded ? recorded : 1),
                    static_cast<unsigned long>(after.handles - before.handles),
                    static_cast<unsigned long>(after.handles));
        std::printf("  process private memory %.1f MB\n",
                    static_cast<double>(after.privateBytes) / (1024 * 1024));
    }

    double removed = Time(RemoveScratch);
    std::printf("\nscratch registry removed in %.1f s\n", removed);
    return 0;
}
