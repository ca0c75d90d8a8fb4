#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vantry::analyser {

/// Room of the field table that SplitLine fills; later fields are dropped.
inline constexpr int kMaxLineFields = 12;

/// SplitLine's field table; index 0 is unused so fields keep their numbers 1..12.
using LineFields = std::array<std::string, kMaxLineFields + 1>;

/// Splits a log line at every "|" into fields[1..]. A line ending in "|" gets
/// no empty last field. Returns how many fields the line has, which may exceed
/// kMaxLineFields; only the first kMaxLineFields are stored.
int SplitLine(std::string_view line, LineFields& fields);

/// SplitLine over views into line, for the importer's hot loop (no copies).
using LineFieldViews = std::array<std::string_view, kMaxLineFields + 1>;
/// Same rules as SplitLine; the views stay valid as long as line does.
int SplitLineViews(std::string_view line, LineFieldViews& fields);

/// The ten fields of one activity log line, in the order of the table columns.
struct LogEntry {
  std::string MaxSocket;
  std::string Socket;
  std::string StatusCode;
  std::string IP1;
  std::string IP2;
  std::string Host;
  std::string BLType;
  std::string BLInfo;
  std::string connectdate;
  std::string ConnectTime;
};

/// What the importer does with one physical line.
enum class LineKind {
  kEntry,          ///< an entry to store
  kNoSeparator,    ///< no "|": not a log entry
  kStartOrClosed,  ///< status "start"/"closed" in any case: not stored
};

/// Trims the line, splits it into views (fields 1..10 used, the rest empty)
/// and classifies it.
LineKind ClassifyLogLine(std::string_view line, LineFieldViews& fields);

/// Trims the line, splits it and fills entry from fields 1..10 (missing
/// fields stay empty). The entry is filled only for LineKind::kEntry.
LineKind ParseLogLine(std::string_view line, LogEntry& entry);

}  // namespace vantry::analyser
