#pragma once

#include <asio/awaitable.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "block_codes.h"
#include "config_settings.h"
#include "list_files.h"
#include "rbl_result.h"
#include "resolver.h"

namespace vantry {

/// The record of slot Index, or null when there is no such slot. A record stays
/// in place for the checker's lifetime: checks hold on to it while they wait.
using RBLResultLookup = std::function<RBLResult*(std::int32_t Index)>;

/// The reversed-octet prefix of a DNSBL query name: "a.b.c.d" gives "d.c.b.a." (with the trailing
/// dot). Missing pieces are empty, so "" gives "....".
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

  /// Checks IP for slot Index: the zones are asked one after another in list order. Exactly one
  /// of the two events has run for Index before the returned awaitable completes.
  asio::awaitable<void> CheckRBL(std::string IP, std::int32_t Index);

  /// Stores IP in the slot's record and raises evBlackListed with " System Block " and
  /// "127.0.0.100", before returning.
  void ManualBlock(std::string IP, std::int32_t Index);

  /// The zone walk for the IP of slot Index's record: fills Response and BLHost of that record from
  /// the first zone whose answer is accepted; leaves the record alone when no zones are configured.
  asio::awaitable<void> QueryRBL(std::int32_t Index);

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
};

}  // namespace vantry
