#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantry::console {

/// The fields (numbered from 1 at index 0) of a monitor message's report line.
using MonitorFields = std::vector<std::string>;

/// Trims blanks from both ends of a poll's buffer and drops anything before
/// the first frame start, so a frame tail left over from an earlier read does
/// not take the complete frames behind it down with it.
void AlignMonitorBuffer(std::string& buffer);

/// Cuts the first message off a buffer that begins with "+++" and returns its
/// fields, with every "*" and "+" inside the line dropped. An incomplete
/// message (no "***" before the buffer ends or before the next "+++") is
/// removed and gives nullopt. Afterwards the buffer begins with "+++" or is empty.
/// The buffer is a view that only moves forward, so taking every message of a
/// long backlog costs time in proportion to its length.
std::optional<MonitorFields> TakeMonitorMessage(std::string_view& buffer);

}  // namespace vantry::console
