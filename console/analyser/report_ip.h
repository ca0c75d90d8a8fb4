#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report_context.h"
#include "report_document.h"
#include "report_params.h"
#include "status.h"

namespace vantry::analyser {

/// The hits dialog selects the first entry; none without a loaded log, in which
/// case it shows kPreloadMessage.
std::optional<std::size_t> MaxIPDialogSelection(std::int64_t log_ips);
/// The address dialog selects the entry 100, or the last entry when the list
/// is shorter; none when the list is empty.
std::optional<std::size_t> DefIPDialogSelection(std::int64_t log_ips);

/// What the address dialog's "OK" stores.
struct DefIPDialogFields {
  std::string txtIP;
  std::string txtHost;
  bool host_name_selected = false;  ///< optType index 1
  bool chkWildPre = false;
  bool chkWildSuf = false;
  std::optional<std::int64_t> limit;   ///< the selected lbMax number; none keeps MaxResults
  bool reverse_chronological = false;  ///< cbxOrder index 1
};
/// Stores the dialog into the parameters (texts trimmed, DateOrder " DESC" or empty).
void StoreDefIPDialog(const DefIPDialogFields& fields, ReportParams& params);

/// The address condition: "ip1 = '...'", "host like '%...%'" and so on, with
/// quotes in the typed value doubled.
std::string AddressCondition(const ReportParams& params);
/// The listing query "select top N * from tbl_log where <condition> order by connectdate <order>".
std::string AddressListingQuery(const ReportParams& params, std::int64_t row_limit);

/// Writes the report of one address or host name.
Status GenReportIP(const ReportParams& params, const ReportContext& context,
                   ReportDocument& document);

}  // namespace vantry::analyser
