// The CSV line of an event, and what the log file keeps while it cannot be written. Where the
// log goes when the program's folder cannot take it is checked end to end by the system tests.
#include "TestSupport.h"
#include "app/EventLogFile.h"
#include <gtest/gtest.h>

TEST(EventLog, EveryTextStaysInsideItsQuotedFieldCutToItsWidthAndNoneRunsAsAFormula) {
    // Quotes doubled: no text can end its field early or forge a line; the rest byte for byte.
    EXPECT_EQ("\"x\"\",\"\"New\"\"\r\n\"\"01/01/2000\"", CsvField("x\",\"New\"\r\n\"01/01/2000"));
    EXPECT_EQ("\"a,b\r\nc\xE9\xFF\"", CsvField("a,b\r\nc\xE9\xFF"));
    // A spreadsheet runs a field starting with = + - @ tab or CR as a formula, unless it is a
    // plain number: those get a leading quote mark.
    for (const char* text : {"=cmd|' /C calc'!A0", "+1+2", "-", "@SUM(A1)", "\tx", "\r=1", "-1.2.3"})
        EXPECT_EQ("\"'" + std::string(text) + "\"", CsvField(text)) << text;
    for (const char* text : {"-1", "+2.5", "a=b"})
        EXPECT_EQ("\"" + std::string(text) + "\"", CsvField(text)) << text;

    // Each text is cut to its field's width (the details keep 1023 bytes); an unknown kind
    // never indexes past the names.
    const std::string x(5000, 'x');
    EventRecord rec;
    FillEventRecord(rec, SYSTEMTIME{2003, 3, 0, 5, 0, 0, 0, 0}, x.c_str(), 7, x.c_str(), x.c_str());
    EXPECT_EQ("\"05/03/2003\",\"" + x.substr(0, 39) + "\",\"?\",\"" + x.substr(0, 259) + "\",\"" +
                  x.substr(0, 1023) + "\"\r\n",
              FormatCsvLine(rec));
}

TEST(EventLog, LinesWaitForTheLockAndAHeldLogInOrderUpToABoundAndTheDropsAreToldOnce) {
    CTempDir dir;
    CEventLogFile log(dir.path, "");
    // Another writer appending under the lock from the end on: our lines wait for it.
    log.Queue("one\r\n");
    CHandle writer(CreateFileA(log.GetPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, 0, nullptr));
    OVERLAPPED beyond{};
    beyond.OffsetHigh = 0x100; // far beyond the end: no write of ours touches it, only the lock
    ASSERT_TRUE(LockFileEx(writer.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &beyond));
    EXPECT_FALSE(log.Flush());
    writer.Close();

    // Held without sharing: the oldest lines wait, the newest beyond the bound are counted.
    CHandle held = HoldFile(log.GetPath());
    for (size_t i = 0; i < CEventLogFile::kMaxWaiting + 6; ++i)
        log.Queue("line " + std::to_string(i) + "\r\n");
    EXPECT_FALSE(log.Flush());
    EXPECT_TRUE(log.TakeNotices().empty()) << "the count is told once it is known";
    held.Close();
    ASSERT_TRUE(log.Flush());
    const std::string text = ReadFileBytes(log.GetPath());
    EXPECT_EQ(0u, text.find("one\r\nline 0\r\nline 1\r\n"));
    EXPECT_EQ(text.size() - 11, text.find("line 9998\r\n"));
    EXPECT_EQ(
        std::vector<std::string>{"7 events were not logged while another program held " + log.GetPath()},
        log.TakeNotices());
    EXPECT_TRUE(log.TakeNotices().empty());

    // Lines still waiting at the end are written first by the next run.
    held = HoldFile(log.GetPath());
    log.Queue("kept\r\n");
    EXPECT_FALSE(log.Flush());
    EXPECT_TRUE(log.KeepWaiting());
    held.Close();
    CEventLogFile next(dir.path, "");
    next.Queue("next\r\n");
    next.TakeKept();
    ASSERT_TRUE(next.Flush());
    EXPECT_EQ(text + "kept\r\nnext\r\n", ReadFileBytes(log.GetPath()));
}
