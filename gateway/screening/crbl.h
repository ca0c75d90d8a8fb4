#pragma once

#include <asio/awaitable.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "block_codes.h"
#include "config_settings.h"
#include "list_files.h"
#include "rbl_result.h"
#include "resolver.h"
#include "zone_counters.h"
#include "zone_queries.h"

namespace vantry {

/// The record of slot Index, or null when there is no such slot. A record stays
/// in place for the checker's lifetime: checks hold on to it while they wait.
using RBLResultLookup = std::function<RBLResult*(std::int32_t Index)>;

/// The reversed-octet prefix of a DNSBL query name: "a.b.c.d" gives "d.c.b.a." (with the trailing
/// dot). Missing pieces are empty, so "" gives "....". An IPv6 address gives its 32 nibbles,
/// last first: "2001:db8::1" gives "1.0.0.0. ... .8.b.d.0.1.0.0.2.".
std::string ReverseIP(std::string_view ip);

/// Whether a zone's answer (blanks already trimmed) counts: 9 or 10 characters long and containing
/// "127.0.0.", which admits 127.0.0.0 ... 127.0.0.99 only.
bool IsAcceptedResponse(std::string_view response);

/// The listing type of an answer: the text after its last "." (all of it without a dot).
std::string_view ListingType(std::string_view response);

/// 2 ... 9 when the type is exactly one of the one-character texts "2" ... "9"; 0 for any other
/// type, which never blocks.
int BlockingTypeNumber(std::string_view type);

/// The DNSBL checker. It keeps no state between calls: results live in the slots' records.
/// One instance serves all slots; checks of different slots may run concurrently on the
/// io_context's thread, each touching only its own slot's record.
class CRBL {
 public:
  /// Refusal: slot, address, zone (or " System Block "), block code.
  using BlackListedHandler =
      std::function<void(std::int32_t Index, const std::string& IP, const std::string& BLHost,
                         const std::string& BLType)>;
  /// Not refused on DNSBL grounds.
  using NotListedHandler = std::function<void(std::int32_t Index)>;

  /// All arguments must outlive the checker. RBLHosts is read at each check, so it is the loaded
  /// zone list itself.
  CRBL(Resolver& resolver, const ConfigSettings& settings, const std::vector<std::string>& RBLHosts,
       RBLResultLookup RBLResults, SayFunction say);

  /// Checks IP for slot Index: every zone is asked at once, and the first zone in list order whose
  /// answer is accepted decides. Exactly one of the two events has run for Index before the
  /// returned awaitable completes.
  asio::awaitable<void> CheckRBL(std::string IP, std::int32_t Index);
  /// The same, deciding on queries for IP sent earlier by StartQueries.
  asio::awaitable<void> CheckRBL(std::string IP, std::int32_t Index,
                                 std::shared_ptr<ZoneQueries> queries);
  /// Sends the zone queries for IP now, for a CheckRBL to come.
  asio::awaitable<std::shared_ptr<ZoneQueries>> StartQueries(std::string_view IP);

  /// Stores IP in the slot's record and raises evBlackListed with " System Block " and
  /// "127.0.0.100", before returning.
  void ManualBlock(std::string IP, std::int32_t Index);

  /// The zone walk for the IP of slot Index's record: fills Response and BLHost of that record from
  /// the first zone whose answer is accepted; leaves the record alone when no zones are configured.
  /// Waits for each zone's answer in list order, so an earlier zone's late answer still decides.
  asio::awaitable<void> QueryRBL(std::int32_t Index, std::shared_ptr<ZoneQueries> queries);

  /// A zone the screening leaves out (its answers cannot be trusted), or takes back.
  void SkipZone(std::string_view zone, bool skip);
  bool IsSkipped(std::string_view zone) const { return skipped_.contains(zone); }

  /// What each zone's queries counted since start, by zone.
  const ZoneCountersTable& zone_counters() const { return *counters_; }

  /// Slot Index's record, or null when there is no such slot.
  RBLResult* Record(std::int32_t Index) const { return RBLResults_ ? RBLResults_(Index) : nullptr; }

  /// Raised for a refusal.
  BlackListedHandler evBlackListed;
  /// Raised when the address is not listed (or listed with a type that does not block).
  NotListedHandler evNotListed;

 private:
  void Say(const std::string& line) const;
  void RaiseBlackListed(std::int32_t Index, const std::string& IP, const std::string& BLHost,
                        const std::string& BLType);
  void RaiseNotListed(std::int32_t Index);

  Resolver& resolver_;
  const ConfigSettings& settings_;
  const std::vector<std::string>& RBLHosts_;
  RBLResultLookup RBLResults_;
  SayFunction say_;
  std::set<std::string, std::less<>> skipped_;
  // Shared with the queries in flight, which may end after a check that no longer waits for them.
  std::shared_ptr<ZoneCountersTable> counters_ = std::make_shared<ZoneCountersTable>();
};

}  // namespace vantry
