#include "TestSupport.h"
#include "app/EventLogFile.h"
#include "app/MonitorApp.h"
#include <gtest/gtest.h>

namespace {
SYSTEMTIME Day(WORD d, WORD m, WORD y) {
    SYSTEMTIME t{};
    t.wDay = d;
    t.wMonth = m;
    t.wYear = y;
    return t;
}

std::string Line(const char* category, int kind, const char* location, const char* details) {
    EventRecord rec;
    FillEventRecord(rec, Day(5, 3, 2003), category, kind, location, details);
    return FormatCsvLine(rec);
}
} // namespace

TEST(EventLog, DateIsDayMonthYear) {
    char out[12];
    FormatEventDate(Day(5, 3, 2003), out);
    EXPECT_STREQ("05/03/2003", out);
    FormatEventDate(Day(31, 12, 1999), out);
    EXPECT_STREQ("31/12/1999", out);
}

TEST(EventLog, CsvLineBytes) {
    EXPECT_EQ("\"05/03/2003\",\"Auto Run\",\"New\",\"HKLM/Run\",\"Updater=C:\\Tools\\upd.exe\"\r\n",
              Line("Auto Run", EVENT_NEW, "HKLM/Run", "Updater=C:\\Tools\\upd.exe"));
    EXPECT_EQ("\"05/03/2003\",\"Service\",\"Deleted\",\"svc\",\"\"\r\n", Line("Service", EVENT_DELETED, "svc", ""));
    EXPECT_EQ("\"05/03/2003\",\"Service\",\"Changed\",\"a\",\"b\"\r\n", Line("Service", EVENT_CHANGED, "a", "b"));

    // A quote is doubled: a hostile value cannot close its field and forge a second line.
    std::string forged = "x\",\"New\",\"HKLM\",\"evil\"\r\n\"01/01/2000";
    EXPECT_EQ("\"05/03/2003\",\"Auto Run\",\"New\",\"a\"\"b\",\"x\"\",\"\"New\"\",\"\"HKLM\"\",\"\"evil\"\"\r\n"
              "\"\"01/01/2000\"\r\n",
              Line("Auto Run", EVENT_NEW, "a\"b", forged.c_str()));
    // Commas, line breaks and bytes above 0x7F stay inside their quoted field, byte for byte.
    EXPECT_EQ("\"05/03/2003\",\"Auto Run\",\"New\",\"a,b\",\"c\r\nd\xE9\xFF\"\r\n",
              Line("Auto Run", EVENT_NEW, "a,b", "c\r\nd\xE9\xFF"));
}

TEST(EventLog, OverlongTextsAreCutToTheirFields) {
    std::string longText(5000, 'x');
    EventRecord rec;
    FillEventRecord(rec, Day(1, 1, 2020), longText.c_str(), 7, longText.c_str(), longText.c_str());
    EXPECT_EQ(39u, strlen(rec.category));
    EXPECT_STREQ("?", rec.event); // a kind outside the table never indexes past it
    EXPECT_EQ(259u, strlen(rec.location));
    EXPECT_EQ(1023u, strlen(rec.details));
    std::string line = FormatCsvLine(rec);
    EXPECT_EQ(std::string("\"01/01/2020\",\"") + std::string(39, 'x') + "\",\"?\",\"" + std::string(259, 'x') +
                  "\",\"" + std::string(1023, 'x') + "\"\r\n",
              line);

    char small[4];
    CopyCut(small, "abcdef");
    EXPECT_STREQ("abc", small);
    CopyCut(small, nullptr);
    EXPECT_STREQ("", small);
}

TEST(EventLog, AppendKeepsWhatCannotBeWrittenAndWritesItInOrderLater) {
    CTempDir dir;
    CMonitorApp app;
    lstrcpyA(app.m_programDir, dir.path.c_str());
    CEventLogFile log;
    EXPECT_EQ(dir.path + "Kestrow.csv", log.GetPath());

    std::deque<std::string> lines{"one\r\n", "two\r\n"};
    ASSERT_TRUE(log.Append(lines));
    EXPECT_TRUE(lines.empty());

    // Another program holds the file open without sharing: nothing is written, nothing lost.
    HANDLE held = ::CreateFileA(log.GetPath(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    lines = {"three\r\n", "four\r\n"};
    EXPECT_FALSE(CEventLogFile().Append(lines));
    EXPECT_EQ(2u, lines.size());
    ::CloseHandle(held);

    lines.push_back("five\r\n");
    EXPECT_TRUE(CEventLogFile().Append(lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ("one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n", ReadFileBytes(log.GetPath()));
}
