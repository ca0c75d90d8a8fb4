#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The activity report line and its monitor-channel frame: the one place that
// knows their bytes. The gateway writes them, the console's monitor and the
// log analyser read them.

namespace vantry {

/// Frame markers on the monitor channel and the line's field separator.
inline constexpr std::string_view kFrameStart = "+++";
inline constexpr std::string_view kFrameEnd = "***";
inline constexpr char kFieldSeparator = '|';

/// The line's fields by number, counted from 1 as its readers count them.
enum ReportField : int {
  kSlotLimitField = 1,
  kSlotField,
  kActionField,
  kIpField,
  kAltIpField,
  kHostField,
  kBlockTypeField,
  kBlockSourceField,
  kDateField,
  kTimeField,
};

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

/// Room of the field table SplitReportLine fills; later fields are dropped.
inline constexpr int kMaxReportFields = 12;
/// SplitReportLine's table; index 0 is unused so fields keep their numbers 1..12.
using ReportFieldViews = std::array<std::string_view, kMaxReportFields + 1>;

/// Splits a stored line at every "|" into fields[1..]. A line ending in "|"
/// gets no empty last field. Returns how many fields the line has, which may
/// exceed kMaxReportFields; only the first kMaxReportFields are stored. The
/// views point into `line`.
int SplitReportLine(std::string_view line, ReportFieldViews& fields);

/// The fields of a monitor frame's line, numbered from 1 at index 0.
using MonitorFields = std::vector<std::string>;

/// One field of a frame; the caller has checked that the frame has it.
inline const std::string& FrameField(const MonitorFields& fields, ReportField field) {
  return fields[static_cast<std::size_t>(field) - 1];
}

/// Trims blanks from the end of a poll's buffer and drops anything before the
/// first frame start, so a frame tail left over from an earlier read does not
/// take the complete frames behind it down with it.
void AlignMonitorBuffer(std::string& buffer);

/// Cuts the first frame off a buffer that begins with "+++" and returns its
/// fields, with every "*" and "+" inside the line dropped; unlike a stored
/// line, a frame ending in "|" has an empty last field. An incomplete frame
/// (no "***" before the buffer ends or before the next "+++") is removed and
/// gives nullopt. Afterwards the buffer begins with "+++" or is empty. The
/// buffer only moves forward, so a long backlog costs time in proportion to
/// its length.
std::optional<MonitorFields> TakeMonitorMessage(std::string_view& buffer);

}  // namespace vantry
