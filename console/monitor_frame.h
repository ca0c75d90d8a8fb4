#pragma once

#include <optional>
#include <string>
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
std::optional<MonitorFields> TakeMonitorMessage(std::string& buffer);

}  // namespace vantry::console
