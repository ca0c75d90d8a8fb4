#pragma once

#include <cstdint>
#include <string>

#include "metrics/gateway_counters.h"
#include "zone_counters.h"

namespace vantry {

/// Everything the metrics page shows, read at the moment of a scrape.
struct MetricsSnapshot {
  const VerdictCounts& verdicts;
  const ZoneCountersTable& zones;
  DnsCacheCounters dns_cache = {};
  RelayCounters relay = {};
  std::int32_t slots_in_use = 0;
  std::int32_t slots_available = 0;
  std::uint64_t per_address_refusals = 0;
  /// Seconds since the epoch at which the gateway started.
  std::int64_t start_time = 0;
};

/// The snapshot in the Prometheus text exposition format (version 0.0.4),
/// every series named vantry_*.
std::string RenderMetricsPage(const MetricsSnapshot& snapshot);

}  // namespace vantry
