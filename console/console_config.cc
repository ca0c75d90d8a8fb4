#include "console_config.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "atomic_file.h"
#include "list_file_format.h"
#include "mod_rbl_registry.h"
#include "registry_store.h"
#include "text_trim.h"
#include "whole_file.h"

namespace vantry::console {
namespace {

constexpr int kString = 1;
constexpr int kNumber = 4;

int Flag(std::string_view name) { return RegValueInt32(GetRegValue(name)) != 0 ? 1 : 0; }

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
  c.MaxSocks = RegValueInt32(GetRegValue("MaxSocks"));
  if (c.MaxSocks == 0) c.MaxSocks = 255;
  c.LogBL = Flag("LogBL");
  c.LogOK = Flag("LogOK");
  c.UseBlockMsg = Flag("UseBlockMsg");
  c.UseExceptions = Flag("UseExceptions");
  c.UseManual = Flag("UseManual");
  c.BlockAltIP = Flag("BlockAltIP");
  c.BlockNoHost = Flag("BlockNoHost");
  // A missing PathEXE would read as the text "1" and send the list files to a
  // folder named "1" under whatever the current directory is.
  c.PathEXE = RegValueExists("PathEXE") ? RegTextOr("PathEXE", program_folder)
                                        : std::string(program_folder);
  c.BLDNSDB = RegTextOr("BLDNSDB", kZoneListFile);
  c.BlockMsg = RegTextOr("BlockMsg", kBlockMsgFallback);
  c.ExceptionsDB = RegTextOr("ExceptionsDB", kExceptionListFile);
  c.ManualDB = RegTextOr("ManualDB", kManualListFile);
  c.SMTPHost = RegTextOr("SMTPHost", "localhost");
  c.SMTPPort = RegTextOr("SMTPPort", "24");
  c.LocalPort = RegTextOr("LocalPort", "25");
  for (int type = 2; type <= 9; ++type) c.BlockT[type - 2] = Flag("BlockT" + std::to_string(type));
  c.Gateway = std::string(TrimBlanks(RegValueText(GetRegValue("Gateway"))));
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
  std::vector<RegSetting> settings = {
      {"MaxSocks", std::int64_t{c.MaxSocks}, kNumber},
      {"LocalPort", c.LocalPort, kString},
      {"LogBL", std::int64_t{c.LogBL}, kNumber},
      {"LogOK", std::int64_t{c.LogOK}, kNumber},
      {"UseBlockMsg", std::int64_t{c.UseBlockMsg}, kNumber},
      {"UseExceptions", std::int64_t{c.UseExceptions}, kNumber},
      {"UseManual", std::int64_t{c.UseManual}, kNumber},
      {"PathEXE", c.PathEXE, kString},
      {"BLDNSDB", c.BLDNSDB, kString},
      {"BlockMsg", c.BlockMsg, kString},
      {"ExceptionsDB", c.ExceptionsDB, kString},
      {"ManualDB", c.ManualDB, kString},
      {"SMTPHost", c.SMTPHost, kString},
      // Number type with text data: the type only matters when the value is new.
      {"SMTPPort", c.SMTPPort, kNumber},
  };
  const std::string block_names[] = {"BlockT2", "BlockT3", "BlockT4", "BlockT5",
                                     "BlockT6", "BlockT7", "BlockT8", "BlockT9"};
  for (int i = 0; i < 8; ++i)
    settings.push_back({block_names[i], std::int64_t{c.BlockT[i]}, kNumber});
  settings.push_back({"BlockNoHost", std::int64_t{c.BlockNoHost}, kNumber});
  settings.push_back({"BlockAltIP", std::int64_t{c.BlockAltIP}, kNumber});
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
