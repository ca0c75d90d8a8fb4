#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "status.h"

namespace vantry::analyser {

/// Where an import stands, for a progress bar and the "Entries" panel.
struct ImportProgress {
  std::int64_t entries = 0;      ///< entries stored so far
  std::uint64_t bytes_read = 0;  ///< of the log file
  std::uint64_t bytes_total = 0;
};

/// How LoadLog reports and how it is stopped.
struct ImportOptions {
  /// Called at the progress marks (after 100 entries, then every
  /// progress_step entries) and once at the end; runs on the importing thread.
  std::function<void(const ImportProgress&)> on_progress;
  std::int64_t progress_step = 10;
  /// When it becomes true the import stops and the table keeps its previous rows.
  const std::atomic<bool>* cancel = nullptr;
  /// The gateway the log comes from; empty: this machine's host name.
  std::string gateway;
};

/// What an import did, including every line it did not store and why.
struct ImportResult {
  Status status;           ///< failure: nothing changed in the database
  bool cancelled = false;  ///< stopped by the cancel flag: nothing changed
  std::int64_t stored = 0;
  std::int64_t lines = 0;                 ///< physical lines read
  std::int64_t skipped_no_separator = 0;  ///< no "|" (blank lines, garbage)
  std::int64_t skipped_start_closed = 0;  ///< "start"/"closed" lines, never stored
  std::int64_t skipped_bad_date = 0;      ///< date field is no yyyy-mm-dd date
  std::int64_t skipped_bad_time = 0;      ///< time field is no hh:mm time
  /// A line longer than kMaxLogLineBytes, or a field longer than the database stores.
  std::int64_t skipped_too_long = 0;
  /// Fields that are no UTF-8 text, which PostgreSQL does not store.
  std::int64_t skipped_not_text = 0;

  /// One line for the user about the lines that were not stored because they
  /// could not be read; empty when there were none.
  std::string SkipSummary() const;
};

/// Empties tbl_log and imports every entry of the log file into it, in one
/// transaction: on failure or cancel the previous rows stay as they were.
/// db_file is a SQLite file or a postgresql:// URI. The remembered append
/// positions go too: the next append reads its files from the start.
/// Lines end in CR LF, LF or CR. Lines without "|" and "start"/"closed" lines
/// are skipped as the log format says; lines whose date or time cannot be read,
/// and lines longer than kMaxLogLineBytes, are skipped and counted.
ImportResult LoadLog(const std::filesystem::path& log_file, const std::filesystem::path& db_file,
                     const ImportOptions& options = {});

/// Empties tbl_log (what the analysis window does when it closes).
Status ClearLogTable(const std::filesystem::path& db_file);

/// Gives the space of deleted rows back (SQLite VACUUM; PostgreSQL VACUUM
/// of tbl_log), so the file shrinks after an import replaced its rows.
Status CompactDatabase(const std::filesystem::path& db_file);

class LogLineReader;
class LogRowWriter;
/// The entry loop shared by import and append: classifies and stores every
/// line the reader gives. False when the cancel flag or a refused row stopped
/// it (then result.cancelled or *failure says which).
bool StoreLines(LogLineReader& reader, LogRowWriter& writer, const ImportOptions& options,
                ImportProgress& progress, ImportResult& result, Status* failure);

/// Indexes that the list view creates for sorting; an import drops them first
/// so a million rows are not inserted into several b-trees.
inline constexpr const char* kSortIndexPrefix = "ix_view_";

/// The gateway name an import stores: the option, or this machine's host name.
std::string GatewayName(const ImportOptions& options);

}  // namespace vantry::analyser
