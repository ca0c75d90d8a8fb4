#pragma once

#include <asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "activity_report.h"
#include "metrics/metrics_server.h"
#include "relay.h"
#include "slot_table.h"
#include "trace.h"
#include "zone_counters.h"

namespace vantry {

/// The gateway's metrics endpoint (MetricsListen): gathers the counters of the
/// reporter, the relay pump, the slots and the screening at each scrape.
class GatewayMetrics {
 public:
  struct Sources {
    SlotTable& slots;
    const ActivityReporter& reporter;
    const RelayPump& relay;
    /// The screening's counters; either may be left empty.
    std::function<ZoneCountersTable()> zones;
    std::function<DnsCacheCounters()> dns_cache;
  };

  GatewayMetrics(asio::io_context& io, Trace& trace, std::string listen, Sources sources);

  /// Serves MetricsListen; nothing to do when it is empty. A value that is no
  /// address and port, or one that cannot be bound, is traced in one line and
  /// returns false: the gateway must not run without the metrics it was told to serve.
  bool Start();
  void CountPerAddressRefusal() { ++per_address_refusals_; }
  /// The page a scrape gets now.
  std::string Page() const;
  /// The bound address, once started.
  asio::ip::tcp::endpoint local_endpoint() const;

 private:
  asio::io_context& io_;
  Trace& trace_;
  const std::string listen_;
  Sources sources_;
  const std::int64_t start_time_;
  std::uint64_t per_address_refusals_ = 0;
  std::optional<MetricsServer> server_;
};

}  // namespace vantry
