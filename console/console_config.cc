#include "console_config.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "atomic_file.h"
#include "leading_number.h"
#include "list_file_format.h"
#include "mod_rbl_registry.h"
#include "registry_store.h"
#include "settings_schema.h"
#include "text_trim.h"
#include "whole_file.h"

namespace vantry::console {
namespace {

struct TextField {
  std::string_view name;
  std::string ConsoleConfig::*member;
};
constexpr TextField kTexts[] = {
    {"LocalPort", &ConsoleConfig::LocalPort},       {"PathEXE", &ConsoleConfig::PathEXE},
    {"BLDNSDB", &ConsoleConfig::BLDNSDB},           {"BlockMsg", &ConsoleConfig::BlockMsg},
    {"ExceptionsDB", &ConsoleConfig::ExceptionsDB}, {"ManualDB", &ConsoleConfig::ManualDB},
    {"SMTPHost", &ConsoleConfig::SMTPHost},         {"SMTPPort", &ConsoleConfig::SMTPPort},
};
struct NumberField {
  std::string_view name;
  int ConsoleConfig::*member;
};
constexpr NumberField kNumbers[] = {
    {"LogBL", &ConsoleConfig::LogBL},
    {"LogOK", &ConsoleConfig::LogOK},
    {"UseBlockMsg", &ConsoleConfig::UseBlockMsg},
    {"UseExceptions", &ConsoleConfig::UseExceptions},
    {"UseManual", &ConsoleConfig::UseManual},
    {"BlockAltIP", &ConsoleConfig::BlockAltIP},
    {"BlockNoHost", &ConsoleConfig::BlockNoHost},
};

// The editor's copy of one saved value.
RegValue SavedValue(const ConsoleConfig& c, std::string_view name) {
  for (const TextField& t : kTexts) {
    if (t.name == name) return c.*t.member;
  }
  for (const NumberField& n : kNumbers) {
    if (n.name == name) return std::int64_t{c.*n.member};
  }
  if (name == "MaxSocks") return std::int64_t{c.MaxSocks};
  if (name.starts_with("BlockT")) return std::int64_t{c.BlockT[LeadingNumber(name.substr(6)) - 2]};
  return std::int64_t{0};  // the schema saves nothing else
}

// The inverse of SavedValue for a default of the schema.
void SetDefault(ConsoleConfig& c, const SettingSpec& spec) {
  const std::string_view name = spec.name;
  const std::string text(spec.default_value);
  for (const TextField& t : kTexts) {
    if (t.name == name) c.*t.member = text;
  }
  const int number = static_cast<int>(LeadingNumber(text));
  for (const NumberField& n : kNumbers) {
    if (n.name == name) c.*n.member = number != 0 ? 1 : 0;
  }
  if (name == "MaxSocks") c.MaxSocks = number;
  if (name.starts_with("BlockT")) c.BlockT[LeadingNumber(name.substr(6)) - 2] = number != 0;
}

std::string NewZoneListBytes() {
  std::string bytes;
  for (std::string_view zone : kNewZoneListZones) bytes += std::string(zone) + "\r\n";
  return bytes;
}

std::string ListBytes(const std::vector<std::string>& entries) {
  std::string bytes;
  for (const std::string& entry : entries) bytes += entry + "\r\n";
  return bytes;
}

// Fills `list` from the file, or creates a missing file. Returns false when
// the file is there but could not be read (its mode, an I/O error, a folder):
// the list is then shown empty and must not be saved over the file.
bool LoadList(const std::string& path, std::string_view new_file_bytes,
              std::vector<std::string>& list, std::vector<std::string>& problems) {
  list.clear();
  std::string bytes;
  // A folder in the file's place fails here too (EISDIR), where a stream
  // would read it as empty.
  const int read_error = ReadWholeFile(path, bytes);
  if (read_error == ENOENT) {
    std::string error;
    if (!WriteFileAtomically(path, new_file_bytes, &error)) {
      problems.push_back(error);
    } else {
      list = ParseConsoleList(new_file_bytes);  // shown as the file now holds it
    }
    return true;
  }
  if (read_error != 0) {
    problems.push_back(path + ": " + std::strerror(read_error) +
                       " (shown empty; saving leaves the file as it is)");
    return false;
  }
  list = ParseConsoleList(bytes);
  return true;
}

}  // namespace

std::string ListFilePath(std::string_view path_exe, std::string_view file_name) {
  return (std::filesystem::path(std::string(path_exe)) / std::string(file_name)).string();
}

std::string_view ConsoleConfig::AdvancedText(std::string_view name) const {
  auto it = Advanced.find(name);
  return it == Advanced.end() ? std::string_view() : std::string_view(it->second.text);
}

bool SettingsFileExists() {
  std::error_code ec;
  return std::filesystem::exists(RegistryFilePath(), ec);
}

LoadedConfig DefaultConfig(std::string_view program_folder) {
  LoadedConfig loaded;
  for (const SettingSpec& spec : SettingsSchema()) {
    if (spec.written_by_fixreg) SetDefault(loaded.config, spec);
    if (spec.console_advanced) {
      const std::string text(spec.default_value);
      loaded.config.Advanced[std::string(spec.name)] = {text, text, false};
    }
  }
  loaded.config.PathEXE = std::string(program_folder);
  loaded.lists.zones = ParseConsoleList(NewZoneListBytes());
  return loaded;
}

LoadedConfig LoadConfig(std::string_view program_folder) {
  LoadedConfig loaded;
  ConsoleConfig& c = loaded.config;
  const SettingsSnapshot s = SettingsSnapshot::Load(SettingsReader::kConsole, program_folder);
  c.MaxSocks = s.Int32("MaxSocks");
  if (c.MaxSocks == 0) c.MaxSocks = 255;
  auto flag = [&s](std::string_view name) { return s.Int32(name) != 0 ? 1 : 0; };
  c.LogBL = flag("LogBL");
  c.LogOK = flag("LogOK");
  c.UseBlockMsg = flag("UseBlockMsg");
  c.UseExceptions = flag("UseExceptions");
  c.UseManual = flag("UseManual");
  c.BlockAltIP = flag("BlockAltIP");
  c.BlockNoHost = flag("BlockNoHost");
  c.PathEXE = s.Text("PathEXE");
  c.BLDNSDB = s.Text("BLDNSDB");
  c.BlockMsg = s.Text("BlockMsg");
  c.ExceptionsDB = s.Text("ExceptionsDB");
  c.ManualDB = s.Text("ManualDB");
  c.SMTPHost = s.Text("SMTPHost");
  c.SMTPPort = s.Text("SMTPPort");
  c.LocalPort = s.Text("LocalPort");
  for (int type = 2; type <= 9; ++type) c.BlockT[type - 2] = flag("BlockT" + std::to_string(type));
  c.Gateway = std::string(TrimBlanks(s.Text("Gateway")));
  if (c.Gateway.size() < 3) c.Gateway = "\\\\.";
  // As the gateway reads them: a missing value is its default, never "1".
  for (const SettingSpec& spec : SettingsSchema()) {
    if (!spec.console_advanced) continue;
    const bool stored = s.Has(spec.name);
    const std::string text =
        stored ? RegValueText(s.Raw(spec.name)) : std::string(spec.default_value);
    c.Advanced[std::string(spec.name)] = {text, text, stored};
  }

  const std::string new_zones = NewZoneListBytes();
  ConsoleLists& lists = loaded.lists;
  lists.unread.zones =
      !LoadList(ListFilePath(c.PathEXE, kZoneListFile), new_zones, lists.zones, loaded.problems);
  lists.unread.manual_blocks = !LoadList(ListFilePath(c.PathEXE, kManualListFile), "\r\n",
                                         lists.manual_blocks, loaded.problems);
  lists.unread.exceptions = !LoadList(ListFilePath(c.PathEXE, kExceptionListFile), "\r\n",
                                      lists.exceptions, loaded.problems);
  return loaded;
}

bool SaveConfig(const ConsoleConfig& c, const ConsoleLists& lists, std::string* error) {
  // One replacement of the settings file: a save that fails writes nothing.
  std::vector<RegSetting> settings;
  for (const SettingSpec* spec : ConsoleSavedSettings()) {
    settings.push_back({spec->name, SavedValue(c, spec->name),
                        static_cast<int>(spec->console_creates_as.value_or(spec->type))});
  }
  // An Advanced value the file lacks stays out of it until the user changes
  // it: the gateway reads a missing one as its default anyway.
  for (const SettingSpec& spec : SettingsSchema()) {
    auto it = c.Advanced.find(spec.name);
    if (!spec.console_advanced || it == c.Advanced.end()) continue;
    const AdvancedValue& value = it->second;
    if (!value.stored && value.text == value.loaded) continue;
    RegValue data =
        spec.type == RegType::kDword ? RegValue(LeadingNumber(value.text)) : RegValue(value.text);
    settings.push_back({spec.name, std::move(data), static_cast<int>(spec.type)});
  }
  std::string store_error;
  if (!SetRegValues(settings, &store_error)) {
    if (error) *error = "settings file " + RegistryFilePath() + ": " + store_error;
    return false;
  }

  // The decision comes from the load: a file made readable since then still
  // holds entries the user never saw, and the box shows none of them.
  struct ListFile {
    std::string_view name;
    const std::vector<std::string>* entries;
    bool unread;
  };
  const ListFile files[] = {{kZoneListFile, &lists.zones, lists.unread.zones},
                            {kManualListFile, &lists.manual_blocks, lists.unread.manual_blocks},
                            {kExceptionListFile, &lists.exceptions, lists.unread.exceptions}};
  for (const auto& [name, entries, unread] : files) {
    if (unread) continue;
    std::string reason;
    if (!WriteFileAtomically(ListFilePath(c.PathEXE, name), ListBytes(*entries), &reason)) {
      if (error) *error = "list file " + reason;
      return false;
    }
  }
  return true;
}

void MarkAdvancedSaved(ConsoleConfig& config) {
  for (auto& [name, value] : config.Advanced) {
    if (!value.stored && value.text == value.loaded) continue;
    value.stored = true;
    value.loaded = value.text;
  }
}

}  // namespace vantry::console
