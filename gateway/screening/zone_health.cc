#include "zone_health.h"

#include <algorithm>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <cstdio>
#include <optional>
#include <tuple>
#include <utility>

namespace vantry {
namespace {

bool IsRefusal(std::string_view answer) { return answer.starts_with("127.255.255."); }

// The answer of whichever form of the test entry the zone knows: an IPv4 zone answers the
// IPv4 form, an IPv6 zone the IPv6 one.
LookupResult EitherForm(LookupResult ipv4, LookupResult ipv6) {
  if (!ipv4.text.empty()) return ipv4;
  if (!ipv6.text.empty()) return ipv6;
  return {.text = {}, .failed = ipv4.failed && ipv6.failed};
}

asio::awaitable<ZoneProbe> ProbeZone(Resolver& resolver, std::string zone) {
  using namespace asio::experimental::awaitable_operators;
  const auto start = std::chrono::steady_clock::now();
  auto [listed, never_listed, listed6, never_listed6] = co_await (
      resolver.ProbeLookup("2.0.0.127." + zone) && resolver.ProbeLookup("1.0.0.127." + zone) &&
      resolver.ProbeLookup(ReverseIP("::ffff:127.0.0.2") + zone) &&
      resolver.ProbeLookup(ReverseIP("::ffff:127.0.0.1") + zone));
  ZoneProbe probe = JudgeZone(std::move(zone), EitherForm(std::move(listed), std::move(listed6)),
                              EitherForm(std::move(never_listed), std::move(never_listed6)));
  probe.round_trip_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  co_return probe;
}

std::string ChangeLine(const ZoneProbe& probe) {
  const std::string zone = "Zone " + probe.zone;
  switch (probe.state) {
    case ZoneState::kHealthy:
      return zone + " healthy again";
    case ZoneState::kListsEverything:
      return zone + " unhealthy: " + probe.reason + "; skipped until healthy again";
    case ZoneState::kRefusing:
      return zone + " unhealthy: " + probe.reason + "; kept";
    case ZoneState::kNotWorking:
      return zone + " not working: " + probe.reason + "; kept";
  }
  return zone;
}

}  // namespace

std::string_view ZoneStateName(ZoneState state) {
  switch (state) {
    case ZoneState::kHealthy:
      return "healthy";
    case ZoneState::kListsEverything:
      return "lists everything";
    case ZoneState::kRefusing:
      return "refusing";
    case ZoneState::kNotWorking:
      return "not working";
  }
  return "?";
}

ZoneProbe JudgeZone(std::string zone, const LookupResult& listed,
                    const LookupResult& never_listed) {
  ZoneProbe probe;
  probe.zone = std::move(zone);
  // A refusal code can come for either entry, and for 127.0.0.1 it is no listing.
  for (const LookupResult* answer : {&listed, &never_listed}) {
    if (IsRefusal(answer->text)) {
      probe.state = ZoneState::kRefusing;
      probe.reason = "answers " + answer->text + " (refuses our queries)";
      return probe;
    }
  }
  if (!never_listed.text.empty()) {
    probe.state = ZoneState::kListsEverything;
    probe.reason = "lists 127.0.0.1 (" + never_listed.text + ")";
  } else if (listed.failed) {
    probe.state = ZoneState::kNotWorking;
    probe.reason = "no answer for 127.0.0.2";
  } else if (listed.text.empty()) {
    probe.state = ZoneState::kNotWorking;
    probe.reason = "does not list 127.0.0.2";
  }
  return probe;
}

std::string ZoneTable(const std::vector<ZoneProbe>& probes) {
  std::size_t zone_width = 4, state_width = 5, reason_width = 6;
  for (const ZoneProbe& probe : probes) {
    zone_width = std::max(zone_width, probe.zone.size());
    state_width = std::max(state_width, ZoneStateName(probe.state).size());
    reason_width = std::max(reason_width, probe.reason.size());
  }
  auto row = [&](std::string_view zone, std::string_view state, std::string_view reason,
                 std::string_view round_trip) {
    std::string line(zone);
    line.resize(zone_width + 2, ' ');
    line += state;
    line.resize(zone_width + 2 + state_width + 2, ' ');
    line += reason;
    line.resize(zone_width + 2 + state_width + 2 + reason_width + 2, ' ');
    return line + std::string(round_trip) + "\n";
  };
  std::string table = row("ZONE", "STATE", "REASON", "RTT ms");
  for (const ZoneProbe& probe : probes) {
    char round_trip[32];
    std::snprintf(round_trip, sizeof round_trip, "%.1f", probe.round_trip_ms);
    table += row(probe.zone, ZoneStateName(probe.state), probe.reason.empty() ? "-" : probe.reason,
                 round_trip);
  }
  return table;
}

struct ZoneHealth::Shared {
  Shared(asio::io_context& io, Resolver& resolver, const std::vector<std::string>& zones,
         SayFunction say, CRBL* checker)
      : io(io),
        resolver(resolver),
        zones(zones),
        say(std::move(say)),
        checker(checker),
        timer(io) {}

