#pragma once

#include <cstdint>
#include <string_view>

namespace vantry::console {

/// The console's reading of a number typed or received as text: leading blanks
/// skipped, then the longest leading decimal number (digits with an optional
/// fraction); no sign is accepted, so "-5" and letters alone read as 0.
double ConsoleNumberValue(std::string_view text);

/// ConsoleNumberValue rounded to a whole number (halves to even), saturated to
/// the 32-bit range so hostile text cannot overflow a count.
std::int32_t ConsoleWholeNumber(std::string_view text);

}  // namespace vantry::console
