#include "report_line.h"

#include <array>
#include <cstdio>
#include <utility>

#include "block_codes.h"

namespace vantry {

std::string BlockTypeName(std::string_view code) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kNames{{
      {"127.0.0.2", "Type 2"},
      {"127.0.0.3", "Type 3"},
      {"127.0.0.4", "Type 4"},
      {"127.0.0.5", "Type 5"},
      {"127.0.0.6", "Type 6"},
      {"127.0.0.7", "Type 7"},
      {"127.0.0.8", "Type 8"},
      {"127.0.0.9", "Type 9"},
      {"127.0.0.10", "Type 10"},
      {"127.0.0.20", "Exception"},
      {kManualBlockCode, "Manual Block"},
      {kNoHostCode, "No Hostname"},
      {kAltIPCode, "Alt IP"},
      {kExceptionCode, "Exception"},
  }};
  for (const auto& [from, to] : kNames) {
    if (from == code) return std::string(to);
  }
  return std::string(code);
}

std::string FormatReportLine(const ReportFields& f, const std::tm& t) {
  char date_time[64];
  std::snprintf(date_time, sizeof date_time, "%04d-%02d-%02d|%02d:%02d", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
  std::string line;
  line.reserve(96 + f.host_name.size() + f.block_source.size());
  line += std::to_string(f.slot_limit);
  line += kFieldSeparator;
  line += std::to_string(f.slot);
  line += kFieldSeparator;
  for (const std::string* field :
       {&f.action, &f.ip, &f.alt_ip, &f.host_name, &f.block_type, &f.block_source}) {
    line += *field;
    line += kFieldSeparator;
  }
  line += date_time;
  return line;
}

std::string FrameReport(std::string_view line) {
  std::string frame;
  frame.reserve(line.size() + kFrameStart.size() + kFrameEnd.size());
  frame += kFrameStart;
  // A "***" or "+++" inside a field (a host name from someone's reverse zone)
  // would end the frame early or start another; the console drops every "*"
  // and "+" inside a frame anyway, so leaving them out changes nothing shown.
  for (char c : line) {
    if (c != '*' && c != '+') frame += c;
  }
  frame += kFrameEnd;
  return frame;
}

std::string NeutraliseField(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if (c == kFieldSeparator || u < 0x20 || u == 0x7f) c = '_';
  }
  return out;
}

int SplitReportLine(std::string_view line, ReportFieldViews& fields) {
  int index = 0;
  std::size_t start = 0;
  while (true) {
    std::size_t bar = line.find(kFieldSeparator, start);
    if (bar == std::string_view::npos) {
      if (start < line.size()) {
        ++index;
        if (index <= kMaxReportFields) fields[index] = line.substr(start);
      }
      return index;
    }
    ++index;
    if (index <= kMaxReportFields) fields[index] = line.substr(start, bar - start);
    start = bar + 1;
  }
}

namespace {

void DropTo(std::string& buffer, std::size_t pos) {
  if (pos == std::string::npos) {
    buffer.clear();
  } else {
    buffer.erase(0, pos);
  }
}

void DropTo(std::string_view& buffer, std::size_t pos) {
  buffer.remove_prefix(pos == std::string_view::npos ? buffer.size() : pos);
}

}  // namespace

void AlignMonitorBuffer(std::string& buffer) {
  std::size_t last = buffer.find_last_not_of(' ');
  buffer.erase(last == std::string::npos ? 0 : last + 1);
  DropTo(buffer, buffer.find(kFrameStart));
}

std::optional<MonitorFields> TakeMonitorMessage(std::string_view& buffer) {
  std::size_t end = buffer.find(kFrameEnd, kFrameStart.size());
  std::size_t next = buffer.find(kFrameStart, kFrameStart.size());
  if (end == std::string_view::npos) {
    buffer = {};
    return std::nullopt;
  }
  if (next != std::string_view::npos && next < end) {
    // The writer's frame was cut short: its end marker belongs to the next frame.
    DropTo(buffer, next);
    return std::nullopt;
  }
  MonitorFields fields(1);
  for (char c : buffer.substr(kFrameStart.size(), end - kFrameStart.size())) {
    if (c == kFieldSeparator) {
      fields.emplace_back();
    } else if (c != '*' && c != '+') {
      fields.back() += c;
    }
  }
  DropTo(buffer, buffer.find(kFrameStart, end + kFrameEnd.size()));
  return fields;
}

}  // namespace vantry
