#include "log_entry.h"

#include "sql_text.h"

namespace vantry::analyser {
namespace {

bool EqualsLower(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

}  // namespace

LineKind ClassifyLogLine(std::string_view raw, ReportFieldViews& fields) {
  std::string_view line = TrimSpacesAndTabs(raw);
  if (line.find(kFieldSeparator) == std::string_view::npos) return LineKind::kNoSeparator;
  fields.fill({});
  SplitReportLine(line, fields);
  // Fields beyond the tenth (a "|" inside a zone name shifts them) are ignored.
  if (EqualsLower(fields[kActionField], "start") || EqualsLower(fields[kActionField], "closed")) {
    return LineKind::kStartOrClosed;
  }
  return LineKind::kEntry;
}

}  // namespace vantry::analyser
