#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "config_settings.h"

namespace vantry {

using SayFn = std::function<void(std::string_view)>;

/// The default refusal text written by the install and repair switches.
inline constexpr std::string_view kDefaultBlockMsg = "Access Denied.  http://www.vantry.example/dnsbl";

/// Fills the gateway's settings from the settings file. Missing values read as
/// 1 (so a missing flag is on); empty texts take their fallbacks; MaxSocks
/// below 255 becomes 255. `program_folder` is the fallback for PathEXE.
ConfigSettings ReadConfig(const SayFn& say, std::string_view program_folder);

/// Writes every setting with its default and type, overwriting what is there.
/// False with the reason in *error when the settings file cannot be written.
bool WriteDefaults(std::string_view program_folder, std::string* error = nullptr);

}  // namespace vantry
