// The CSV line of an event, and the log file: where it goes, and what it keeps while it
// cannot be written.
#include "TestSupport.h"
#include "app/ChangeBalloon.h"
#include "app/EventLogFile.h"
#include "framework/AfxHandle.h"
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
    EXPECT_EQ(std::string(day) +
                  "\"New\",\"a\"\"b\",\"x\"\",\"\"New\"\",\"\"HKLM\"\",\"\"evil\"\"\r\n\"\"01/01/2000\"\r\n",
              Line(EVENT_NEW, "a\"b", "x\",\"New\",\"HKLM\",\"evil\"\r\n\"01/01/2000"));
    // Commas, line breaks and bytes above 0x7F stay inside their quoted field, byte for byte.
    EXPECT_EQ(std::string(day) + "\"New\",\"a,b\",\"c\r\nd\xE9\xFF\"\r\n",
              Line(EVENT_NEW, "a,b", "c\r\nd\xE9\xFF"));

    // Each text is cut to its field; a kind outside the table never indexes past it.
    std::string x(5000, 'x');
    EXPECT_EQ("\"05/03/2003\",\"" + x.substr(0, 39) + "\",\"?\",\"" + x.substr(0, 259) + "\",\"" +
                  x.substr(0, 1023) + "\"\r\n",
              Line(7, x.c_str(), x.c_str(), x.c_str()));
    char small[4] = "old";
    CopyCut(small, nullptr);
    EXPECT_STREQ("", small);
}

