#include "log_import.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <iterator>
#include <random>
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
  if (!db.Open(db_file, ReportDb::Mode::kReadOnly).ok ||
      !db.PrepareNative("SELECT MaxSocket, Socket, StatusCode, IP1, IP2, Host, BLType, BLInfo, "
                        "connectdate, ConnectTime FROM tbl_log ORDER BY rowid",
                        &rows)
           .ok) {
    return texts;
  }
  while (rows.Step()) {
    std::string row(rows.Text(0));
    for (int i = 1; i < 10; ++i) row += "|" + std::string(rows.Text(i));
    texts.push_back(row);
  }
  return texts;
}

TEST(LoadLog, StoresEntriesAndSkipsWhatTheFormatSays) {
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
  }));
  EXPECT_EQ(loaded.result.stored, 7);
  EXPECT_EQ(loaded.result.skipped_start_closed, 3);
  EXPECT_EQ(loaded.result.skipped_no_separator, 2);
  EXPECT_EQ(loaded.result.SkipSummary(), "");
  std::vector<std::string> rows = TableRows(loaded.db_file());
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[0], "255|7|OK|192.0.2.1|192.0.2.1||||2003-06-14|09:05:00");
  EXPECT_EQ(rows[1], "255|7|BL|10.0.0.5|10.0.0.6|h.example|Type 2|zen.test|2003-06-15|21:07:00");
  EXPECT_EQ(rows[2], "255|7|ok|192.0.2.1|||||2003-06-16|09:05:00");
  EXPECT_EQ(rows[3], "255|7|Ok|192.0.2.9|||||2003-06-16|23:59:00");
  EXPECT_EQ(rows[5], "255|0|shut||||||2003-06-17|00:01:00");
  EXPECT_EQ(rows[6], "9223372036854775807|-3|OK|192.0.2.7|||||2003-06-18|10:00:00");

  LogTotals totals;
  ASSERT_TRUE(ShowTotals(loaded.db_file(), &totals).ok);
  // "OK", "ok", "Ok" and "OK"; 192.0.2.1, 10.0.0.5, 192.0.2.9, 192.0.2.7 and the empty address.
  EXPECT_EQ(OksPanelText(totals), "Connects: 4");
  EXPECT_EQ(BlsPanelText(totals), "Banned: 2");
  EXPECT_EQ(IpsPanelText(totals), "IP's: 5");
  EXPECT_EQ(EntriesPanelText(loaded.result.stored), "Entries 7");
}

TEST(LoadLog, OnlyStartAndClosedLinesOrAnEmptyFileLoadNothing) {
  for (std::string text :
       {CrLf({"255|0|START|||||||2003-06-14|09:00", "255|1|closed|1.2.3.4|||||2003-06-14|09:01"}),
        std::string()}) {
    LoadedDb loaded(text);
    EXPECT_EQ(loaded.result.stored, 0);
    LogTotals totals{-1, -1, -1};
    ASSERT_TRUE(ShowTotals(loaded.db_file(), &totals).ok);
    EXPECT_EQ(totals.oks, 0);
    EXPECT_EQ(totals.bls, 0);
    EXPECT_EQ(totals.ips, 0);
  }
}

TEST(LoadLog, ACrLfSplitAcrossTheReadersChunksEndsOneLine) {
  std::string a = LogLine("OK", "1.0.0.1", "2003-06-14", "09:05");
  // A CR LF split exactly across the reader's 1 MiB chunks, with lines that
  // run on from one chunk into the next.
  const size_t boundary = 1u << 20;
  std::string text;
  const std::string filler(30000, 'x');
  int fillers = 0;
  while (text.size() + filler.size() + 2 + 1000 < boundary) {
    text += filler + "\r\n";
    ++fillers;
  }
  std::string pad = LogLine("OK", "2.0.0.2", "2003-06-14", "09:05");
  pad += std::string(boundary - text.size() - pad.size() - 1, ' ');
  ASSERT_LE(pad.size(), kMaxLogLineBytes);
  text += pad + "\r\n" + a + "\r\n";
  ASSERT_EQ(text[boundary - 1], '\r');
  LoadedDb split(text);
  EXPECT_EQ(split.result.stored, 2);
  EXPECT_EQ(split.result.skipped_no_separator, fillers);  // no empty line from the split CR LF
  EXPECT_EQ(split.result.skipped_too_long, 0);
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
  EXPECT_EQ(loaded.result.lines, 5);
  EXPECT_EQ(loaded.result.skipped_too_long, 2);
  EXPECT_EQ(loaded.result.skipped_no_separator, 0);
  EXPECT_EQ(loaded.result.SkipSummary(), "2 lines were not imported: 2 too long to store.");
  std::vector<std::string> rows = TableRows(loaded.db_file());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "255|7|OK|1.0.0.1|||||2003-06-14|09:05:00");
  EXPECT_EQ(rows[1], "255|7|BL|1.0.0.2|||||2003-06-14|09:06:00");
}

