#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "status.h"

namespace vantry::analyser {

/// The load totals of the status bar.
struct LogTotals {
  std::int64_t oks = 0;  ///< rows whose status is "ok" in any case
  std::int64_t bls = 0;  ///< rows whose status is "bl" in any case
  std::int64_t ips = 0;  ///< distinct connecting addresses (ReportParams.LogIPs)
};

/// Runs the three totals queries on the report database (one gateway's rows
/// when a name is given).
Status ShowTotals(const std::filesystem::path& db_file, LogTotals* totals,
                  std::string_view gateway = {});

/// Status bar panel texts: "Entries N", "Connects: N", "Banned: N", "IP's: N".
std::string EntriesPanelText(std::int64_t entries);
std::string OksPanelText(const LogTotals& totals);
std::string BlsPanelText(const LogTotals& totals);
std::string IpsPanelText(const LogTotals& totals);

}  // namespace vantry::analyser
