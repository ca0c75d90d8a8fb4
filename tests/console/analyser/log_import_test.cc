#include "log_import.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <iterator>
#include <random>
#include <tuple>
#include <utility>

#include "analyser_fixture.h"
#include "log_line_reader.h"
#include "log_totals.h"
#include "report_db.h"
#include "temp_dir.h"

namespace vantry::analyser {
namespace {

using testing::CrLf;
using testing::LoadedDb;
using testing::LogLine;
using ::vantry::testing::TempDir;
using ::vantry::testing::WriteFileText;

// Rows of tbl_log in table order, all columns as text joined by "|".
std::vector<std::string> TableRows(const std::filesystem::path& db_file) {
  ReportDb db;
  Statement rows;
  std::vector<std::string> texts;
  EXPECT_TRUE(db.Open(db_file, ReportDb::Mode::kReadOnly).ok);
  EXPECT_TRUE(db.PrepareNative("SELECT MaxSocket, Socket, StatusCode, IP1, IP2, Host, BLType, "
                               "BLInfo, connectdate, ConnectTime FROM tbl_log ORDER BY rowid",
                               &rows)
                  .ok);
  while (rows.Step()) {
    std::string row(rows.Text(0));
    for (int i = 1; i < 10; ++i) row += "|" + std::string(rows.Text(i));
    texts.push_back(row);
  }
  return texts;
}

TEST(LoadLog, StoresEntriesAndSkipsWhatTheFormatSaysOrCountsBadDatesAndTimes) {
  LoadedDb loaded(CrLf({
      "255|0|START|||||||2003-06-14|09:00",
      LogLine("OK", "192.0.2.1", "2003-06-14", "09:05", "", "192.0.2.1"),
      "255|7|CLOSED|192.0.2.1|192.0.2.1||||2003-06-14|09:06",
      "255|7|Closed|192.0.2.1|192.0.2.1||||2003-06-14|09:06",
      "",
      "a line without any separator",
      LogLine("BL", "10.0.0.5", "2003-06-15", "21:07", "h.example", "10.0.0.6", "Type 2",
              "zen.test"),
      LogLine("ok", "192.0.2.1", "2003-06-16", "9:05"),
      LogLine("Ok", "192.0.2.9", "2003-6-16", "23:59") + "|",  // trailing "|": no 11th field
      "   " + LogLine("bl", "10.0.0.5", "2003-06-17", "00:00") + "   ",
      "255|0|shut||||||2003-06-17|00:01",
      // Tabs are trimmed like spaces; a socket number beyond int64 reads as its largest value.
      "\t99999999999999999999|-3|OK|192.0.2.7|||||2003-06-18|10:00 \t",
      LogLine("OK", "1.0.0.1", "2003-02-29", "09:05"),
      LogLine("OK", "1.0.0.2", "14/06/2003", "09:05"),
      LogLine("OK", "1.0.0.3", "2003-06-14", "25:00"),
      LogLine("OK", "1.0.0.4", "2003-06-14", ""),
      LogLine("OK", "1.0.0.5", "2004-02-29", "23:59"),
      // A "|" in the block source shifts the date and time out of place.
      "255|8|BL|1.0.0.6|||Type 2|zone|with|bar|2003-06-14|09:05",
      // More than twelve fields, date and time where they belong: kept.
      LogLine("BL", "1.0.0.7", "2003-06-14", "09:05") + "|x|y|z|w",
  }));
  EXPECT_EQ(loaded.result.stored, 9);
  // Lines the gateway never meant as entries are not named.
  EXPECT_EQ(loaded.result.SkipSummary(),
            "5 lines were not imported: 3 with a date that is not yyyy-mm-dd, 2 with a time "
            "that is not hh:mm.");
  std::vector<std::string> rows = TableRows(loaded.db_file());
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows[0], "255|7|OK|192.0.2.1|192.0.2.1||||2003-06-14|09:05:00");
  EXPECT_EQ(rows[1], "255|7|BL|10.0.0.5|10.0.0.6|h.example|Type 2|zen.test|2003-06-15|21:07:00");
  EXPECT_EQ(rows[2], "255|7|ok|192.0.2.1|||||2003-06-16|09:05:00");
  EXPECT_EQ(rows[3], "255|7|Ok|192.0.2.9|||||2003-06-16|23:59:00");
  EXPECT_EQ(rows[5], "255|0|shut||||||2003-06-17|00:01:00");
  EXPECT_EQ(rows[6], "9223372036854775807|-3|OK|192.0.2.7|||||2003-06-18|10:00:00");
  EXPECT_EQ(rows[8], "255|7|BL|1.0.0.7|||||2003-06-14|09:05:00");

