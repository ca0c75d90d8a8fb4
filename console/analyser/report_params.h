#pragma once

#include <cstdint>
#include <string>

namespace vantry::analyser {

/// The report parameters shared by the analysis window, its four dialogs and
/// the command-line tool. They live as long as the console runs.
struct ReportParams {
  std::string LogFile;          ///< path of the loaded log file
  std::int64_t LogIPs = 0;      ///< distinct connecting addresses of the last load
  std::int64_t MaxResults = 0;  ///< row limit of the address reports; 0: none defined
  std::string ReportIP;         ///< address to report on (trimmed)
  std::string ReportHost;       ///< host name to report on (trimmed)
  bool SearchHost = false;      ///< select by host name instead of address
  std::string DateOrder;        ///< "" oldest first, " DESC" newest first
  bool WildPrefix = false;      ///< match any text before the value
  bool WildSuffix = false;      ///< match any text after the value
  std::string DateStart;        ///< mm/dd/yyyy
  std::string DateEnd;          ///< mm/dd/yyyy
  std::string TimeStart;        ///< h:mm AM/PM
  std::string TimeEnd;          ///< h:mm AM/PM
  bool TimeBased = false;       ///< a time range on the single date DateStart
  std::string CustomSQL;        ///< complete custom query; empty when none is defined
};

}  // namespace vantry::analyser
