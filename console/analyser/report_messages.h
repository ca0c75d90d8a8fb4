#pragma once

#include <string_view>

namespace vantry::analyser {

/// Title of the report refusals, the large-result question and the date dialog's messages.
inline constexpr std::string_view kReportTitle = "Vantry Report";
/// "Report" without a row limit for the address reports.
inline constexpr std::string_view kNeedLimitMessage = "Please define your report limit";
/// "Report" of one address or host with neither given.
inline constexpr std::string_view kNeedAddressMessage = "Please define your report IP and/or Host";
/// "Report" of the custom kind with no query defined.
inline constexpr std::string_view kNeedCustomMessage = "Please define your custom report";
/// The address dialogs before any log is loaded (information icon).
inline constexpr std::string_view kPreloadMessage =
    "It would be more helpful to preload a log file into the analyzer before attempting to "
    "define any report parameters.";
/// The large-result question (question icon, Yes/No).
inline constexpr std::string_view kLargeResultQuestion =
    "There are over 250 records to display for this report.  "
    "Any more than this may slow your computer's performance and this report may take some "
    "time to complete.  "
    "Do you wish to limit your report to only the first 250 records?";
/// Listings above this many records ask the large-result question.
inline constexpr int kLargeResultLimit = 250;

}  // namespace vantry::analyser