  LogTotals totals;
  ASSERT_TRUE(ShowTotals(loaded.db_file(), &totals).ok);
  // "OK", "ok", "Ok", "OK" and 1.0.0.5; 192.0.2.1, 10.0.0.5, 192.0.2.9, 192.0.2.7, 1.0.0.5,
  // 1.0.0.7 and the empty address.
  EXPECT_EQ(OksPanelText(totals) + BlsPanelText(totals) + IpsPanelText(totals),
            "Connects: 5Banned: 3IP's: 7");
}

TEST(LoadLog, ALineBeyondTheCapIsCountedTooLong) {
  const std::string first = LogLine("OK", "1.0.0.1", "2003-06-14", "09:05");
  const std::string last = LogLine("BL", "1.0.0.2", "2003-06-14", "09:06");
  const std::string bare = LogLine("OK", "1.0.0.3", "2003-06-14", "09:07");
  // Exactly at the cap is still a line; one byte more is not.
  const std::string at_cap = LogLine("OK", "1.0.0.3", "2003-06-14", "09:07",
                                     std::string(kMaxLogLineBytes - bare.size(), 'h'));
  ASSERT_EQ(at_cap.size(), kMaxLogLineBytes);
  const std::string over_cap = LogLine("OK", "1.0.0.4", "2003-06-14", "09:07",
                                       std::string(kMaxLogLineBytes + 1 - bare.size(), 'h'));
  // A damaged log: megabytes without "|" or a line break.
  LoadedDb loaded(first + "\r\n" + std::string(5u << 20, 'A') + "\r\n" + last + "\r\n" + at_cap +
                  "\n" + over_cap + "\r\n");
  EXPECT_EQ(loaded.result.stored, 3);
  EXPECT_EQ(loaded.result.SkipSummary(), "2 lines were not imported: 2 too long to store.");
  EXPECT_EQ(TableRows(loaded.db_file())[1], "255|7|BL|1.0.0.2|||||2003-06-14|09:06:00");
}

TEST(LogLineReader, EveryLineEndAroundTheCapAndAcrossChunks) {
  // Lines of many lengths about a cap of 100, some of them running across
  // the 1 MiB chunks several times, each with its own letter. The long ones
  // are sized so that a CR LF and then a lone CR fall on a chunk's last byte.
  const size_t cap = 100;
  const size_t lengths[] = {10, 99,  100, 101,        1048251, 0, 5,  100, (1u << 20) - 254,
                            40, 100, 7,   (2u << 20), 100,     3, 150};
  const char* const ends[] = {"\r\n", "\n", "\r"};
  std::string text;
  std::vector<std::pair<std::string, bool>> expected;
  for (size_t i = 0; i < std::size(lengths); ++i) {
    std::string line(lengths[i], static_cast<char>('a' + i));
    text += line;
    const bool last = i + 1 == std::size(lengths);
    // An empty line after a lone CR must end in CR LF, or the two would pair up.
    if (!last) text += lengths[i] == 0 ? "\r\n" : ends[i % 3];
    expected.emplace_back(line.size() > cap ? "" : line, line.size() > cap);
  }
  TempDir dir;
  WriteFileText(dir.File("lines.log"), text);
  std::FILE* file = std::fopen(dir.File("lines.log").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  LogLineReader reader(file, cap);
  std::vector<std::pair<std::string, bool>> seen;
  EXPECT_TRUE(reader.ForEachLine([&](std::string_view line, bool too_long) {
    EXPECT_LE(line.size(), cap);
    seen.emplace_back(std::string(line), too_long);
    return true;
  }));
  std::fclose(file);
  ASSERT_EQ(seen.size(), expected.size());
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i], expected[i]) << "line " << i;
  }
  EXPECT_LE(reader.longest_buffered(), cap);
  EXPECT_EQ(reader.bytes_read(), text.size());
}

TEST(LoadLog, AFieldTheDatabaseRefusesIsNeverStoredEmpty) {
  // SQLite refuses text over its length limit (a gigabyte unless lowered, as
  // here): the bind says so instead of leaving the column empty.
  TempDir dir;
  ReportDb db;
  ASSERT_TRUE(db.Open(dir.path() / "limit.dpr", ReportDb::Mode::kReadWrite).ok);
  sqlite3_limit(db.handle(), SQLITE_LIMIT_LENGTH, 100);
  Statement insert;
  ASSERT_TRUE(db.PrepareNative("SELECT ?", &insert).ok);
  EXPECT_TRUE(insert.BindTextStatic(1, std::string(100, 'h')));
  EXPECT_FALSE(insert.BindTextStatic(1, std::string(101, 'h')));
}

TEST(LoadLog, BinaryGarbageNeverLosesTheValidLines) {
  std::mt19937 random(7);
  std::string text;
  for (int i = 0; i < 100; ++i) {
    text += LogLine("OK", "10.1.0." + std::to_string(i), "2003-06-14", "09:05") + "\r\n";
    for (int junk = 0; junk < 2; ++junk) {  // may hold "|", CR, LF, NUL anywhere
      for (int n = random() % 400; n > 0; --n) text += static_cast<char>(random() % 256);
      text += "\r\n";
    }
  }
  LoadedDb loaded(text);
  int found = 0;
  for (const auto& row : TableRows(loaded.db_file())) found += row.starts_with("255|7|OK|10.1.0.");
  EXPECT_EQ(found, 100);
}

TEST(LoadLog, UnreadableLogMissingFolderAndLockedDatabaseSaySo) {
  LoadedDb loaded(CrLf({LogLine("OK", "1.1.1.1", "2003-06-14", "09:05")}));
  WriteFileText(loaded.dir.File("junk.dpr"), std::string(4096, 'j'));
  for (auto [log, db, says] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {loaded.dir.File("nope.log"), loaded.db_file(), "Cannot read the log file"},
           {loaded.dir.path(), loaded.db_file(), ""},  // a folder
           {loaded.log_file(), loaded.dir.File("no/report.dpr"), "report.dpr"},
           {loaded.log_file(), loaded.dir.File("junk.dpr"), "not a database"}}) {
    ImportResult failed = LoadLog(log, db);
    EXPECT_FALSE(failed.status.ok) << log;
    EXPECT_NE(failed.status.message.find(says), std::string::npos) << failed.status.message;
  }
  EXPECT_EQ(TableRows(loaded.db_file()).size(), 1u);  // untouched

  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(loaded.db_file().c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  ImportResult locked = LoadLog(loaded.log_file(), loaded.db_file());
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_FALSE(locked.status.ok);
  EXPECT_NE(locked.status.message.find("locked"), std::string::npos) << locked.status.message;
}

}  // namespace
}  // namespace vantry::analyser
