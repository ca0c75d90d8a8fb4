#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace vantry {

/// What the screening counted for one DNSBL zone since the gateway started.
struct ZoneCounters {
  /// Upper bounds, in seconds, of the latency buckets; a last one takes the rest.
  static constexpr std::array<double, 10> kLatencyBounds = {0.005, 0.01, 0.025, 0.05, 0.1,
                                                            0.25,  0.5,  1.0,   2.5,  5.0};

  std::uint64_t lookups = 0;
  /// Lookups that got no answer (timeout, SERVFAIL, unreachable).
  std::uint64_t timeouts = 0;
  /// Accepted answers by listing type ("2" ... "9", or the answer's last part).
  std::map<std::string, std::uint64_t> listings_by_type;
  /// Lookups per latency bucket, not cumulative; the last entry is above every bound.
  std::array<std::uint64_t, kLatencyBounds.size() + 1> latency_buckets{};
  double latency_sum_seconds = 0;

  void RecordLatency(double seconds) {
    std::size_t bucket = 0;
    while (bucket < kLatencyBounds.size() && seconds > kLatencyBounds[bucket]) ++bucket;
    ++latency_buckets[bucket];
    latency_sum_seconds += seconds;
  }
};

/// Counters by zone name.
using ZoneCountersTable = std::map<std::string, ZoneCounters>;

/// What the DNS answer cache counted since the gateway started.
struct DnsCacheCounters {
  std::uint64_t hits = 0;
  std::uint64_t misses = 0;
  std::size_t entries = 0;
};

}  // namespace vantry
