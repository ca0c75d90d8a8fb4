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

// The editor's copy of one saved value.
RegValue SavedValue(const ConsoleConfig& c, std::string_view name) {
  struct Text {
    std::string_view name;
    const std::string ConsoleConfig::*member;
  };
  static constexpr Text kTexts[] = {
      {"LocalPort", &ConsoleConfig::LocalPort},       {"PathEXE", &ConsoleConfig::PathEXE},
      {"BLDNSDB", &ConsoleConfig::BLDNSDB},           {"BlockMsg", &ConsoleConfig::BlockMsg},
      {"ExceptionsDB", &ConsoleConfig::ExceptionsDB}, {"ManualDB", &ConsoleConfig::ManualDB},
      {"SMTPHost", &ConsoleConfig::SMTPHost},         {"SMTPPort", &ConsoleConfig::SMTPPort},
  };
  struct Number {
    std::string_view name;
    int ConsoleConfig::*member;
  };
  static constexpr Number kNumbers[] = {
      {"LogBL", &ConsoleConfig::LogBL},
      {"LogOK", &ConsoleConfig::LogOK},
      {"UseBlockMsg", &ConsoleConfig::UseBlockMsg},
      {"UseExceptions", &ConsoleConfig::UseExceptions},
      {"UseManual", &ConsoleConfig::UseManual},
      {"BlockAltIP", &ConsoleConfig::BlockAltIP},
      {"BlockNoHost", &ConsoleConfig::BlockNoHost},
  };
  for (const Text& t : kTexts) {
    if (t.name == name) return c.*t.member;
  }
  for (const Number& n : kNumbers) {
    if (n.name == name) return std::int64_t{c.*n.member};
  }
  if (name == "MaxSocks") return std::int64_t{c.MaxSocks};
  if (name.starts_with("BlockT")) return std::int64_t{c.BlockT[LeadingNumber(name.substr(6)) - 2]};
  return std::int64_t{0};  // the schema saves nothing else
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
    if (!WriteFileAtomically(path, new_file_bytes, &error)) problems.push_back(error);
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

  std::string new_zones;
  for (std::string_view zone : kNewZoneListZones) new_zones += std::string(zone) + "\r\n";
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

}  // namespace vantry::console
