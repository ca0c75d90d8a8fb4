#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "registry_document.h"

namespace vantry {

/// Root and relative path of the settings key, as the routines address it.
inline constexpr std::string_view kRegRoot = "HKEY_LOCAL_MACHINE\\SYSTEM\\";
inline constexpr std::string_view kServicesPath = "CurrentControlSet\\Services";
inline constexpr std::string_view kServiceKeyName = "DaskVantry";
inline constexpr std::string_view kParametersPath =
    "CurrentControlSet\\Services\\DaskVantry\\Parameters";

/// What GetRegValue returns: text for string values, a number for dword values.
using RegValue = std::variant<std::string, std::int64_t>;

/// True when the service key, its Parameters subkey and a value of exactly
/// this name (letter case included) all exist in the document.
bool RegValueExists(const RegistryDocument& doc, std::string_view name);
/// The value's data, or the number 1 when the value does not exist.
RegValue GetRegValue(const RegistryDocument& doc, std::string_view name);
/// Replaces an existing value's data keeping its stored type, or creates the
/// value with the given type (1 string, 4 number). False with a reason when
/// the settings file cannot be read or written, or when a text holds a line
/// break, which the file cannot store.
bool SetRegValue(std::string_view name, const RegValue& value, int type,
                 std::string* error = nullptr);
/// One value of a batch for SetRegValues.
struct RegSetting {
  std::string_view name;
  RegValue value;
  int type;
};
/// SetRegValue for every setting, in one replacement of the file: a save is
/// never left half done, and costs one write instead of one per value. Nothing
/// is written when one text holds a line break.
bool SetRegValues(std::span<const RegSetting> settings, std::string* error = nullptr);
/// Deletes the Parameters key with all its values.
bool DeleteParametersKey(std::string* error = nullptr);

/// Text of a value as the programs read strings (numbers in plain decimal).
std::string RegValueText(const RegValue& value);
/// A value read as a 32-bit signed number; text counts by its leading number.
std::int32_t RegValueInt32(const RegValue& value);
/// A value read as a 16-bit signed number (saturated, never wrapped).
std::int16_t RegValueInt16(const RegValue& value);

}  // namespace vantry
