#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mod_rbl_registry.h"
#include "registry_document.h"

namespace vantry {

/// The default refusal text written by the install and repair switches.
inline constexpr std::string_view kDefaultBlockMsg =
    "Access Denied.  http://www.vantry.example/dnsbl";

/// Where a read takes its text from when the stored value is missing or empty.
enum class SettingSource {
  kNumberOne,      ///< the number 1, as every original value reads when missing
  kDefault,        ///< the value's declared default
  kProgramFolder,  ///< the reading program's folder
  kFallbackText,   ///< the rule's own text
  kAsStored,       ///< empty text stays empty (for when_empty only)
};

/// How one program reads one value.
struct SettingReadRule {
  SettingSource when_missing = SettingSource::kNumberOne;
  SettingSource when_empty = SettingSource::kAsStored;
  std::string_view fallback_text = {};
};

/// The programs that read the settings file.
enum class SettingsReader { kGateway, kConsole };

/// What the console's editor accepts in a value's box before a save; any
/// other text is replaced, with the message, by `replacement`.
struct SettingCorrection {
  enum class Accepts { kAnyText, kNonZeroNumber, kNumberInRange };
  Accepts accepts = Accepts::kAnyText;
  double min = 0;
  double max = 0;
  std::string_view replacement;
  std::string_view message;

  /// `trimmed` is the box's text without blanks, `number` the console's
  /// reading of it. Empty text is never accepted.
  bool Accept(std::string_view trimmed, double number) const;
};

/// One value of the Parameters key.
struct SettingSpec {
  std::string_view name;
  /// The type -fixreg writes and a new value is created with.
  RegType type = RegType::kString;
  /// -fixreg's value, numbers in decimal; PathEXE takes the program folder instead.
  std::string_view default_value;
  bool written_by_fixreg = true;
  std::optional<SettingReadRule> gateway;
  std::optional<SettingReadRule> console;
  /// Position in the console's save (1 first); 0 when the console never writes it.
  int console_save_rank = 0;
  /// Type for a value the console's save creates, when it differs from `type`.
  std::optional<RegType> console_creates_as;
  std::optional<SettingCorrection> correction;
  /// Edited on the console's Advanced tab, which no other tab shows.
  bool console_advanced = false;
};

/// Every value, in the order -fixreg writes them.
std::span<const SettingSpec> SettingsSchema();
/// The value's row; nullptr for a name the schema does not declare.
const SettingSpec* FindSetting(std::string_view name);
/// The rows the console saves, in the order it saves them.
std::vector<const SettingSpec*> ConsoleSavedSettings();

/// One read of the settings file: every value of a load comes from the same
/// document, so a save landing meanwhile cannot give a mixed set.
class SettingsSnapshot {
 public:
  /// Reads the settings file once; a missing or unreadable file reads as empty.
  static SettingsSnapshot Load(SettingsReader reader, std::string_view program_folder);
  SettingsSnapshot(RegistryDocument document, SettingsReader reader,
                   std::string_view program_folder);

  bool Has(std::string_view name) const { return RegValueExists(document_, name); }
  /// The stored data, or the number 1 when the value is missing.
  RegValue Raw(std::string_view name) const { return GetRegValue(document_, name); }
  /// The value as text, a missing or empty one replaced as this reader's rule says.
  std::string Text(std::string_view name) const;
  /// The value as a 32-bit number (text by its leading number); a missing one
  /// by this reader's rule.
  std::int32_t Int32(std::string_view name) const;
  /// Int32 saturated to 16 bits.
  std::int16_t Int16(std::string_view name) const;

 private:
  RegValue Missing(const SettingReadRule& rule, std::string_view name) const;
  const SettingReadRule* Rule(std::string_view name) const;

  RegistryDocument document_;
  SettingsReader reader_;
  std::string program_folder_;
};

}  // namespace vantry