TEST(LogLineReader, EveryLineEndAroundTheCapAndAcrossChunks) {
  // Lines of many lengths about a cap of 100, some of them running across
  // the 1 MiB chunks several times, each with its own letter.
  const size_t cap = 100;
  const size_t lengths[] = {10, 99,  100, 101,        250000, 0, 5,  100, (1u << 20) + 3,
                            40, 100, 7,   (2u << 20), 100,    3, 150};
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
    EXPECT_EQ(seen[i].first.size(), expected[i].first.size()) << "line " << i;
    EXPECT_EQ(seen[i], expected[i]) << "line " << i;
  }
  EXPECT_LE(reader.longest_buffered(), cap);
  EXPECT_EQ(reader.bytes_read(), text.size());
}

TEST(LoadLog, BadDatesTimesAndExtraFieldsAreCountedValidLinesKept) {
  LoadedDb loaded(CrLf({
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
  EXPECT_EQ(loaded.result.stored, 2);
  EXPECT_EQ(loaded.result.skipped_bad_date, 3);
  EXPECT_EQ(loaded.result.skipped_bad_time, 2);
  EXPECT_EQ(loaded.result.SkipSummary(),
            "5 lines were not imported: 3 with a date that is not yyyy-mm-dd, 2 with a time "
            "that is not hh:mm.");
  std::vector<std::string> rows = TableRows(loaded.db_file());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], "255|7|BL|1.0.0.7|||||2003-06-14|09:05:00");
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

  ImportResult result;
  result.skipped_bad_time = 1;
  result.skipped_too_long = 2;
  EXPECT_EQ(result.SkipSummary(),
            "3 lines were not imported: 1 with a time that is not hh:mm, 2 too long to store.");
}

TEST(LoadLog, BinaryGarbageNeverLosesTheValidLines) {
  std::mt19937 random(7);
  std::string text;
  int valid = 0;
  for (int i = 0; i < 300; ++i) {
    if (i % 3 == 0) {
      text += LogLine("OK", "10.1.0." + std::to_string(i % 250), "2003-06-14", "09:05") + "\r\n";
      ++valid;
    } else {
      std::string junk(random() % 400, '\0');
      for (char& ch : junk) ch = static_cast<char>(random() % 256);
      text += junk;  // may hold "|", CR, LF, NUL anywhere
      text += "\r\n";
    }
  }
  LoadedDb loaded(text);
  ASSERT_TRUE(loaded.result.status.ok);
  std::vector<std::string> rows = TableRows(loaded.db_file());
  int found = 0;
  for (const auto& row : rows) found += row.starts_with("255|7|OK|10.1.0.") ? 1 : 0;
  EXPECT_EQ(found, valid);
}

TEST(LoadLog, ProgressMarksAndCancelKeepThePreviousState) {
  LoadedDb loaded(CrLf({LogLine("OK", "1.1.1.1", "2003-06-14", "09:05")}));
  std::vector<std::string> lines;
  for (int i = 0; i < 500; ++i) lines.push_back(LogLine("BL", "2.2.2.2", "2003-06-14", "09:05"));
  WriteFileText(loaded.dir.File("big.log"), CrLf(lines));

  std::vector<std::int64_t> marks;
  ImportOptions watch;
  watch.on_progress = [&](const ImportProgress& p) { marks.push_back(p.entries); };
  ImportResult full = LoadLog(loaded.dir.File("big.log"), loaded.db_file(), watch);
  ASSERT_TRUE(full.status.ok);
  ASSERT_GE(marks.size(), 3u);
  EXPECT_EQ(marks[0], 100);
  EXPECT_EQ(marks[1], 110);
  EXPECT_EQ(marks.back(), 500);  // the final report

  ASSERT_TRUE(LoadLog(loaded.log_file(), loaded.db_file()).status.ok);
  std::atomic<bool> cancel{false};
  ImportOptions stop;
  stop.cancel = &cancel;
  stop.on_progress = [&](const ImportProgress&) { cancel = true; };
  ImportResult cancelled = LoadLog(loaded.dir.File("big.log"), loaded.db_file(), stop);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_TRUE(cancelled.status.ok);
  std::vector<std::string> rows = TableRows(loaded.db_file());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(rows[0].find("1.1.1.1"), std::string::npos);
}

TEST(LoadLog, UnreadableLogMissingFolderAndLockedDatabaseSaySo) {
  LoadedDb loaded(CrLf({LogLine("OK", "1.1.1.1", "2003-06-14", "09:05")}));
  ImportResult missing = LoadLog(loaded.dir.File("nope.log"), loaded.db_file());
  EXPECT_FALSE(missing.status.ok);
  EXPECT_NE(missing.status.message.find("Cannot read the log file"), std::string::npos);
  ImportResult folder = LoadLog(loaded.dir.path(), loaded.db_file());
  EXPECT_FALSE(folder.status.ok);
  EXPECT_EQ(TableRows(loaded.db_file()).size(), 1u);  // untouched

  ImportResult no_folder = LoadLog(loaded.log_file(), loaded.dir.path() / "no" / "report.dpr");
  EXPECT_FALSE(no_folder.status.ok);
  EXPECT_NE(no_folder.status.message.find("report.dpr"), std::string::npos);

  WriteFileText(loaded.dir.File("junk.dpr"), std::string(4096, 'j'));
  ImportResult junk = LoadLog(loaded.log_file(), loaded.dir.File("junk.dpr"));
  EXPECT_FALSE(junk.status.ok);
  EXPECT_NE(junk.status.message.find("not a database"), std::string::npos);

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
