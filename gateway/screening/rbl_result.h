#pragma once

#include <string>

namespace vantry {

/// The DNSBL outcome of one slot, kept in the slot's record.
struct RBLResult {
  /// The address most recently given to CheckRBL or ManualBlock for this slot.
  std::string IP;
  /// The accepted answer (127.0.0.n) of the zone that listed IP; empty if none did.
  std::string Response;
  /// The zone, as written in the zone list, that gave Response; empty if none.
  std::string BLHost;
};

}  // namespace vantry
