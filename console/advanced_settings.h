#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantry::console {

/// What a value of the Advanced tab may hold, by the rules the gateway reads it with.
enum class AdvancedCheck {
  kWholeNumber,   ///< digits only, 0 ... 2147483647
  kProxyVersion,  ///< 0, 1 or 2
  kAddress,       ///< one literal IPv4 or IPv6 address, or empty
  kNetworks,      ///< "addr[/bits]" entries separated by commas, or empty
  kHostPort,      ///< "host:port" ("[v6]:port"), or empty
  kNameServers,   ///< "ip[:port]" entries ("[v6]:port") separated by commas, or empty
  kDatabase,      ///< empty (report.dpr in PathEXE) or a postgresql:// URI
};

/// The Advanced tab's row of one setting.
struct AdvancedRow {
  std::string_view name;
  std::string_view label;
  std::string_view tooltip;
  AdvancedCheck check;
  /// The save summary's line when the value had to be replaced by its default.
  std::string_view message;
};

/// Every row the Advanced tab can show; the schema says which it does.
std::span<const AdvancedRow> AdvancedRows();
/// The row of a setting; nullptr for one the Advanced tab does not know.
const AdvancedRow* FindAdvancedRow(std::string_view name);

/// True when `trimmed` (the box's text without blanks) passes `check`.
bool AdvancedAccepts(AdvancedCheck check, std::string_view trimmed);

}  // namespace vantry::console
