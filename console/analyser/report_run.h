#pragma once

#include <array>
#include <string>
#include <string_view>

#include "report_context.h"
#include "report_document.h"
#include "report_params.h"

namespace vantry::analyser {

/// The report kinds, in the order of the window's combo box.
enum class ReportKind { kAllHosts = 0, kSpecificHost = 1, kDateRange = 2, kCustom = 3 };
/// The combo box's entries.
inline constexpr std::array<std::string_view, 4> kReportKindNames = {
    "All Hosts/IP Addresses", "Specific Host/IP Address", "Date/Time Range",
    "Create Custom Report"};

/// How "Report" ended.
struct ReportOutcome {
  enum class Result {
    kDone,     ///< the document is complete; Save may be enabled
    kRefused,  ///< a parameter is missing: message with exclamation icon, title kReportTitle
    kFailed,   ///< the database or a query failed: message says why
  };
  Result result = Result::kDone;
  std::string message;
};

/// The "Report" command without its window: writes the skeleton, refuses
/// missing parameters, runs the kind's generator and closes the document.
/// After a refusal or failure the document holds only the skeleton. An
/// "All Hosts/IP Addresses" run sets MaxResults back to 0.
ReportOutcome RunReport(ReportKind kind, ReportParams& params, const ReportContext& context,
                        ReportDocument& document);

}  // namespace vantry::analyser
