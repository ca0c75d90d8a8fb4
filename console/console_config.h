#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantry::console {

/// Public DNSBL zones written into a zone list file that does not exist yet.
inline constexpr std::array<std::string_view, 3> kNewZoneListZones = {
    "zen.spamhaus.org", "bl.spamcop.net", "b.barracudacentral.org"};
/// The zone added when the user saves an empty zone list.
inline constexpr std::string_view kDefaultZone = "bl.spamcop.net";

/// One value of the Advanced tab.
struct AdvancedValue {
  std::string text;
  /// The text at load; a value that is not in the file is written only once it differs.
  std::string loaded;
  /// The settings file holds the value.
  bool stored = false;
};

/// The console's copy of the gateway settings. Flags hold the check state the
/// editor stores: 0 off, 1 on, 2 on by an All command.
struct ConsoleConfig {
  std::int32_t MaxSocks = 255;
  int LogBL = 1;
  int LogOK = 1;
  int UseBlockMsg = 1;
  int UseExceptions = 1;
  int UseManual = 1;
  int BlockAltIP = 1;
  int BlockNoHost = 1;
  /// BlockT2 ... BlockT9 at indexes 0 ... 7.
  std::array<int, 8> BlockT = {1, 0, 0, 0, 0, 0, 0, 0};
  std::string PathEXE;
  std::string BLDNSDB = "rbl.cfg";
  std::string BlockMsg;
  std::string ExceptionsDB = "exlst.cfg";
  std::string ManualDB = "manbl.cfg";
  std::string SMTPHost = "localhost";
  std::string SMTPPort = "24";
  std::string LocalPort = "25";
  /// Server part of the monitor channel's name; read, never written.
  std::string Gateway = "\\\\.";
  /// The Advanced tab's values by setting name (the schema's Advanced rows).
  std::map<std::string, AdvancedValue, std::less<>> Advanced;

  /// An Advanced value's text; "" for a name without one.
  std::string_view AdvancedText(std::string_view name) const;
};

/// Which list files were there at load but could not be read. Such a list is
/// shown empty, so a save must leave its file alone and must not conclude from
/// the empty box that the list is unused.
struct UnreadLists {
  bool zones = false;
  bool manual_blocks = false;
  bool exceptions = false;
};

/// The three list boxes' contents, in the order the editor shows them.
struct ConsoleLists {
  std::vector<std::string> zones;
  std::vector<std::string> manual_blocks;
  std::vector<std::string> exceptions;
  /// Set by LoadConfig; SaveConfig skips exactly these files.
  UnreadLists unread;
};

/// What LoadConfig produced.
struct LoadedConfig {
  ConsoleConfig config;
  ConsoleLists lists;
  /// List files that could not be read, or were missing and could not be
  /// created (path and reason).
  std::vector<std::string> problems;
};

/// Fixed file names the console reads and writes under PathEXE.
inline constexpr std::string_view kZoneListFile = "rbl.cfg";
inline constexpr std::string_view kManualListFile = "manbl.cfg";
inline constexpr std::string_view kExceptionListFile = "exlst.cfg";

/// True when the settings file is there.
bool SettingsFileExists();

/// What the console shows when there is no settings file and the user did not
/// want the defaults written: the values -fixreg writes (PathEXE the program
/// folder), the public zones in the zone list; no file is read or created.
LoadedConfig DefaultConfig(std::string_view program_folder);

/// Reads the settings and the three list files. A missing list file is
/// created (a zone list with three public zones, the others with one empty
/// line); the zone list then shows the zones written. A list file that is there but cannot be
/// read is reported in `problems` and marked in `lists.unread`. `program_folder` is the PathEXE
/// fallback.
LoadedConfig LoadConfig(std::string_view program_folder);

/// Writes every setting (an Advanced value only when the file holds it or it
/// was changed), then rewrites the three list files (CR LF lines,
/// replaced atomically); a list marked in `lists.unread` is left as it is,
/// whatever its file's state now. Stops at the first failure and returns false
/// with the file and the reason in *error.
bool SaveConfig(const ConsoleConfig& config, const ConsoleLists& lists, std::string* error);

/// After a save: every Advanced value written counts as stored and loaded.
void MarkAdvancedSaved(ConsoleConfig& config);

/// Path of one list file under PathEXE.
std::string ListFilePath(std::string_view path_exe, std::string_view file_name);

}  // namespace vantry::console
