#include "log_append.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "log_line_reader.h"
#include "log_row_writer.h"
#include "report_db.h"
#include "report_transaction.h"
#include "sql_text.h"
#include "sqlite_backend.h"

namespace vantry::analyser {
namespace {

// Enough of the start of a log to tell two files apart: the first lines
// carry dates and times to the second.
constexpr std::uint64_t kHeadBytes = 1024;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t hash = 1469598103934665603ULL;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Hash of the file's first `length` bytes; empty when they cannot be read.
std::string HeadHash(std::FILE* file, std::uint64_t length) {
  std::string head(length, '\0');
  if (length > 0 && pread(fileno(file), head.data(), length, 0) != static_cast<ssize_t>(length)) {
    return {};
  }
  return Hex(Fnv1a(head));
}

struct Remembered {
  bool found = false;
  std::int64_t device = 0;
  std::int64_t inode = 0;
  std::int64_t head_bytes = 0;
  std::string head_hash;
  std::int64_t done_bytes = 0;
};

Status ReadRemembered(ReportDb& db, std::string_view gateway, std::string_view path,
                      Remembered* out) {
  Statement query;
  bool pg = db.kind() == DbKind::kPostgres;
  if (Status s = db.PrepareNative(
          pg ? "SELECT device, inode, head_bytes, head_hash, done_bytes FROM tbl_import "
               "WHERE gateway = $1 AND path = $2"
             : "SELECT device, inode, head_bytes, head_hash, done_bytes FROM tbl_import "
               "WHERE gateway = ?1 AND path = ?2",
          &query);
      !s.ok) {
    return s;
  }
  query.BindTextStatic(1, gateway);
  query.BindTextStatic(2, path);
  if (query.Step()) {
    out->found = true;
    out->device = query.Int64(0);
    out->inode = query.Int64(1);
    out->head_bytes = query.Int64(2);
    out->head_hash = std::string(query.Text(3));
    out->done_bytes = query.Int64(4);
  }
  if (!query.error().empty()) return Status::Error(query.error());
  return Status::Ok();
}

Status Remember(ReportDb& db, std::string_view gateway, std::string_view path,
                const Remembered& state) {
  bool pg = db.kind() == DbKind::kPostgres;
  Statement upsert;
  if (Status s = db.PrepareNative(
          pg ? "INSERT INTO tbl_import (gateway, path, device, inode, head_bytes, head_hash, "
               "done_bytes) VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (gateway, path) DO "
               "UPDATE SET device = $3, inode = $4, head_bytes = $5, head_hash = $6, "
               "done_bytes = $7"
             : "INSERT OR REPLACE INTO tbl_import (gateway, path, device, inode, head_bytes, "
               "head_hash, done_bytes) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
          &upsert);
      !s.ok) {
    return s;
  }
  upsert.BindTextStatic(1, gateway);
  upsert.BindTextStatic(2, path);
  upsert.BindInt64(3, state.device);
  upsert.BindInt64(4, state.inode);
  upsert.BindInt64(5, state.head_bytes);
  upsert.BindTextStatic(6, state.head_hash);
  upsert.BindInt64(7, state.done_bytes);
  upsert.Step();
  if (!upsert.error().empty()) return Status::Error(upsert.error());
  return Status::Ok();
}

// logrotate renames the log to PATH.1 and the gateway starts a new one at the
// path: the lines the old file got after the last run are only there. The
// rotated file opened at the remembered offset when it is the file that was
// read before (same identity, same first bytes, not shorter); else null.
File RotatedRest(const std::filesystem::path& log_file, const Remembered& before,
                 std::uint64_t* size) {
  File rotated(std::fopen((log_file.string() + ".1").c_str(), "rb"));
  struct stat info {};
  if (!rotated || fstat(fileno(rotated.get()), &info) != 0 ||
      static_cast<std::int64_t>(info.st_dev) != before.device ||
      static_cast<std::int64_t>(info.st_ino) != before.inode || info.st_size < before.done_bytes ||
      HeadHash(rotated.get(), static_cast<std::uint64_t>(before.head_bytes)) != before.head_hash ||
      fseeko(rotated.get(), static_cast<off_t>(before.done_bytes), SEEK_SET) != 0) {
    return nullptr;
  }
  *size = static_cast<std::uint64_t>(info.st_size - before.done_bytes);
  return rotated;
}

}  // namespace

std::string_view AppendStartText(AppendStart start) {
  switch (start) {
    case AppendStart::kResumed:
      return {};
    case AppendStart::kFirstTime:
      return "read for the first time";
    case AppendStart::kNewFile:
      return "a new file at this path (rotated or replaced): read from its start";
    case AppendStart::kShrunk:
      return "shorter than what was read before (truncated): read from its start";
  }
  return {};
}

AppendResult AppendLog(const std::filesystem::path& log_file, const std::filesystem::path& db_file,
                       const ImportOptions& options) {
  AppendResult result;
  auto file_error = [&](std::string_view why) {
    result.status = Status::Error("Cannot read the log file \"" + log_file.string() +
                                  "\": " + std::string(why));
    return result;
  };
  File file(std::fopen(log_file.c_str(), "rb"));
  if (!file) return file_error(std::string(std::strerror(errno)) + ".");
  struct stat info {};
  if (fstat(fileno(file.get()), &info) != 0)
    return file_error(std::string(std::strerror(errno)) + ".");
  if (!S_ISREG(info.st_mode)) return file_error("it is not a regular file.");

  std::error_code ec;
  std::string path = std::filesystem::absolute(log_file, ec).lexically_normal().string();
  if (ec) path = log_file.string();
  std::string gateway = GatewayName(options);

  ReportDb db;
  if (Status s = db.Open(db_file, ReportDb::Mode::kReadWrite); !s.ok) {
    result.status = s;
    return result;
  }
  auto fail = [&](const Status& s) {
    result.status = Status::Error("Cannot write the report database \"" + db.display_name() +
                                  "\": " + s.message);
    return result;
  };
  // Another appender of the same database may hold the write lock for a while.
  if (db.sqlite()) db.sqlite()->SetBusyTimeout(60000);
  ReportTransaction transaction(db);
  if (Status s = transaction.BeginImmediate(); !s.ok) return fail(s);
  if (db.kind() == DbKind::kPostgres) {
    // One appender per gateway and file at a time; the second then sees what
    // the first recorded.
    auto key = static_cast<std::int64_t>(Fnv1a(gateway + '\n' + path));
    if (Status s = db.Exec("SELECT pg_advisory_xact_lock(" + std::to_string(key) + ")"); !s.ok) {
      return fail(s);
    }
  }
  Remembered before;
  if (Status s = ReadRemembered(db, gateway, path, &before); !s.ok) return fail(s);

  // fstat again: the file may have grown while this run waited for the lock.
  if (fstat(fileno(file.get()), &info) != 0)
    return file_error(std::string(std::strerror(errno)) + ".");
  auto size = static_cast<std::uint64_t>(info.st_size);
  std::uint64_t start = 0;
  File rotated;
  std::uint64_t rotated_size = 0;
  if (!before.found) {
    result.start = AppendStart::kFirstTime;
  } else if (before.device != static_cast<std::int64_t>(info.st_dev) ||
             before.inode != static_cast<std::int64_t>(info.st_ino)) {
    result.start = AppendStart::kNewFile;
    rotated = RotatedRest(log_file, before, &rotated_size);
  } else if (size < static_cast<std::uint64_t>(before.done_bytes)) {
    result.start = AppendStart::kShrunk;
  } else if (HeadHash(file.get(), before.head_bytes) != before.head_hash) {
    // Same inode, other bytes: truncated and written again past the old end.
    result.start = AppendStart::kNewFile;
  } else {
    result.start = AppendStart::kResumed;
    start = before.done_bytes;
  }
  result.from_offset = result.to_offset = start;
  if (result.start == AppendStart::kResumed && start == size) return result;  // nothing new

  if (fseeko(file.get(), static_cast<off_t>(start), SEEK_SET) != 0) {
    return file_error(std::string(std::strerror(errno)) + ".");
  }
  ImportProgress progress;
  progress.bytes_total = size + rotated_size;
  LogLineReader reader(file.get());
  reader.ResumeAt(start);
  Status failure;
  {
    LogRowWriter writer(db, gateway);
    if (Status s = writer.Begin(); !s.ok) return fail(s);
    bool stored = true;
    if (rotated) {
      LogLineReader rest(rotated.get());
      rest.ResumeAt(static_cast<std::uint64_t>(before.done_bytes));
      stored = StoreLines(rest, writer, options, progress, result, &failure);
      if (!stored && rest.error() != 0) {
        return file_error(std::string(std::strerror(rest.error())) + " (in its rotated file).");
      }
    }
    if (!stored || !StoreLines(reader, writer, options, progress, result, &failure)) {
      if (result.cancelled) {
        result.stored = 0;
        return result;
      }
      if (reader.error() != 0) return file_error(std::string(std::strerror(reader.error())) + ".");
      return fail(failure);
    }
    if (Status s = writer.Finish(); !s.ok) return fail(s);
  }
  Remembered after;
  after.device = static_cast<std::int64_t>(info.st_dev);
  after.inode = static_cast<std::int64_t>(info.st_ino);
  after.done_bytes = static_cast<std::int64_t>(reader.complete_bytes());
  after.head_bytes = static_cast<std::int64_t>(std::min(kHeadBytes, reader.complete_bytes()));
  after.head_hash = HeadHash(file.get(), after.head_bytes);
  if (Status s = Remember(db, gateway, path, after); !s.ok) return fail(s);
  if (Status s = transaction.Commit(); !s.ok) return fail(s);
  result.to_offset = reader.complete_bytes();
  return result;
}

}  // namespace vantry::analyser
