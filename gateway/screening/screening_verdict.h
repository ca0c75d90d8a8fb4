#pragma once

#include <string>

namespace vantry {

/// What the gateway does with a screened connection.
enum class ScreeningAction {
  /// On the exception list: passed without any further test.
  kPassAsException,
  kPass,
  /// A local test refuses: the caller reports the verdict, then refuses
  /// through the checker's ManualBlock.
  kRefuseLocally,
  /// A zone listed the peer: the checker's event has already refused it, and
  /// the caller only reports.
  kRefusedByZone,
  /// A name server gave no answer where the answer would decide: the caller
  /// reports the verdict, then tells the client to come back later.
  kDeferTemporarily,
};

/// The outcome of screening one connection request, with what its report needs.
struct ScreeningVerdict {
  ScreeningAction action = ScreeningAction::kPass;
  /// The peer's host name, made safe for report fields; empty when it has none.
  std::string HostName;
  /// The address the host name leads to, or the peer's own without a host name.
  std::string AltIP;
  /// The block source of the report: the local reason, the listing zone, or
  /// "Manual Exception"; empty for a plain pass.
  std::string BLHost;
  /// The block code (127.0.0.n); empty for a plain pass.
  std::string BLType;
  /// Refusals: the address found blocked (the peer's or the alternative one).
  std::string blocked_address;
};

}  // namespace vantry
