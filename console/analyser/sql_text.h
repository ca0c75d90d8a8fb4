#pragma once

#include <string>
#include <string_view>

namespace vantry::analyser {

/// Doubles every single quote so typed text stays one string literal when it
/// is placed between single quotes in a query.
std::string DoubleQuotes(std::string_view text);

/// ASCII lower-case copy; the report queries and column names compare this way.
std::string AsciiLower(std::string_view text);

/// Text without leading and trailing spaces and tabs. Unlike vantry::TrimBlanks
/// a tab counts as blank: typed criteria and log lines are trimmed this way.
std::string_view TrimSpacesAndTabs(std::string_view text);

/// The leading-number rule (leading blanks, sign, digits; none reads as 0)
/// with an overflow clamped to exactly the int64 limits, where
/// vantry::LeadingNumber stops taking digits near a tenth of them: the
/// socket numbers the import stores keep the values they always had.
long long ClampedLeadingNumber(std::string_view text);

}  // namespace vantry::analyser
