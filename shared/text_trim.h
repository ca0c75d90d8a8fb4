#pragma once

#include <string_view>

namespace vantry {

/// The text without leading and trailing spaces (only spaces: a tab is data,
/// as the list files and settings treat it).
constexpr std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

/// The text without leading and trailing spaces and tabs, the whitespace a
/// hand-edited settings file may have around its syntax.
constexpr std::string_view TrimSpacesAndTabs(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace vantry
