#include "list_file_format.h"

#include "text_trim.h"

namespace vantry {
namespace {

std::string_view BeforeFirstBlank(std::string_view text) { return text.substr(0, text.find(' ')); }

template <typename Rule>
std::vector<std::string> ParseWith(std::string_view bytes, Rule rule) {
  std::vector<std::string> entries;
  for (std::string_view line : SplitListFileLines(bytes)) {
    if (auto entry = rule(line)) entries.push_back(std::move(*entry));
  }
  return entries;
}

}  // namespace

std::vector<std::string_view> SplitListFileLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    // Only the CR of a CR LF pair is a line end; a CR elsewhere is data like any control char.
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

std::optional<std::string> ParseZoneListLine(std::string_view line) {
  std::string_view entry = BeforeFirstBlank(TrimBlanks(line));
  if (entry.empty()) return std::nullopt;
  return std::string(entry);
}

std::optional<std::string> ParseAddressListLine(std::string_view line) {
  if (line.empty()) return std::nullopt;
  // No trimming before the cut: a line that begins with a blank yields an empty entry, which the
  // exact-match search can never find.
  return std::string(BeforeFirstBlank(line));
}

std::optional<std::string> ParseConsoleListLine(std::string_view line) {
  // The zone rule: trimming before the cut keeps an indented entry, which a
  // literal cut at the first blank would empty and the next save would lose.
  return ParseZoneListLine(line);
}

std::vector<std::string> ParseZoneList(std::string_view bytes) {
  return ParseWith(bytes, ParseZoneListLine);
}

std::vector<std::string> ParseAddressList(std::string_view bytes) {
  return ParseWith(bytes, ParseAddressListLine);
}

std::vector<std::string> ParseConsoleList(std::string_view bytes) {
  return ParseWith(bytes, ParseConsoleListLine);
}

}  // namespace vantry
