#include "log_entry.h"

#include "sql_text.h"

namespace vantry::analyser {

int SplitLineViews(std::string_view line, LineFieldViews& fields) {
  int index = 0;
  size_t start = 0;
  while (true) {
    size_t bar = line.find('|', start);
    if (bar == std::string_view::npos) {
      if (start < line.size()) {
        ++index;
        if (index <= kMaxLineFields) fields[index] = line.substr(start);
      }
      return index;
    }
    ++index;
    if (index <= kMaxLineFields) fields[index] = line.substr(start, bar - start);
    start = bar + 1;
  }
}

int SplitLine(std::string_view line, LineFields& fields) {
  LineFieldViews views;
  int count = SplitLineViews(line, views);
  for (int i = 1; i <= kMaxLineFields && i <= count; ++i) fields[i].assign(views[i]);
  return count;
}

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

LineKind ClassifyLogLine(std::string_view raw, LineFieldViews& fields) {
  std::string_view line = TrimBlanks(raw);
  if (line.find('|') == std::string_view::npos) return LineKind::kNoSeparator;
  fields.fill({});
  SplitLineViews(line, fields);
  // Fields beyond the tenth (a "|" inside a zone name shifts them) are ignored.
  if (EqualsLower(fields[3], "start") || EqualsLower(fields[3], "closed")) {
    return LineKind::kStartOrClosed;
  }
  return LineKind::kEntry;
}

LineKind ParseLogLine(std::string_view raw, LogEntry& entry) {
  LineFieldViews f;
  LineKind kind = ClassifyLogLine(raw, f);
  if (kind != LineKind::kEntry) return kind;
  entry = LogEntry{std::string(f[1]), std::string(f[2]), std::string(f[3]), std::string(f[4]),
                   std::string(f[5]), std::string(f[6]), std::string(f[7]), std::string(f[8]),
                   std::string(f[9]), std::string(f[10])};
  return kind;
}

}  // namespace vantry::analyser
