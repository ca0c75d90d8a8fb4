#include "console_number.h"

#include <cmath>
#include <limits>

namespace vantry::console {

double ConsoleNumberValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  auto is_digit = [&](std::size_t k) {
    return k < text.size() && text[k] >= '0' && text[k] <= '9';
  };
  double value = 0;
  bool any = false;
  for (; is_digit(i); ++i) {
    value = value * 10 + (text[i] - '0');
    any = true;
  }
  if (i < text.size() && text[i] == '.' && (any || is_digit(i + 1))) {
    double scale = 0.1;
    for (++i; is_digit(i); ++i, scale /= 10) value += (text[i] - '0') * scale;
  }
  return value;
}

std::int32_t ConsoleWholeNumber(std::string_view text) {
  // Round half to even, the way the original numeric conversion rounds.
  double rounded = std::nearbyint(ConsoleNumberValue(text));
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  return rounded >= kMax ? std::numeric_limits<std::int32_t>::max()
                         : static_cast<std::int32_t>(rounded);
}

}  // namespace vantry::console
