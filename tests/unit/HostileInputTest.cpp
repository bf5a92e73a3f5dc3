// Hostile values under a Run key, reported by the real Auto Run monitor: each one gives one
// event with the right texts, and its CSV line reads back as exactly five fields.
#include "CsvCheck.h"
#include "TestSupport.h"
#include "app/EventLogFile.h"
#include "monitors/AutoRunMonitor.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

namespace {
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct Hostile {
    std::string name;
    std::string data; // as stored; REG_SZ gets its terminating zero from RegSetString
    DWORD type;
    std::string text; // the data as the monitor must render it
};

std::vector<Hostile> HostileValues() {
    std::string binary;
    for (int b = 1; b <= 255; ++b) // no zero byte anywhere, 0x80-0xFF included
        binary += static_cast<char>(b);
    std::string big(65535, 'D'); // 64 KB with its terminating zero
    return {
        {"KT_" + std::string(252, 'N'), "x", REG_SZ, "x"}, // a 255-character name
        {"KT_Big", big, REG_SZ, std::string(1023, 'D')},
        {"KT_Bin", binary, REG_BINARY, binary},
        {"KT_\x80\x9f\xe9\xff", "\xa0" "caf\xe9 \x80", REG_SZ, "\xa0" "caf\xe9 \x80"},
        {"KT_q\"u,o\r\nte", "a\"b,c\r\nd\"", REG_SZ, "a\"b,c\r\nd\""},
        // A name that, written without quoting, would end its line and forge another.
        {"KT_x\"\r\n\"01/01/2000\",\"Auto Run\",\"Deleted\",\"HKLM/Forged\",\"evil=1", "y", REG_SZ, "y"},
    };
}

void SetValue(const Hostile& v) {
    if (v.type == REG_SZ)
        RegSetString(HKEY_CURRENT_USER, kRun, v.name.c_str(), v.data);
    else
        RegSetBinary(HKEY_CURRENT_USER, kRun, v.name.c_str(), v.data.data(), static_cast<DWORD>(v.data.size()),
                     v.type);
}

void CleanUp() {
    for (const Hostile& v : HostileValues())
        RegDeleteValueAt(HKEY_CURRENT_USER, kRun, v.name.c_str());
}

class HostileInput : public testing::Test {
protected:
    CRecordingHost host{300};
    std::thread thread;

    void SetUp() override { CleanUp(); }
    void TearDown() override {
        if (thread.joinable()) {
            SetEvent(host.m_stop);
            thread.join();
        }
        CleanUp();
    }
};
} // namespace

TEST_F(HostileInput, RunValuesGiveOneEventAndOneFiveFieldLineEach) {
    thread = std::thread([this] { MonitorRunKeysProc(static_cast<IMonitorHost*>(&host)); });
    ASSERT_TRUE(host.WaitForReady(1, 10000));
    auto values = HostileValues();
    for (const Hostile& v : values)
        SetValue(v);
    ASSERT_TRUE(host.WaitForEvents(values.size(), 8000)) << "only " << host.Events().size();
    Sleep(900);
    auto events = host.Events();
    ASSERT_EQ(values.size(), events.size());

    SYSTEMTIME now{};
    now.wDay = 5;
    now.wMonth = 3;
    now.wYear = 2003;
    for (const Hostile& v : values) {
        std::string details = v.name + "=" + v.text;
        auto found = std::find_if(events.begin(), events.end(),
                                  [&](const RecordedEvent& e) { return e.details == details; });
        ASSERT_NE(events.end(), found) << "no event for " << v.name.substr(0, 20);
        EXPECT_EQ((RecordedEvent{"Auto Run", EVENT_NEW, "HKCU/" + kRun, details}), *found);

        EventRecord rec;
        FillEventRecord(rec, now, found->category.c_str(), found->kind, found->location.c_str(),
                        found->details.c_str());
        std::string line = FormatCsvLine(rec);
        std::vector<std::vector<std::string>> records;
        ASSERT_TRUE(ParseCsv(line, records)) << line.substr(0, 80);
        ASSERT_EQ(1u, records.size()) << v.name.substr(0, 20);
        // The details field holds what fits its 1024 bytes, terminator included.
        EXPECT_EQ((std::vector<std::string>{"05/03/2003", "Auto Run", "New", "HKCU/" + kRun, details.substr(0, 1023)}),
                  records[0]);
    }
}

// Value names may be far longer than the 259 characters kept for a name; two that share
// their first 259 are still two values, each with its own events.
TEST_F(HostileInput, NamesLongerThanTheLimitThatShareTheirStartAreTwoValues) {
    std::string stem = "KT_Long" + std::string(293, 'L');
    std::string one = stem + "1", two = stem + "2";
    RegDeleteValueAt(HKEY_CURRENT_USER, kRun, one.c_str());
    RegDeleteValueAt(HKEY_CURRENT_USER, kRun, two.c_str());
    thread = std::thread([this] { MonitorRunKeysProc(static_cast<IMonitorHost*>(&host)); });
    ASSERT_TRUE(host.WaitForReady(1, 10000));
    RegSetString(HKEY_CURRENT_USER, kRun, one.c_str(), "one");
    RegSetString(HKEY_CURRENT_USER, kRun, two.c_str(), "two");
    EXPECT_TRUE(host.WaitForEvents(2, 8000));
    Sleep(900);
    auto events = host.Events();
    host.Clear();
    std::sort(events.begin(), events.end(),
              [](const RecordedEvent& a, const RecordedEvent& b) { return a.details < b.details; });
    EXPECT_EQ((std::vector<RecordedEvent>{{"Auto Run", EVENT_NEW, "HKCU/" + kRun, one + "=one"},
                                          {"Auto Run", EVENT_NEW, "HKCU/" + kRun, two + "=two"}}),
              events);

    RegDeleteValueAt(HKEY_CURRENT_USER, kRun, one.c_str());
    EXPECT_TRUE(host.WaitForEvents(1, 8000));
    Sleep(900);
    events = host.Events();
    RegDeleteValueAt(HKEY_CURRENT_USER, kRun, two.c_str());
    EXPECT_EQ((std::vector<RecordedEvent>{{"Auto Run", EVENT_DELETED, "HKCU/" + kRun, one + "=one"}}), events);
}
