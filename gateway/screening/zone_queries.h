#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>
#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "resolver.h"
#include "zone_counters.h"

namespace vantry {

/// The DNSBL queries of one address, sent to every zone at once; the answers are read back in
/// list order, each as soon as it has come. Answers nobody reads any more are left to arrive
/// unread (they still count in the zone's counters and fill the resolver's cache).
class ZoneQueries : public std::enable_shared_from_this<ZoneQueries> {
 public:
  /// Sends the query prefix + zone for every zone but the skipped ones, which answer "".
  /// Counts each query in counters under its zone.
  static std::shared_ptr<ZoneQueries> Start(asio::any_io_executor executor, Resolver& resolver,
                                            std::string_view prefix,
                                            const std::vector<std::string>& zones,
                                            const std::set<std::string, std::less<>>& skipped,
                                            std::shared_ptr<ZoneCountersTable> counters);

  ZoneQueries(asio::any_io_executor executor, std::vector<std::string> zones);

  /// The zones as they were when the queries went out.
  const std::vector<std::string>& zones() const { return zones_; }
  /// Zone i's answer: the first address it gave, "" for none or no answer at all.
  asio::awaitable<std::string> Answer(std::size_t i);

 private:
  void Arrived(std::size_t i, std::string answer);

  std::vector<std::string> zones_;
  std::vector<std::optional<std::string>> answers_;
  // Woken (cancelled) by every answer; its reader then looks again.
  asio::steady_timer arrival_;
};

}  // namespace vantry