TEST(EventLog, FieldsThatASpreadsheetWouldRunGetAQuoteMark) {
    const struct {
        const char *text, *field;
    } cases[] = {
        {"=cmd|' /C calc'!A0", "\"'=cmd|' /C calc'!A0\""},
        {"+1+2", "\"'+1+2\""},
        {"-", "\"'-\""},
        {"@SUM(A1)", "\"'@SUM(A1)\""},
        {"\tx", "\"'\tx\""},
        {"\r=1", "\"'\r=1\""},
        {"=\"a\"", "\"'=\"\"a\"\"\""},
        // Plain numbers stay numbers; so does everything not starting with those characters.
        {"-1", "\"-1\""},
        {"+2.5", "\"+2.5\""},
        {"-1.2.3", "\"'-1.2.3\""},
        {"a=b", "\"a=b\""},
        {"", "\"\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.field, CsvField(c.text)) << c.text;
    EXPECT_EQ("\"05/03/2003\",\"Auto Run\",\"New\",\"HKCU/Run\",\"'=HYPERLINK(x)=y\"\r\n",
              Line(EVENT_NEW, "HKCU/Run", "=HYPERLINK(x)=y"));
}

namespace {
// Another program holding the log open without sharing.
CHandle HoldFile(const std::string& path) {
    return CHandle(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
}
} // namespace

TEST(EventLog, LinesWaitForAHeldLogInOrderUpToABoundAndTheDropsAreToldOnce) {
    CTempDir dir, fallback;
    CEventLogFile log(dir.path, fallback.path);
    EXPECT_EQ(dir.path + "Kestrow.csv", log.GetPath());
    log.Queue("one\r\n");
    ASSERT_TRUE(log.Flush());

    // Another writer appending under the lock from the end on: lines wait for it to finish.
    CHandle writer(CreateFileA(log.GetPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
    OVERLAPPED beyond{};
    beyond.OffsetHigh = 0x100; // far beyond the end: no write of ours touches it, only the lock
    ASSERT_TRUE(LockFileEx(writer.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &beyond));
    log.Queue("two\r\n");
    EXPECT_FALSE(log.Flush());
    UnlockFileEx(writer.Get(), 0, 1, 0, &beyond);
    writer.Close();
    ASSERT_TRUE(log.Flush());

    CHandle held = HoldFile(log.GetPath());
    const size_t extra = 7;
    for (size_t i = 0; i < CEventLogFile::kMaxWaiting + extra; ++i)
        log.Queue("line " + std::to_string(i) + "\r\n");
    EXPECT_FALSE(log.Flush());
    EXPECT_EQ(CEventLogFile::kMaxWaiting, log.Waiting());
    EXPECT_TRUE(log.TakeNotices().empty()) << "the count is told once it is known";
    held.Close();

    ASSERT_TRUE(log.Flush());
    EXPECT_EQ(0u, log.Waiting());
    const std::string text = ReadFileBytes(log.GetPath());
    EXPECT_EQ(0u, text.find("one\r\ntwo\r\nline 0\r\nline 1\r\n"));
    EXPECT_EQ(text.size() - 11, text.find("line 9999\r\n"))
        << "the oldest lines are kept, the newest dropped";
    EXPECT_EQ(
        std::vector<std::string>{"7 events were not logged while another program held " + log.GetPath()},
        log.TakeNotices());
    EXPECT_TRUE(log.TakeNotices().empty());
}

TEST(EventLog, AFolderThatCannotTakeTheLogSendsItToTheFallbackOnce) {
    const struct {
        const char* what;
        int setup; // 0 writable, 1 "Kestrow.csv" is a folder, 2 no such folder, 3 log held
        bool moves;
    } cases[] = {{"writable", 0, false},
                 {"log name taken by a folder", 1, true},
                 {"no folder", 2, true},
                 {"log held by another program", 3, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CTempDir dir, base;
        std::string folder = c.setup == 2 ? dir.path + "missing\\" : dir.path;
        std::string fallback = base.path + "Kestrow\\";
        if (c.setup == 1)
            CreateDirectoryA((dir.path + "Kestrow.csv").c_str(), nullptr);
        CHandle held = c.setup == 3 ? HoldFile(dir.path + "Kestrow.csv") : CHandle();
        CEventLogFile log(folder, fallback);
        const std::string want = (c.moves ? fallback : folder) + "Kestrow.csv";
        EXPECT_EQ(want, log.GetPath());
        std::vector<std::string> told = log.TakeNotices();
        ASSERT_EQ(c.moves ? 1u : 0u, told.size());
        if (c.moves) {
            EXPECT_NE(std::string::npos, told[0].find(want)) << told[0];
            log.Queue("x\r\n");
            EXPECT_TRUE(log.Flush());
            EXPECT_EQ("x\r\n", ReadFileBytes(want));
            EXPECT_TRUE(log.TakeNotices().empty());
            DeleteFileA(want.c_str());
            RemoveDirectoryA(fallback.c_str());
        }
        held.Close();
        RemoveDirectoryA((dir.path + "Kestrow.csv").c_str());
    }
}

// The balloon of an alert: the one event whole, or for a burst the count and the first few,
// always within what the shell shows.
TEST(EventLog, BalloonSaysTheEventOrTheBurst) {
    auto record = [](int kind, const std::string& location, const std::string& details) {
        EventRecord rec;
        FillEventRecord(rec, SYSTEMTIME{2003, 3, 0, 5, 0, 0, 0, 0}, "Auto Run", kind, location.c_str(),
                        details.c_str());
        return rec;
    };
    BalloonText one = ChangeBalloon({record(EVENT_NEW, "HKLM/Run", "Updater=C:\\upd.exe")});
    EXPECT_EQ("Auto Run: New", one.title);
    EXPECT_EQ("HKLM/Run\nUpdater=C:\\upd.exe", one.text);

    std::vector<EventRecord> burst;
    for (int i = 0; i < 5; ++i)
        burst.push_back(record(EVENT_DELETED, "Key" + std::to_string(i), "x"));
    BalloonText many = ChangeBalloon(burst);
    EXPECT_EQ("5 changes:\nAuto Run Deleted Key0\nAuto Run Deleted Key1\nAuto Run Deleted Key2\n...",
              many.text);

    BalloonText big = ChangeBalloon({record(EVENT_CHANGED, std::string(200, 'L'), std::string(900, 'D'))});
    EXPECT_LE(big.text.size(), 255u);
    EXPECT_EQ("...", big.text.substr(big.text.size() - 3));
    EXPECT_EQ("", ChangeBalloon({}).text);
}
