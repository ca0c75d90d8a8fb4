#pragma once

#include <string>
#include <string_view>

namespace vantry::analyser {

/// Doubles every single quote so typed text stays one string literal when it
/// is placed between single quotes in a query.
std::string DoubleQuotes(std::string_view text);

/// ASCII lower-case copy; the report queries and column names compare this way.
std::string AsciiLower(std::string_view text);

/// Text without leading and trailing blanks (spaces and tabs).
std::string_view TrimBlanks(std::string_view text);

/// The leading-number rule: skip leading blanks, take the longest leading
/// decimal number; text without one reads as 0. Saturates instead of overflowing.
long long LeadingNumber(std::string_view text);

}  // namespace vantry::analyser
