#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "config_settings.h"
#include "metrics/gateway_counters.h"
#include "socket_info.h"

namespace vantry {

class MonitorChannel;
class Trace;

/// Local time source for the date and time fields; replaceable in tests.
using LocalClock = std::function<std::tm()>;
std::tm SystemLocalTime();

/// Turns slot events into report lines and sends each to the monitor channel,
/// the activity trace and, for verdicts as configured, the activity log.
class ActivityReporter {
 public:
  ActivityReporter(const ConfigSettings& settings, Trace& trace, MonitorChannel* channel,
                   LocalClock clock = SystemLocalTime);

  /// Builds the line for the slot and dispatches it to the three outputs.
  void ReportConnection(std::int32_t index, std::string_view action, SocketInfo& info);
  /// The ten-field line; writes the block type's report name back into info.
  std::string BuildReportLine(std::int32_t index, std::string_view action, SocketInfo& info);
  /// Appends line + CR LF to the activity log, opening and closing it around
  /// the write. A failure is traced once per run of failures and never stops
  /// the gateway.
  void AppendLog(std::string_view line);
  /// The verdicts ("OK", "BL") reported so far, by block type.
  const VerdictCounts& verdict_counts() const { return verdicts_; }

 private:
  const ConfigSettings& settings_;
  Trace& trace_;
  MonitorChannel* channel_;
  LocalClock clock_;
  std::string log_path_;
  bool log_failing_ = false;
  VerdictCounts verdicts_;
};

}  // namespace vantry
