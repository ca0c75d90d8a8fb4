#pragma once

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crbl.h"
#include "resolver.h"

namespace vantry {

/// What a zone's test entries say about it. A DNSBL lists 127.0.0.2 and never 127.0.0.1 (an IPv6
/// zone: ::ffff:127.0.0.2 and ::ffff:127.0.0.1; each zone is asked both forms).
enum class ZoneState {
  kHealthy,
  /// Lists 127.0.0.1 too: it would refuse everybody, so the screening leaves it out.
  kListsEverything,
  /// Answers in 127.255.255.0/24: it refuses our queries (through a public resolver, or over its
  /// rate limit) and so blocks nobody. Kept, since its answers are never accepted anyway.
  kRefusing,
  /// Does not list 127.0.0.2, or does not answer: it blocks nobody. Kept.
  kNotWorking,
};

std::string_view ZoneStateName(ZoneState state);

/// One zone's probe.
struct ZoneProbe {
  std::string zone;
  ZoneState state = ZoneState::kHealthy;
  /// Why it is not healthy; empty when it is.
  std::string reason;
  /// The longer of the two probes' round trips.
  double round_trip_ms = 0;
};

/// The verdict on a zone from its answers for 127.0.0.2 (listed) and 127.0.0.1 (never listed).
ZoneProbe JudgeZone(std::string zone, const LookupResult& listed, const LookupResult& never_listed);

/// The probes as a table for the administrator: zone, state, reason, round trip.
std::string ZoneTable(const std::vector<ZoneProbe>& probes);

/// Probes the DNSBL zones with their test entries, past the resolver's cache: at once, or at
/// start and then every interval. A zone's change of state is traced once (and its recovery);
/// a zone that lists everything is skipped by the checker until a probe finds it healthy.
/// Everything given must outlive this object; probes in flight when it goes end unused.
class ZoneHealth {
 public:
  /// checker may be null: probes then only report.
  ZoneHealth(asio::io_context& io, Resolver& resolver, const std::vector<std::string>& zones,
             SayFunction say, CRBL* checker);
  ~ZoneHealth();
  ZoneHealth(const ZoneHealth&) = delete;
  ZoneHealth& operator=(const ZoneHealth&) = delete;

  /// Every zone probed at once; the results in list order.
  asio::awaitable<std::vector<ZoneProbe>> ProbeAll();
  /// Probes now and every interval after; an interval of 0 probes never.
  void Start(std::chrono::minutes interval);

  /// The state each zone was last found in.
  ZoneState StateOf(const std::string& zone) const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace vantry
