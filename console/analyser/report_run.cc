#include "report_run.h"

#include "report_custom.h"
#include "report_date.h"
#include "report_hits.h"
#include "report_ip.h"
#include "report_messages.h"
#include "sql_text.h"

namespace vantry::analyser {

ReportOutcome RunReport(ReportKind kind, ReportParams& params, const ReportContext& context,
                        ReportDocument& document) {
  document.ReportCreate();
  auto refuse = [](std::string_view message) {
    return ReportOutcome{ReportOutcome::Result::kRefused, std::string(message)};
  };
  Status status;
  switch (kind) {
    case ReportKind::kAllHosts:
      if (params.MaxResults == 0) return refuse(kNeedLimitMessage);
      status = GenReportHits(params, context, document);
      params.MaxResults = 0;
      break;
    case ReportKind::kSpecificHost:
      if (params.MaxResults == 0) return refuse(kNeedLimitMessage);
      if (params.ReportIP.empty() && params.ReportHost.empty()) {
        return refuse(kNeedAddressMessage);
      }
      status = GenReportIP(params, context, document);
      break;
    case ReportKind::kDateRange:
      status = GenReportDate(params, context, document);
      break;
    case ReportKind::kCustom:
      if (TrimSpacesAndTabs(params.CustomSQL).empty()) return refuse(kNeedCustomMessage);
      status = GenReportCustom(params, context, document);
      break;
  }
  if (!status.ok) {
    document.ReportCreate();
    return {ReportOutcome::Result::kFailed, status.message};
  }
  document.ReportEnd();
  return {};
}

}  // namespace vantry::analyser
