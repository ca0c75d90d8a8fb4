// An activity log of any bytes: the line reader splits it as the log format
// says, and an import accounts for every line and stores what it says it stored.

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "log_import.h"
#include "log_line_reader.h"
#include "temp_dir.h"

namespace {

// The lines of the text, ending at CR LF, LF or CR, read the plain way.
std::vector<std::string_view> ExpectedLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// A small cap, so that lines over it are common and their bytes must be dropped.
constexpr std::size_t kSmallCap = 40;

void CheckReader(std::string_view text, const std::vector<std::string_view>& expected) {
  if (text.empty()) return;  // fmemopen takes no empty buffer everywhere
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      fmemopen(const_cast<char*>(text.data()), text.size(), "rb"), &std::fclose);
  FUZZ_CHECK(file != nullptr);
  vantry::analyser::LogLineReader reader(file.get(), kSmallCap);
  std::size_t index = 0;
  bool done = reader.ForEachLine([&](std::string_view line, bool too_long) {
    FUZZ_CHECK(index < expected.size());
    const std::string_view want = expected[index++];
    FUZZ_CHECK(too_long == (want.size() > kSmallCap));
    FUZZ_CHECK(line == (too_long ? std::string_view() : want));
    return true;
  });
  FUZZ_CHECK(done && index == expected.size());
  FUZZ_CHECK(reader.bytes_read() == text.size() && reader.longest_buffered() <= kSmallCap);
}

std::int64_t RowCount(const std::string& db_file) {
  sqlite3* db = nullptr;
  FUZZ_CHECK(sqlite3_open_v2(db_file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  FUZZ_CHECK(sqlite3_prepare_v2(db, "SELECT count(*) FROM tbl_log", -1, &count, nullptr) ==
             SQLITE_OK);
  FUZZ_CHECK(sqlite3_step(count) == SQLITE_ROW);
  std::int64_t rows = sqlite3_column_int64(count, 0);
  sqlite3_finalize(count);
  sqlite3_close(db);
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> expected = ExpectedLines(text);
  CheckReader(text, expected);

  static const vantry::testing::TempDir folder;
  const std::string log_file = folder.File("vantry.log");
  const std::string db_file = folder.File("report.dpr");
  vantry::testing::WriteFileText(log_file, text);
  const vantry::analyser::ImportResult result = vantry::analyser::LoadLog(log_file, db_file);
  FUZZ_CHECK(result.status.ok && !result.cancelled);
  FUZZ_CHECK(result.lines == static_cast<std::int64_t>(expected.size()));
  FUZZ_CHECK(result.lines == result.stored + result.skipped_no_separator +
                                 result.skipped_start_closed + result.skipped_bad_date +
                                 result.skipped_bad_time + result.skipped_too_long);
  FUZZ_CHECK(RowCount(db_file) == result.stored);
  return 0;
}
