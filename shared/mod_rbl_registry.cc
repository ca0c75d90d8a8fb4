#include "mod_rbl_registry.h"

#include <algorithm>
#include <limits>

#include "leading_number.h"
#include "registry_store.h"

namespace vantry {
namespace {

std::string FullPath(std::string_view relative) {
  return std::string(kRegRoot) + std::string(relative);
}

bool Contains(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

const RegEntry* FindParameter(const RegistryDocument& doc, std::string_view name) {
  if (!Contains(doc.SubkeyNames(FullPath(kServicesPath)), kServiceKeyName)) return nullptr;
  std::string service = FullPath(kServicesPath) + "\\" + std::string(kServiceKeyName);
  if (!Contains(doc.SubkeyNames(service), "Parameters")) return nullptr;
  const RegKey* params = doc.FindKey(FullPath(kParametersPath));
  return params ? FindValue(*params, name) : nullptr;
}

std::uint32_t AsDword(const RegValue& value) {
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(RegValueInt32(value)));
}

void AddKeys(RegistryDocument& doc) {
  doc.AddKey(FullPath(kServicesPath) + "\\" + std::string(kServiceKeyName));
  doc.AddKey(FullPath(kParametersPath));
}

void AddValue(RegistryDocument& doc, std::string_view name, const RegValue& value, int type) {
  RegKey* params = doc.FindKey(FullPath(kParametersPath));
  if (params == nullptr) {
    AddKeys(doc);
    params = doc.FindKey(FullPath(kParametersPath));
  }
  if (FindValue(*params, name) != nullptr) return;
  if (type == static_cast<int>(RegType::kDword)) {
    params->values.push_back(RegEntry{std::string(name), AsDword(value)});
  } else {
    params->values.push_back(RegEntry{std::string(name), RegValueText(value)});
  }
}

void SetInDocument(RegistryDocument& doc, std::string_view name, const RegValue& value, int type) {
  if (FindParameter(doc, name) == nullptr) {
    AddValue(doc, name, value, type);
    return;
  }
  RegKey* params = doc.FindKey(FullPath(kParametersPath));
  for (RegEntry& entry : params->values) {
    if (entry.name != name) continue;
    // The stored type wins over the caller's: only creation sets a type.
    if (entry.type() == RegType::kString) {
      entry.data = RegValueText(value);
    } else {
      entry.data = AsDword(value);
    }
  }
}

// The file holds one value per line and has no way to write a line break
// inside a text: one would split the value into two lines that both read as
// damaged, and the value would be lost.
bool RefuseLineBreaks(std::string_view name, const RegValue& value, std::string* error) {
  const auto* text = std::get_if<std::string>(&value);
  if (text == nullptr || text->find_first_of("\r\n") == std::string::npos) return false;
  if (error) *error = "the value " + std::string(name) + " cannot hold a line break";
  return true;
}

}  // namespace

bool RegValueExists(const RegistryDocument& doc, std::string_view name) {
  return FindParameter(doc, name) != nullptr;
}

RegValue GetRegValue(const RegistryDocument& doc, std::string_view name) {
  const RegEntry* entry = FindParameter(doc, name);
  if (entry == nullptr) return std::int64_t{1};
  if (const auto* text = std::get_if<std::string>(&entry->data)) return *text;
  // Dwords are stored unsigned; the programs read them as signed 32-bit numbers.
  return static_cast<std::int64_t>(static_cast<std::int32_t>(std::get<std::uint32_t>(entry->data)));
}

bool SetRegValue(std::string_view name, const RegValue& value, int type, std::string* error) {
  const RegSetting setting{name, value, type};
  return SetRegValues(std::span(&setting, 1), error);
}

bool SetRegValues(std::span<const RegSetting> settings, std::string* error) {
  for (const RegSetting& setting : settings) {
    if (RefuseLineBreaks(setting.name, setting.value, error)) return false;
  }
  return UpdateRegistry(
      [&](RegistryDocument& doc) {
        for (const auto& [name, value, type] : settings) SetInDocument(doc, name, value, type);
      },
      error);
}

bool DeleteParametersKey(std::string* error) {
  return UpdateRegistry([](RegistryDocument& doc) { doc.DeleteKeyTree(FullPath(kParametersPath)); },
                        error);
}

std::string RegValueText(const RegValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return std::to_string(std::get<std::int64_t>(value));
}

std::int32_t RegValueInt32(const RegValue& value) {
  std::int64_t n = std::holds_alternative<std::string>(value)
                       ? LeadingNumber(std::get<std::string>(value))
                       : std::get<std::int64_t>(value);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      n, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int16_t RegValueInt16(const RegValue& value) {
  return static_cast<std::int16_t>(
      std::clamp<std::int32_t>(RegValueInt32(value), std::numeric_limits<std::int16_t>::min(),
                               std::numeric_limits<std::int16_t>::max()));
}

}  // namespace vantry
