#include "monitor_frame.h"

#include <string_view>

namespace vantry::console {
namespace {

constexpr std::string_view kStart = "+++";
constexpr std::string_view kEnd = "***";

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
  DropTo(buffer, buffer.find(kStart));
}

std::optional<MonitorFields> TakeMonitorMessage(std::string_view& buffer) {
  std::size_t end = buffer.find(kEnd, kStart.size());
  std::size_t next = buffer.find(kStart, kStart.size());
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
  for (char c : buffer.substr(kStart.size(), end - kStart.size())) {
    if (c == '|') {
      fields.emplace_back();
    } else if (c != '*' && c != '+') {
      fields.back() += c;
    }
  }
  DropTo(buffer, buffer.find(kStart, end + kEnd.size()));
  return fields;
}

}  // namespace vantry::console
