#pragma once

#include <filesystem>

#include "log_import.h"

namespace vantry::analyser {

/// What an append found about the file besides its lines.
enum class AppendStart {
  kResumed,    ///< read on from the last complete line of the previous run
  kFirstTime,  ///< never read for this gateway before
  kNewFile,    ///< another file at the same path (rotated or replaced)
  kShrunk,     ///< the same file, shorter than what was read (truncated)
};

struct AppendResult : ImportResult {
  AppendStart start = AppendStart::kFirstTime;
  std::uint64_t from_offset = 0;  ///< where reading began
  std::uint64_t to_offset = 0;    ///< just past the last complete line now stored
};

/// Adds the lines of log_file not imported before for this gateway, in one
/// transaction that also records how far the file was read: its identity
/// (device, inode and a hash of its first bytes) and the byte offset just past
/// its last complete line. A half-written last line is left for the next run;
/// another file at the path or a shorter one is read from its start, after the
/// unread rest of PATH.1 when that is the file read before (rotated away). Two
/// appends of the same file and gateway at once run one after the other, so no
/// line is lost or stored twice; a failure stores nothing and records nothing.
AppendResult AppendLog(const std::filesystem::path& log_file, const std::filesystem::path& db_file,
                       const ImportOptions& options = {});

/// The text the report tool prints for an append's start, empty for kResumed.
std::string_view AppendStartText(AppendStart start);

}  // namespace vantry::analyser
