#pragma once

#include <string>
#include <string_view>

namespace vantry::analyser {

/// Escapes <, >, &, " and ' so a value (host names come from DNS, which a
/// client controls) can never open markup in a report.
std::string HtmlEscape(std::string_view text);

}  // namespace vantry::analyser
