#include "log_import.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "date_time_text.h"
#include "log_entry.h"
#include "log_line_reader.h"
#include "report_db.h"
#include "report_transaction.h"
#include "sql_text.h"

namespace vantry::analyser {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::string_view kInsertSql =
    "INSERT INTO tbl_log (MaxSocket, Socket, StatusCode, IP1, IP2, Host, BLType, BLInfo, "
    "connectdate, ConnectTime) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";

// Drops the list view's sort indexes inside the import's transaction, so a
// cancelled import gets them back with everything else.
Status DropSortIndexes(ReportDb& db) {
  Statement list;
  if (Status s = db.PrepareNative(
          "SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='tbl_log' AND "
          "name LIKE 'ix\\_view\\_%' ESCAPE '\\'",
          &list);
      !s.ok) {
    return s;
  }
  std::vector<std::string> names;
  while (list.Step()) names.emplace_back(list.Text(0));
  list = Statement();
  for (const std::string& name : names) {
    if (Status s = db.Exec("DROP INDEX IF EXISTS \"" + name + "\""); !s.ok) return s;
  }
  return Status::Ok();
}

}  // namespace

std::string ImportResult::SkipSummary() const {
  std::int64_t bad = skipped_bad_date + skipped_bad_time + skipped_too_long;
  if (bad == 0) return {};
  std::string text =
      std::to_string(bad) + (bad == 1 ? " line was" : " lines were") + " not imported: ";
  std::string reasons;
  auto add = [&](std::int64_t count, std::string_view why) {
    if (count == 0) return;
    if (!reasons.empty()) reasons += ", ";
    reasons += std::to_string(count) + std::string(why);
  };
  add(skipped_bad_date, " with a date that is not yyyy-mm-dd");
  add(skipped_bad_time, " with a time that is not hh:mm");
  add(skipped_too_long, " too long to store");
  return text + reasons + ".";
}

ImportResult LoadLog(const std::filesystem::path& log_file, const std::filesystem::path& db_file,
                     const ImportOptions& options) {
  ImportResult result;
  std::error_code ec;
  if (std::filesystem::is_directory(log_file, ec)) {
    result.status =
        Status::Error("Cannot read the log file \"" + log_file.string() + "\": it is a folder.");
    return result;
  }
  File file(std::fopen(log_file.c_str(), "rb"));
  if (!file) {
    result.status = Status::Error("Cannot read the log file \"" + log_file.string() +
                                  "\": " + std::strerror(errno) + ".");
    return result;
  }
  ImportProgress progress;
  progress.bytes_total = std::filesystem::file_size(log_file, ec);
  if (ec) progress.bytes_total = 0;

  ReportDb db;
  if (Status s = db.Open(db_file, ReportDb::Mode::kReadWrite); !s.ok) {
    result.status = s;
    return result;
  }
  // Every failure leaves the previous rows: the transaction rolls back unless committed.
  auto fail = [&](const Status& s) {
    result.status = Status::Error("Cannot write the report database \"" + db_file.string() +
                                  "\": " + s.message);
    return result;
  };
  ReportTransaction transaction(db);
  if (Status s = transaction.BeginImmediate(); !s.ok) return fail(s);
  if (Status s = DropSortIndexes(db); !s.ok) return fail(s);
  if (Status s = db.Exec("DELETE FROM tbl_log"); !s.ok) return fail(s);
  Statement insert;
  if (Status s = db.PrepareNative(kInsertSql, &insert); !s.ok) return fail(s);

  std::int64_t mark = 100;
  std::string insert_error;
  ReportFieldViews fields;
  LogLineReader reader(file.get());
  bool completed = reader.ForEachLine([&](std::string_view line, bool too_long) {
    ++result.lines;
    if ((result.lines & 4095) == 0 && options.cancel &&
        options.cancel->load(std::memory_order_relaxed)) {
      result.cancelled = true;
      return false;
    }
    if (too_long) {
      ++result.skipped_too_long;
      return true;
    }
    switch (ClassifyLogLine(line, fields)) {
      case LineKind::kNoSeparator:
        ++result.skipped_no_separator;
        return true;
      case LineKind::kStartOrClosed:
        ++result.skipped_start_closed;
        return true;
      case LineKind::kEntry:
        break;
    }
    auto date = LogDateToStored(fields[kDateField]);
    if (!date) {
      ++result.skipped_bad_date;
      return true;
    }
    auto time = LogTimeToStored(fields[kTimeField]);
    if (!time) {
      ++result.skipped_bad_time;
      return true;
    }
    if (result.stored == mark) {
      mark += options.progress_step > 0 ? options.progress_step : 10;
      if (options.cancel && options.cancel->load(std::memory_order_relaxed)) {
        result.cancelled = true;
        return false;
      }
      if (options.on_progress) {
        progress.entries = result.stored;
        progress.bytes_read = reader.bytes_read();
        options.on_progress(progress);
      }
    }
    insert.BindInt64(1, ClampedLeadingNumber(fields[kSlotLimitField]));
    insert.BindInt64(2, ClampedLeadingNumber(fields[kSlotField]));
    bool bound = true;
    for (int i = kActionField; i <= kBlockSourceField; ++i)
      bound = insert.BindTextStatic(i, fields[i]) && bound;
    bound = insert.BindTextStatic(9, *date) && bound;
    bound = insert.BindTextStatic(10, *time) && bound;
    if (!bound) {
      // Stored, the refused field would read as empty with nothing said.
      ++result.skipped_too_long;
      return true;
    }
    insert.Step();
    if (!insert.error().empty()) {
      insert_error = insert.error();
      return false;
    }
    insert.Reset();
    ++result.stored;
    return true;
  });
  insert = Statement();

  if (result.cancelled) {
    result.stored = 0;
    return result;
  }
  if (!insert_error.empty()) return fail(Status::Error(insert_error));
  if (!completed) {
    result.status = Status::Error("Cannot read the log file \"" + log_file.string() +
                                  "\": " + std::strerror(reader.error()) + ".");
    return result;
  }
  if (Status s = transaction.Commit(); !s.ok) return fail(s);
  if (options.on_progress) {
    progress.entries = result.stored;
    progress.bytes_read = reader.bytes_read();
    options.on_progress(progress);
  }
  return result;
}

Status ClearLogTable(const std::filesystem::path& db_file) {
  ReportDb db;
  if (Status s = db.Open(db_file, ReportDb::Mode::kReadWrite); !s.ok) return s;
  if (Status s = db.Exec("DELETE FROM tbl_log"); !s.ok) {
    return Status::Error("Cannot empty the report database \"" + db_file.string() +
                         "\": " + s.message);
  }
  return Status::Ok();
}

}  // namespace vantry::analyser
