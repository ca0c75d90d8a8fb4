#include "activity_report.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "monitor_channel.h"
#include "report_line.h"
#include "trace.h"

namespace vantry {

std::tm SystemLocalTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

ActivityReporter::ActivityReporter(const ConfigSettings& settings, Trace& trace,
                                   MonitorChannel* channel, LocalClock clock)
    : settings_(settings),
      trace_(trace),
      channel_(channel),
      clock_(std::move(clock)),
      log_path_(settings.PathEXE + "/vantry.log") {}

std::string ActivityReporter::BuildReportLine(std::int32_t index, std::string_view action,
                                              SocketInfo& info) {
  info.BLType = BlockTypeName(info.BLType);
  ReportFields fields{
      .slot_limit = settings_.MaxSocks,
      .slot = index,
      .action = std::string(action),
      .ip = info.IP,
      .alt_ip = info.AltIP,
      .host_name = info.HostName,
      .block_type = info.BLType,
      .block_source = info.BLHost,
  };
  return FormatReportLine(fields, clock_());
}

void ActivityReporter::ReportConnection(std::int32_t index, std::string_view action,
                                        SocketInfo& info) {
  std::string line = BuildReportLine(index, action, info);
  if (channel_ != nullptr) channel_->Send(FrameReport(line));
  trace_.SayLog(line);
  // Only verdicts are logged; connection starts, ends and the service's own
  // START and SHUT are not.
  bool log_ok = action == "OK" && settings_.LogOK > 0;
  bool log_bl = action == "BL" && settings_.LogBL != 0;
  if (action == "OK" || action == "BL") verdicts_.Count(action, info.BLType);
  if (log_ok || log_bl) AppendLog(line);
}

void ActivityReporter::AppendLog(std::string_view line) {
  std::string record(line);
  record += "\r\n";
  int fd = open(log_path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  bool ok = fd >= 0;
  int saved_errno = errno;
  if (ok) {
    // O_APPEND and a single write keep each line whole even if the file is shared.
    ssize_t n = write(fd, record.data(), record.size());
    ok = n == static_cast<ssize_t>(record.size());
    saved_errno = n < 0 ? errno : ENOSPC;
    if (n > 0 && !ok) {
      // A full disk cut the line: take the piece back off the end, or the
      // next line would run on from it and neither would read as a record.
      struct stat written {};
      if (fstat(fd, &written) == 0 && written.st_size >= n) ftruncate(fd, written.st_size - n);
    }
    close(fd);
  }
  if (!ok && !log_failing_) {
    trace_.Say("Cannot write activity log " + log_path_ + ": " + std::strerror(saved_errno) +
               " (reports still go to the trace and the monitor)");
  } else if (ok && log_failing_) {
    trace_.Say("Activity log " + log_path_ + " is writable again");
  }
  log_failing_ = !ok;
}

}  // namespace vantry