  // Traces and applies what the probes found.
  void Apply(const std::vector<ZoneProbe>& probes) {
    for (const ZoneProbe& probe : probes) {
      ZoneState& known = states[probe.zone];  // healthy until found otherwise
      if (known != probe.state && say) say(ChangeLine(probe));
      known = probe.state;
      if (checker != nullptr) checker->SkipZone(probe.zone, known == ZoneState::kListsEverything);
    }
  }

  asio::io_context& io;
  Resolver& resolver;
  const std::vector<std::string> zones;
  SayFunction say;
  CRBL* checker;
  std::map<std::string, ZoneState> states;
  asio::steady_timer timer;
  bool stopped = false;
};

ZoneHealth::ZoneHealth(asio::io_context& io, Resolver& resolver,
                       const std::vector<std::string>& zones, SayFunction say, CRBL* checker)
    : shared_(std::make_shared<Shared>(io, resolver, zones, std::move(say), checker)) {}

ZoneHealth::~ZoneHealth() {
  shared_->stopped = true;
  shared_->timer.cancel();
}

asio::awaitable<std::vector<ZoneProbe>> ZoneHealth::ProbeAll() {
  std::shared_ptr<Shared> shared = shared_;
  struct Gather {
    std::vector<std::optional<ZoneProbe>> probes;
    std::size_t done = 0;
    asio::steady_timer wake;
  };
  auto gather = std::make_shared<Gather>(
      Gather{.probes = std::vector<std::optional<ZoneProbe>>(shared->zones.size()),
             .done = 0,
             .wake = asio::steady_timer(shared->io)});
  for (std::size_t i = 0; i < shared->zones.size(); ++i) {
    asio::co_spawn(shared->io, ProbeZone(shared->resolver, shared->zones[i]),
                   [gather, i](std::exception_ptr error, ZoneProbe probe) {
                     if (!error) gather->probes[i] = std::move(probe);
                     ++gather->done;
                     gather->wake.cancel();
                   });
  }
  while (gather->done < gather->probes.size()) {
    asio::error_code ignored;
    gather->wake.expires_at(asio::steady_timer::time_point::max());
    co_await gather->wake.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
  std::vector<ZoneProbe> probes;
  for (std::size_t i = 0; i < gather->probes.size(); ++i) {
    probes.push_back(gather->probes[i].value_or(ZoneProbe{
        .zone = shared->zones[i], .state = ZoneState::kNotWorking, .reason = "probe failed"}));
  }
  if (!shared->stopped) shared->Apply(probes);
  co_return probes;
}

void ZoneHealth::Start(std::chrono::minutes interval) {
  if (interval.count() <= 0 || shared_->zones.empty()) return;
  auto loop = [](ZoneHealth* self, std::shared_ptr<Shared> shared,
                 std::chrono::minutes every) -> asio::awaitable<void> {
    while (!shared->stopped) {
      co_await self->ProbeAll();
      if (shared->stopped) co_return;
      asio::error_code ec;
      shared->timer.expires_after(every);
      co_await shared->timer.async_wait(asio::redirect_error(asio::use_awaitable, ec));
    }
  };
  asio::co_spawn(shared_->io, loop(this, shared_, interval), asio::detached);
}

ZoneState ZoneHealth::StateOf(const std::string& zone) const {
  auto found = shared_->states.find(zone);
  return found == shared_->states.end() ? ZoneState::kHealthy : found->second;
}

}  // namespace vantry
