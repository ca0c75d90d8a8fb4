#include "zone_queries.h"

#include <asio/co_spawn.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <utility>

#include "crbl.h"
#include "text_trim.h"

namespace vantry {

ZoneQueries::ZoneQueries(asio::any_io_executor executor, std::vector<std::string> zones)
    : zones_(std::move(zones)), answers_(zones_.size()), arrival_(executor) {}

std::shared_ptr<ZoneQueries> ZoneQueries::Start(asio::any_io_executor executor, Resolver& resolver,
                                                std::string_view prefix,
                                                const std::vector<std::string>& zones,
                                                const std::set<std::string, std::less<>>& skipped,
                                                std::shared_ptr<ZoneCountersTable> counters) {
  auto queries = std::make_shared<ZoneQueries>(executor, zones);
  for (std::size_t i = 0; i < zones.size(); ++i) {
    if (skipped.contains(zones[i])) {
      queries->answers_[i] = "";
      continue;
    }
    ++(*counters)[zones[i]].lookups;
    const auto asked = std::chrono::steady_clock::now();
    asio::co_spawn(
        executor, resolver.ForwardLookup(std::string(prefix) + zones[i]),
        [queries, counters, asked, i](std::exception_ptr error, LookupResult result) {
          ZoneCounters& counted = (*counters)[queries->zones_[i]];
          counted.RecordLatency(
              std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
          if (error || result.failed) ++counted.timeouts;
          const std::string_view answer = TrimBlanks(result.text);
          if (IsAcceptedResponse(answer)) {
            ++counted.listings_by_type[std::string(ListingType(answer))];
          }
          queries->Arrived(i, error ? std::string() : std::move(result.text));
        });
  }
  return queries;
}

void ZoneQueries::Arrived(std::size_t i, std::string answer) {
  answers_[i] = std::move(answer);
  arrival_.cancel();
}

asio::awaitable<std::string> ZoneQueries::Answer(std::size_t i) {
  // Kept alive while we wait, whoever else lets go of it.
  auto self = shared_from_this();
  while (!answers_.at(i)) {
    asio::error_code ignored;
    arrival_.expires_at(asio::steady_timer::time_point::max());
    co_await arrival_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
  co_return *answers_[i];
}

}  // namespace vantry
