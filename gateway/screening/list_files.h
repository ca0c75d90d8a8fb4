#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "config_settings.h"

namespace vantry {

/// One line of trace text for the gateway's status pane.
using SayFunction = std::function<void(std::string_view)>;

/// The gateway's three in-memory lists, loaded once at start. Entry n of the system's 1-based
/// numbering is element n-1; the counts are the sizes.
struct HostLists {
  /// DNSBL zones, in query order.
  std::vector<std::string> RBLHosts;
  /// Addresses exempt from every block.
  std::vector<std::string> Exceptions;
  /// Addresses always refused.
  std::vector<std::string> ManualBlocks;

  /// RBLHostCount.
  std::int32_t RBLHostCount() const { return static_cast<std::int32_t>(RBLHosts.size()); }
  /// ExceptionCount.
  std::int32_t ExceptionCount() const { return static_cast<std::int32_t>(Exceptions.size()); }
  /// ManualCount.
  std::int32_t ManualCount() const { return static_cast<std::int32_t>(ManualBlocks.size()); }
};

/// Full path of a list file: PathEXE, "/", the file name setting.
std::string ListFilePath(const ConfigSettings& settings, std::string_view file_name);

/// Replaces lists.RBLHosts with the zone list file named by BLDNSDB. A missing or unreadable file
/// gives an empty list and a trace line saying no zones will be queried.
void LoadRBLHosts(const ConfigSettings& settings, HostLists& lists, const SayFunction& say);

/// Replaces lists.Exceptions with the file named by ExceptionsDB; a missing file gives an empty
/// list.
void LoadExceptions(const ConfigSettings& settings, HostLists& lists, const SayFunction& say);

/// Replaces lists.ManualBlocks with the file named by ManualDB; a missing file gives an empty list.
void LoadManualBlocks(const ConfigSettings& settings, HostLists& lists, const SayFunction& say);

/// 1-based number of the first exception entry equal to ip (exact, case-sensitive), or 0.
std::int32_t IsException(const HostLists& lists, std::string_view ip);

/// 1-based number of the first manual block entry equal to address (exact, case-sensitive), or 0.
std::int32_t IsManualBlock(const HostLists& lists, std::string_view address);

}  // namespace vantry
