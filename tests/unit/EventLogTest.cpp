// The CSV line of an event, the program directory the log lives in, and the log file that
// keeps what it cannot write yet.
#include "TestSupport.h"
#include "app/EventLogFile.h"
#include "app/MonitorApp.h"
#include <gtest/gtest.h>

namespace {
std::string Line(int kind, const char* location, const char* details, const char* category = "Auto Run") {
    EventRecord rec;
    FillEventRecord(rec, SYSTEMTIME{2003, 3, 0, 5, 0, 0, 0, 0}, category, kind, location, details);
    return FormatCsvLine(rec);
}
} // namespace

TEST(EventLog, EveryFieldQuotedQuotesDoubledAndLongTextsCut) {
    const char* day = "\"05/03/2003\",\"Auto Run\",";
    EXPECT_EQ(std::string(day) + "\"New\",\"HKLM/Run\",\"Updater=C:\\Tools\\upd.exe\"\r\n",
              Line(EVENT_NEW, "HKLM/Run", "Updater=C:\\Tools\\upd.exe"));
    EXPECT_EQ(std::string(day) + "\"Deleted\",\"svc\",\"\"\r\n", Line(EVENT_DELETED, "svc", ""));
    EXPECT_EQ(std::string(day) + "\"Changed\",\"a\",\"b\"\r\n", Line(EVENT_CHANGED, "a", "b"));
    // A hostile value cannot close its field and forge a second line.
    EXPECT_EQ(std::string(day) + "\"New\",\"a\"\"b\",\"x\"\",\"\"New\"\",\"\"HKLM\"\",\"\"evil\"\"\r\n\"\"01/01/2000\"\r\n",
              Line(EVENT_NEW, "a\"b", "x\",\"New\",\"HKLM\",\"evil\"\r\n\"01/01/2000"));
    // Commas, line breaks and bytes above 0x7F stay inside their quoted field, byte for byte.
    EXPECT_EQ(std::string(day) + "\"New\",\"a,b\",\"c\r\nd\xE9\xFF\"\r\n", Line(EVENT_NEW, "a,b", "c\r\nd\xE9\xFF"));

    // Each text is cut to its field; a kind outside the table never indexes past it.
    std::string x(5000, 'x');
    EXPECT_EQ("\"05/03/2003\",\"" + x.substr(0, 39) + "\",\"?\",\"" + x.substr(0, 259) + "\",\"" + x.substr(0, 1023) +
                  "\"\r\n",
              Line(7, x.c_str(), x.c_str(), x.c_str()));
    char small[4] = "old";
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
