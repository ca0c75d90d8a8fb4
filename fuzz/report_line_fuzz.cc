// Report lines and monitor frames from a log or a channel: splitting keeps
// every byte, a framed line reads back as its fields, and the console's frame
// reader always moves forward through whatever a poll returned.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "report_line.h"

namespace {

void CheckSplit(std::string_view line) {
  vantry::ReportFieldViews fields;
  const int count = vantry::SplitReportLine(line, fields);
  FUZZ_CHECK(count >= 0);
  if (count > vantry::kMaxReportFields) return;
  std::string joined;
  for (int i = 1; i <= count; ++i) {
    FUZZ_CHECK(fields[i].find(vantry::kFieldSeparator) == std::string_view::npos);
    if (i > 1) joined += vantry::kFieldSeparator;
    joined += fields[i];
  }
  // Only a closing "|" has no field of its own.
  FUZZ_CHECK(line == joined || line == joined + vantry::kFieldSeparator);
}

void CheckFrameRoundTrip(std::string_view line) {
  std::string shown;
  for (char c : line) {
    if (c != '*' && c != '+') shown += c;
  }
  std::string buffer = vantry::FrameReport(line);
  vantry::AlignMonitorBuffer(buffer);
  std::string_view view = buffer;
  auto fields = vantry::TakeMonitorMessage(view);
  FUZZ_CHECK(fields.has_value() && view.empty());
  std::string joined;
  for (std::size_t i = 0; i < fields->size(); ++i) {
    if (i > 0) joined += vantry::kFieldSeparator;
    joined += (*fields)[i];
  }
  FUZZ_CHECK(joined == shown);
}

void CheckPoll(std::string_view bytes) {
  std::string buffer(bytes);
  vantry::AlignMonitorBuffer(buffer);
  FUZZ_CHECK(buffer.empty() || buffer.starts_with(vantry::kFrameStart));
  std::string_view view = buffer;
  while (!view.empty()) {
    const std::size_t before = view.size();
    auto fields = vantry::TakeMonitorMessage(view);
    FUZZ_CHECK(view.size() < before);
    FUZZ_CHECK(view.empty() || view.starts_with(vantry::kFrameStart));
    if (!fields) continue;
    FUZZ_CHECK(!fields->empty());
    for (const std::string& field : *fields) {
      FUZZ_CHECK(field.find_first_of("*+|") == std::string::npos);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckSplit(bytes);
  CheckFrameRoundTrip(bytes);
  CheckPoll(bytes);
  // What the gateway makes of network text is always one field.
  const std::string field = vantry::NeutraliseField(bytes);
  vantry::ReportFieldViews fields;
  FUZZ_CHECK(field.size() == size && vantry::SplitReportLine(field, fields) <= 1);
  vantry::BlockTypeName(bytes);
  return 0;
}
