#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "config_settings.h"
#include "settings_schema.h"

namespace vantry {

using SayFn = std::function<void(std::string_view)>;

/// Fills the gateway's settings from one read of the settings file, each value
/// as the settings schema says the gateway reads it; MaxSocks below 255 becomes
/// 255. `program_folder` is the fallback for PathEXE.
ConfigSettings ReadConfig(const SayFn& say, std::string_view program_folder);

/// Writes every setting the schema marks for -fixreg with its default and
/// type, in schema order, overwriting what is there.
/// False with the reason in *error when the settings file cannot be written.
bool WriteDefaults(std::string_view program_folder, std::string* error = nullptr);

}  // namespace vantry
