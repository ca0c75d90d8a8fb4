#pragma once

#include <cstdint>

namespace vantry {

/// How far the DNSBL part of a slot's screening has come. The checker's events
/// move it on while CheckRBL runs; the screening reads it when CheckRBL returns.
enum class ScreeningStatus : std::int16_t {
  kUnchecked = 0,
  /// The peer's address is not listed.
  kPeerNotListed = 1,
  /// The alternative address is not listed either.
  kAltIPNotListed = 2,
  /// Refused: nothing further is checked.
  kBlacklisted = 4,
};

/// The status once one more address was found not listed.
constexpr ScreeningStatus AfterNotListed(ScreeningStatus status) {
  return static_cast<ScreeningStatus>(static_cast<std::int16_t>(status) + 1);
}

}  // namespace vantry
