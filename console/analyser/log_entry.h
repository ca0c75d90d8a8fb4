#pragma once

#include <string_view>

#include "report_line.h"

namespace vantry::analyser {

/// What the importer does with one physical line.
enum class LineKind {
  kEntry,          ///< an entry to store
  kNoSeparator,    ///< no "|": not a log entry
  kStartOrClosed,  ///< status "start"/"closed" in any case: not stored
};

/// Trims the line (spaces and tabs), splits it into views (fields 1..10 used,
/// the rest empty) and classifies it.
LineKind ClassifyLogLine(std::string_view line, ReportFieldViews& fields);

}  // namespace vantry::analyser
