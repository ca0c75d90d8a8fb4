#include "metrics/gateway_metrics.h"

#include <ctime>

#include "metrics/metrics_page.h"

namespace vantry {

GatewayMetrics::GatewayMetrics(asio::io_context& io, Trace& trace, std::string listen,
                               Sources sources)
    : io_(io),
      trace_(trace),
      listen_(std::move(listen)),
      sources_(std::move(sources)),
      start_time_(static_cast<std::int64_t>(std::time(nullptr))) {}

bool GatewayMetrics::Start() {
  if (listen_.empty()) return true;
  const auto endpoint = ParseListenAddress(listen_);
  if (!endpoint) {
    trace_.Say("Cannot serve metrics on \"" + listen_ +
               "\": MetricsListen must be an address and a port, such as 127.0.0.1:9466 or "
               "[::1]:9466");
    return false;
  }
  server_.emplace(io_, [this] { return Page(); });
  if (const std::error_code ec = server_->Listen(*endpoint)) {
    trace_.Say("Cannot serve metrics on " + listen_ + ": " + ec.message());
    server_.reset();
    return false;
  }
  trace_.Say("Metrics on http://" + listen_ + "/metrics");
  return true;
}

std::string GatewayMetrics::Page() const {
  std::int32_t in_use = 0;
  const std::int32_t total = sources_.slots.max_socks() + 1;
  for (std::int32_t i = 0; i < total; ++i) {
    if (sources_.slots.slot(i).reserved) ++in_use;
  }
  const ZoneCountersTable zones = sources_.zones ? sources_.zones() : ZoneCountersTable{};
  return RenderMetricsPage({
      .verdicts = sources_.reporter.verdict_counts(),
      .zones = zones,
      .dns_cache = sources_.dns_cache ? sources_.dns_cache() : DnsCacheCounters{},
      .relay = sources_.relay.counters(),
      .slots_in_use = in_use,
      .slots_available = total - in_use,
      .per_address_refusals = per_address_refusals_,
      .start_time = start_time_,
  });
}

asio::ip::tcp::endpoint GatewayMetrics::local_endpoint() const {
  return server_ ? server_->local_endpoint() : asio::ip::tcp::endpoint{};
}

}  // namespace vantry
