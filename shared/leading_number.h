#pragma once

#include <cstdint>
#include <string_view>

namespace vantry {

/// Leading blanks skipped, an optional sign, then the longest run of decimal
/// digits; text without digits reads as 0. Saturates instead of overflowing.
std::int64_t LeadingNumber(std::string_view text);

}  // namespace vantry
