#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "report_line.h"

namespace vantry::analyser {

/// One bar of the connections chart: an hour or a day.
struct ChartBucket {
  std::string label;  ///< "yyyy-mm-dd hh:00" or "yyyy-mm-dd"
  std::int64_t passed = 0;
  std::int64_t refused = 0;
};

/// A name and its count, as the bar charts show them.
using ChartCount = std::pair<std::string, std::int64_t>;

/// The numbers behind the analysis window's charts.
struct ChartCounts {
  /// Hours when the log spans two days or less, else days; every hour or day
  /// from the first entry's to the last one's, empty ones included.
  bool hourly = true;
  std::vector<ChartBucket> timeline;
  /// Most first, ties by name.
  std::vector<ChartCount> types;          ///< refusals by block type
  std::vector<ChartCount> zones;          ///< refusals by zone (the reporting source)
  std::vector<ChartCount> top_addresses;  ///< the busiest client addresses, all connections
  std::int64_t passed = 0;
  std::int64_t refused = 0;
};

/// Adds up log entries (lines the import stores) for the charts.
class ChartCounter {
 public:
  static constexpr std::size_t kTopAddresses = 10;

  /// One entry, split as the import splits it. Entries whose date or time the
  /// import would refuse are left out, as the import leaves them out.
  void Add(const ReportFieldViews& fields);
  ChartCounts Finish() const;

 private:
  // Stored date and hour ("yyyy-mm-dd", 0..23) to passed and refused.
  std::map<std::pair<std::string, int>, std::pair<std::int64_t, std::int64_t>> hours_;
  std::unordered_map<std::string, std::int64_t> types_, zones_, addresses_;
};

/// Counts a whole log file line by line; nullopt when it cannot be read or
/// `cancel` was set meanwhile.
std::optional<ChartCounts> CountLogFile(const std::string& path,
                                        const std::atomic<bool>* cancel = nullptr);

}  // namespace vantry::analyser
