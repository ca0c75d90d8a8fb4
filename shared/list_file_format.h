#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantry {

// The three list files (zones, exceptions, manual blocks) hold one entry per line; everything
// from the first blank (space character) on is a remark. Tabs and other control characters are
// not blanks: they stay part of an entry.

/// Splits list file bytes into lines. Accepts CR LF and LF line ends and a last line without one;
/// the views point into bytes.
std::vector<std::string_view> SplitListFileLines(std::string_view bytes);

/// The gateway's zone list rule: blanks trimmed, then cut before the first blank; nullopt when
/// nothing is left.
std::optional<std::string> ParseZoneListLine(std::string_view line);

/// The gateway's exception and manual block rule: an empty line gives nullopt; a line with a blank
/// gives the text before its first blank (empty when the line begins with a blank); any other line
/// is the entry as it stands.
std::optional<std::string> ParseAddressListLine(std::string_view line);

/// The console's rule when it fills its list boxes; the same as the zone rule (blanks around the
/// line trimmed, cut at the first blank, nothing left gives nullopt).
std::optional<std::string> ParseConsoleListLine(std::string_view line);

/// All entries of a zone list file, in line order.
std::vector<std::string> ParseZoneList(std::string_view bytes);

/// All entries of an exception or manual block list file, in line order.
std::vector<std::string> ParseAddressList(std::string_view bytes);

/// All entries of a list file as the console reads it, in line order.
std::vector<std::string> ParseConsoleList(std::string_view bytes);

}  // namespace vantry
