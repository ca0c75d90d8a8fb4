#include "report_line.h"

#include <array>
#include <cstdio>
#include <utility>

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
      {"127.0.0.100", "Manual Block"},
      {"127.0.0.150", "No Hostname"},
      {"127.0.0.155", "Alt IP"},
      {"127.0.0.200", "Exception"},
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
  line += '|';
  line += std::to_string(f.slot);
  line += '|';
  for (const std::string* field :
       {&f.action, &f.ip, &f.alt_ip, &f.host_name, &f.block_type, &f.block_source}) {
    line += *field;
    line += '|';
  }
  line += date_time;
  return line;
}

std::string FrameReport(std::string_view line) {
  std::string frame;
  frame.reserve(line.size() + 6);
  frame += "+++";
  // A "***" or "+++" inside a field (a host name from someone's reverse zone)
  // would end the frame early or start another; the console drops every "*"
  // and "+" inside a frame anyway, so leaving them out changes nothing shown.
  for (char c : line) {
    if (c != '*' && c != '+') frame += c;
  }
  frame += "***";
  return frame;
}

std::string NeutraliseField(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if (c == '|' || u < 0x20 || u == 0x7f) c = '_';
  }
  return out;
}

}  // namespace vantry
