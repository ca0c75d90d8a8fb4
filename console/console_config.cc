#include "console_config.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "list_file_format.h"
#include "mod_rbl_registry.h"
#include "registry_store.h"

namespace vantry::console {
namespace {

constexpr int kString = 1;
constexpr int kNumber = 4;

std::string Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

std::string TextOr(std::string_view name, std::string_view fallback) {
  std::string text = RegValueText(GetRegValue(name));
  return text.empty() ? std::string(fallback) : text;
}

int Flag(std::string_view name) { return RegValueInt32(GetRegValue(name)) != 0 ? 1 : 0; }

std::string ErrnoText() { return std::strerror(errno); }

// Write-to-temporary then rename, so a failed save never leaves a half list.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  std::string temp = path + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error) *error = path + ": " + ErrnoText();
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (error) *error = path + ": " + ErrnoText();
      ::close(fd);
      ::unlink(temp.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    if (error) *error = path + ": " + ErrnoText();
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    if (error) *error = path + ": " + ErrnoText();
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

std::string ListBytes(const std::vector<std::string>& entries) {
  std::string bytes;
  for (const std::string& entry : entries) bytes += entry + "\r\n";
  return bytes;
}

void LoadList(const std::string& path, std::string_view new_file_bytes,
              std::vector<std::string>& list, std::vector<std::string>& problems) {
  list.clear();
  if (FileExists(path) > 0) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    list = ParseConsoleList(text.str());
    return;
  }
  std::string error;
  if (!WriteFileAtomically(path, new_file_bytes, &error)) problems.push_back(error);
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
  c.PathEXE =
      RegValueExists("PathEXE") ? TextOr("PathEXE", program_folder) : std::string(program_folder);
  c.BLDNSDB = TextOr("BLDNSDB", kZoneListFile);
  c.BlockMsg = TextOr("BlockMsg", kBlockMsgFallback);
  c.ExceptionsDB = TextOr("ExceptionsDB", kExceptionListFile);
  c.ManualDB = TextOr("ManualDB", kManualListFile);
  c.SMTPHost = TextOr("SMTPHost", "localhost");
  c.SMTPPort = TextOr("SMTPPort", "24");
  c.LocalPort = TextOr("LocalPort", "25");
  for (int type = 2; type <= 9; ++type) c.BlockT[type - 2] = Flag("BlockT" + std::to_string(type));
  c.Gateway = Trim(RegValueText(GetRegValue("Gateway")));
  if (c.Gateway.size() < 3) c.Gateway = "\\\\.";

  std::string new_zones;
  for (std::string_view zone : kNewZoneListZones) new_zones += std::string(zone) + "\r\n";
  LoadList(ListFilePath(c.PathEXE, kZoneListFile), new_zones, loaded.lists.zones, loaded.problems);
  LoadList(ListFilePath(c.PathEXE, kManualListFile), "\r\n", loaded.lists.manual_blocks,
           loaded.problems);
  LoadList(ListFilePath(c.PathEXE, kExceptionListFile), "\r\n", loaded.lists.exceptions,
           loaded.problems);
  return loaded;
}

bool SaveConfig(const ConsoleConfig& c, const ConsoleLists& lists, std::string* error) {
  // Stops at the first value that cannot be written, naming the settings file.
  bool written = true;
  auto set = [&](const char* name, const RegValue& value, int type) {
    std::string reason;
    if (written && !SetRegValue(name, value, type, &reason)) {
      if (error) *error = "settings file " + RegistryFilePath() + ": " + reason;
      written = false;
    }
  };
  set("MaxSocks", std::int64_t{c.MaxSocks}, kNumber);
  set("LocalPort", c.LocalPort, kString);
  set("LogBL", std::int64_t{c.LogBL}, kNumber);
  set("LogOK", std::int64_t{c.LogOK}, kNumber);
  set("UseBlockMsg", std::int64_t{c.UseBlockMsg}, kNumber);
  set("UseExceptions", std::int64_t{c.UseExceptions}, kNumber);
  set("UseManual", std::int64_t{c.UseManual}, kNumber);
  set("PathEXE", c.PathEXE, kString);
  set("BLDNSDB", c.BLDNSDB, kString);
  set("BlockMsg", c.BlockMsg, kString);
  set("ExceptionsDB", c.ExceptionsDB, kString);
  set("ManualDB", c.ManualDB, kString);
  set("SMTPHost", c.SMTPHost, kString);
  // Number type with text data: the type only matters when the value is new.
  set("SMTPPort", c.SMTPPort, kNumber);
  for (int type = 2; type <= 9; ++type) {
    set(("BlockT" + std::to_string(type)).c_str(), std::int64_t{c.BlockT[type - 2]}, kNumber);
  }
  set("BlockNoHost", std::int64_t{c.BlockNoHost}, kNumber);
  set("BlockAltIP", std::int64_t{c.BlockAltIP}, kNumber);
  if (!written) return false;

  const std::pair<std::string_view, const std::vector<std::string>*> files[] = {
      {kZoneListFile, &lists.zones},
      {kManualListFile, &lists.manual_blocks},
      {kExceptionListFile, &lists.exceptions}};
  for (const auto& [name, entries] : files) {
    std::string reason;
    if (!WriteFileAtomically(ListFilePath(c.PathEXE, name), ListBytes(*entries), &reason)) {
      if (error) *error = "list file " + reason;
      return false;
    }
  }
  return true;
}

}  // namespace vantry::console
