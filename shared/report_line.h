#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace vantry {

/// Report name of a block code ("127.0.0.2" -> "Type 2", "127.0.0.100" ->
/// "Manual Block", ...); any other text, empty included, comes back unchanged.
std::string BlockTypeName(std::string_view code);

/// Fields 1 to 8 of an activity report line.
struct ReportFields {
  std::int32_t slot_limit = 0;
  std::int32_t slot = 0;
  std::string action;
  std::string ip;
  std::string alt_ip;
  std::string host_name;
  std::string block_type;
  std::string block_source;
};

/// The ten-field line "limit|slot|action|ip|altip|host|type|source|yyyy-mm-dd|hh:mm"
/// for the given local time; no line end.
std::string FormatReportLine(const ReportFields& fields, const std::tm& local_time);

/// "+++" + line + "***": one frame on the monitor channel. Any "*" and "+"
/// inside the line are left out, so they cannot be taken for the markers.
std::string FrameReport(std::string_view line);

/// Makes text from the network safe for a field of the line: "|" and control
/// characters (CR, LF, NUL, ...) would split or break the ten-field line for
/// every reader, so each becomes "_".
std::string NeutraliseField(std::string_view text);

}  // namespace vantry
