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
#include "log_row_writer.h"
#include "report_db.h"
#include "report_schema.h"
#include "report_transaction.h"
#include "sql_text.h"

namespace vantry::analyser {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Drops the list view's sort indexes and the report indexes inside the
// import's transaction, so a cancelled import gets them back with everything
// else; the report indexes are built again after the rows are in.
Status DropSqliteIndexes(ReportDb& db) {
  Statement list;
  if (Status s = db.PrepareNative(
          "SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='tbl_log' AND "
          "(name LIKE 'ix\\_view\\_%' ESCAPE '\\' OR name LIKE 'ix\\_log\\_%' ESCAPE '\\')",
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

std::string GatewayName(const ImportOptions& options) {
  return options.gateway.empty() ? LocalGatewayName() : options.gateway;
}

std::string ImportResult::SkipSummary() const {
  std::int64_t bad = skipped_bad_date + skipped_bad_time + skipped_too_long + skipped_not_text;
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
  add(skipped_not_text, " that are not UTF-8 text");
  return text + reasons + ".";
}

bool StoreLines(LogLineReader& reader, LogRowWriter& writer, const ImportOptions& options,
                ImportProgress& progress, ImportResult& result, Status* failure) {
  std::int64_t mark = 100;
  ReportFieldViews fields;
  bool write_failed = false;
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
    switch (writer.Add(fields, *date, *time, failure)) {
      case LogRowWriter::Added::kStored:
        ++result.stored;
        return true;
      case LogRowWriter::Added::kTooLong:
        ++result.skipped_too_long;
        return true;
      case LogRowWriter::Added::kNotText:
        ++result.skipped_not_text;
        return true;
      case LogRowWriter::Added::kFailed:
        write_failed = true;
        return false;
    }
    return true;
  });
  if (write_failed || result.cancelled) return false;
  if (!completed) {
    *failure = Status::Error(std::strerror(reader.error()));
    return false;
  }
  return true;
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
    result.status = Status::Error("Cannot write the report database \"" + db.display_name() +
                                  "\": " + s.message);
    return result;
  };
  bool sqlite = db.kind() == DbKind::kSqlite;
  ReportTransaction transaction(db);
  if (Status s = transaction.BeginImmediate(); !s.ok) return fail(s);
  if (sqlite) {
    if (Status s = DropSqliteIndexes(db); !s.ok) return fail(s);
  }
  if (Status s = db.Exec(sqlite ? "DELETE FROM tbl_log" : "TRUNCATE tbl_log"); !s.ok) {
    return fail(s);
  }
  if (Status s = db.Exec("DELETE FROM tbl_import"); !s.ok) return fail(s);

  Status failure;
  LogLineReader reader(file.get());
  {
    LogRowWriter writer(db, GatewayName(options));
    if (Status s = writer.Begin(); !s.ok) return fail(s);
    if (!StoreLines(reader, writer, options, progress, result, &failure)) {
      if (result.cancelled) {
        result.stored = 0;
        return result;
      }
      if (reader.error() != 0) {
        result.status = Status::Error("Cannot read the log file \"" + log_file.string() +
                                      "\": " + std::strerror(reader.error()) + ".");
        return result;
      }
      return fail(failure);
    }
    if (Status s = writer.Finish(); !s.ok) return fail(s);
  }
  if (sqlite) {
    for (const std::string& ddl : ReportIndexSql(DbKind::kSqlite)) {
      if (Status s = db.Exec(ddl); !s.ok) return fail(s);
    }
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
    return Status::Error("Cannot empty the report database \"" + db.display_name() +
                         "\": " + s.message);
  }
  return Status::Ok();
}

Status CompactDatabase(const std::filesystem::path& db_file) {
  ReportDb db;
  if (Status s = db.Open(db_file, ReportDb::Mode::kReadWrite); !s.ok) return s;
  if (Status s = db.Exec(db.kind() == DbKind::kSqlite ? "VACUUM" : "VACUUM tbl_log"); !s.ok) {
    return Status::Error("Cannot compact the report database \"" + db.display_name() +
                         "\": " + s.message);
  }
  return Status::Ok();
}

}  // namespace vantry::analyser
