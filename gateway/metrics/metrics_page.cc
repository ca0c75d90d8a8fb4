#include "metrics/metrics_page.h"

#include <charconv>
#include <string_view>

namespace vantry {
namespace {

// Label values may hold anything a zone name or block type does.
std::string EscapeLabel(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '\\' || c == '"') {
      out.push_back('\\');
      out.push_back(c);
    } else if (c == '\n') {
      out.append("\\n");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// The shortest text that reads back as the same number: "0.005", not "0.0050000000000000001".
std::string FormatDouble(double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return std::string(text, ec == std::errc() ? end : text);
}

class PageWriter {
 public:
  void Family(std::string_view name, std::string_view type, std::string_view help) {
    page_.append("# HELP ").append(name).append(" ").append(help).append("\n");
    page_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
  }
  // `labels` is already in the form `a="x",b="y"`, or empty.
  void Sample(std::string_view name, std::string_view labels, std::string_view value) {
    page_.append(name);
    if (!labels.empty()) page_.append("{").append(labels).append("}");
    page_.append(" ").append(value).append("\n");
  }
  void Sample(std::string_view name, std::string_view labels, std::uint64_t value) {
    Sample(name, labels, std::to_string(value));
  }
  std::string Take() { return std::move(page_); }

 private:
  std::string page_;
};

std::string Label(std::string_view name, std::string_view value) {
  return std::string(name) + "=\"" + EscapeLabel(value) + "\"";
}

void WriteZones(PageWriter& page, const ZoneCountersTable& zones) {
  page.Family("vantry_zone_lookups_total", "counter", "DNSBL lookups made, by zone.");
  for (const auto& [zone, counters] : zones) {
    page.Sample("vantry_zone_lookups_total", Label("zone", zone), counters.lookups);
  }
  page.Family("vantry_zone_listings_total", "counter",
              "DNSBL answers that listed the address, by zone and listing type.");
  for (const auto& [zone, counters] : zones) {
    for (const auto& [type, count] : counters.listings_by_type) {
      page.Sample("vantry_zone_listings_total", Label("zone", zone) + "," + Label("type", type),
                  count);
    }
  }
  page.Family("vantry_zone_timeouts_total", "counter",
              "DNSBL lookups that got no answer, by zone.");
  for (const auto& [zone, counters] : zones) {
    page.Sample("vantry_zone_timeouts_total", Label("zone", zone), counters.timeouts);
  }
  page.Family("vantry_zone_lookup_duration_seconds", "histogram",
              "Time a DNSBL lookup took, by zone.");
  for (const auto& [zone, counters] : zones) {
    const std::string zone_label = Label("zone", zone);
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < counters.latency_buckets.size(); ++i) {
      cumulative += counters.latency_buckets[i];
      const std::string bound = i < ZoneCounters::kLatencyBounds.size()
                                    ? FormatDouble(ZoneCounters::kLatencyBounds[i])
                                    : "+Inf";
      page.Sample("vantry_zone_lookup_duration_seconds_bucket",
                  zone_label + "," + Label("le", bound), cumulative);
    }
    page.Sample("vantry_zone_lookup_duration_seconds_sum", zone_label,
                FormatDouble(counters.latency_sum_seconds));
    page.Sample("vantry_zone_lookup_duration_seconds_count", zone_label, cumulative);
  }
}

}  // namespace

std::string RenderMetricsPage(const MetricsSnapshot& snapshot) {
  PageWriter page;
  page.Family("vantry_connections_total", "counter",
              "Connections screened, by verdict and block type.");
  for (const auto& [key, count] : snapshot.verdicts.counts()) {
    page.Sample("vantry_connections_total",
                Label("verdict", key.first) + "," + Label("block_type", key.second), count);
  }
  WriteZones(page, snapshot.zones);
  page.Family("vantry_dns_cache_hits_total", "counter", "Lookups answered from the DNS cache.");
  page.Sample("vantry_dns_cache_hits_total", "", snapshot.dns_cache.hits);
  page.Family("vantry_dns_cache_misses_total", "counter",
              "Lookups the DNS cache could not answer.");
  page.Sample("vantry_dns_cache_misses_total", "", snapshot.dns_cache.misses);
  page.Family("vantry_dns_cache_entries", "gauge", "Answers held in the DNS cache.");
  page.Sample("vantry_dns_cache_entries", "", snapshot.dns_cache.entries);
  page.Family("vantry_slots_in_use", "gauge", "Connection slots held by clients.");
  page.Sample("vantry_slots_in_use", "", std::to_string(snapshot.slots_in_use));
  page.Family("vantry_slots_available", "gauge", "Connection slots free for new clients.");
  page.Sample("vantry_slots_available", "", std::to_string(snapshot.slots_available));
  page.Family("vantry_per_address_refusals_total", "counter",
              "Clients turned away because their address held MaxPerIP slots.");
  page.Sample("vantry_per_address_refusals_total", "", snapshot.per_address_refusals);
  page.Family("vantry_idle_timeouts_total", "counter",
              "Relayed connections closed after IdleTimeout without a byte.");
  page.Sample("vantry_idle_timeouts_total", "", snapshot.relay.idle_timeouts);
  page.Family("vantry_relayed_bytes_total", "counter", "Bytes relayed, by direction.");
  page.Sample("vantry_relayed_bytes_total", Label("direction", "to_mail_server"),
              snapshot.relay.bytes_to_mail_server);
  page.Sample("vantry_relayed_bytes_total", Label("direction", "to_client"),
              snapshot.relay.bytes_to_clients);
  page.Family("vantry_start_time_seconds", "gauge",
              "Time the gateway started, in seconds since the epoch.");
  page.Sample("vantry_start_time_seconds", "", std::to_string(snapshot.start_time));
  return page.Take();
}

}  // namespace vantry
