#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report_context.h"
#include "report_document.h"
#include "report_params.h"
#include "status.h"

namespace vantry::analyser {

/// One distinct connecting address and its counts.
struct AddressHits {
  std::string address;
  std::string host;    ///< of the address's first entry; "&nbsp;" when it has none
  std::string alt_ip;  ///< of the address's first entry
  std::int64_t passed = 0;
  std::int64_t blocked = 0;
  std::int64_t hits() const { return passed + blocked; }
};

/// Every distinct address in order of first appearance, then sorted by hits,
/// most first; equal hits keep their order. One grouped query does the work.
/// A gateway name limits it to that gateway's rows.
Status CollectAddressHits(const std::filesystem::path& db_file, std::vector<AddressHits>* rows,
                          std::string_view gateway = {});

/// Writes the address-hits report: the first MaxResults addresses by hits and
/// the totals (all addresses, all blocks, all connections).
Status GenReportHits(const ReportParams& params, const ReportContext& context,
                     ReportDocument& document);

}  // namespace vantry::analyser
