#pragma once

#include <string>
#include <string_view>

namespace vantry {

/// The service's names as the service manager knows them.
inline constexpr std::string_view kServiceUnitName = "daskvantry";
inline constexpr std::string_view kDisplayName = "Dask Vantry";

/// What the command line asks for.
enum class Switch { kNone, kInstall, kUninstall, kDebug, kFixReg, kHelp };

/// The whole argument text, lower-cased, compared with each switch; anything
/// else (a switch followed by more words, say) is no switch at all.
Switch ParseCommandLine(std::string_view arguments);

/// Folder holding the unit file: $VANTRY_UNIT_DIR, else /etc/systemd/system.
std::string UnitDirectory();

/// Each handler prints its message (information on stdout, warnings on
/// stderr) and returns the process exit status.
int InstallService(std::string_view program_path, std::string_view program_folder);
int UninstallService();
int FixRegistry(std::string_view program_folder);

/// The --help text.
std::string UsageText();

}  // namespace vantry
