#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vantry {

/// Registry data types as the settings routines pass them.
enum class RegType : int { kString = 1, kDword = 4 };

/// One named value: text for string values, a 32-bit number for dword values.
struct RegEntry {
  std::string name;
  std::variant<std::string, std::uint32_t> data;
  RegType type() const { return data.index() == 0 ? RegType::kString : RegType::kDword; }
};

/// One key ("section") with its values in file order. The path is the full
/// path without brackets, e.g. HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet.
struct RegKey {
  std::string path;
  std::vector<RegEntry> values;
  /// Lines met in this key's section that were not values we read (comments,
  /// other value types, damaged lines), written back after the values.
  std::vector<std::string> kept_lines;
};

/// The settings file in the standard registry-export text format (REGEDIT4).
/// Parsing never fails: lines it does not understand are skipped, so a
/// damaged or hand-edited file still yields every value that can be read.
/// Skipped lines and comments are kept with the key they appeared under and
/// written back, so saving a value never erases what an administrator wrote.
class RegistryDocument {
 public:
  static RegistryDocument Parse(std::string_view text);
  /// REGEDIT4 text with CR LF line ends, keys and values in their order.
  std::string Serialize() const;

  /// Exact-case lookup of a key by full path; nullptr when absent.
  const RegKey* FindKey(std::string_view path) const;
  RegKey* FindKey(std::string_view path);
  /// Names of the direct subkeys of a key, in file order.
  std::vector<std::string> SubkeyNames(std::string_view path) const;
  /// Adds an empty key unless one with that exact path exists; false if it existed.
  bool AddKey(std::string_view path);
  /// Deletes a key and all keys below it; false when it did not exist.
  bool DeleteKeyTree(std::string_view path);

  const std::vector<RegKey>& keys() const { return keys_; }
  /// Lines of the last Parse that were skipped as malformed.
  int skipped_lines() const { return skipped_lines_; }

 private:
  std::vector<RegKey> keys_;
  // Kept lines met before the first key.
  std::vector<std::string> kept_before_keys_;
  int skipped_lines_ = 0;
};

/// Value lookup by exact name inside a key; nullptr when absent.
const RegEntry* FindValue(const RegKey& key, std::string_view name);

}  // namespace vantry
