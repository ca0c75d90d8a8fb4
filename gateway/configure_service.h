#pragma once

#include <string_view>

#include "config_settings.h"
#include "list_files.h"
#include "trace.h"

namespace vantry {

/// Reads the settings and the three lists and traces the configuration, in
/// the order an administrator reads it at start-up. False, after one trace
/// line saying why, for settings the gateway cannot start with.
bool ConfigureService(Trace& trace, std::string_view program_folder, ConfigSettings& settings,
                      HostLists& lists);

/// Lowers MaxSocks to what the open-file limit and memory allow (raising the
/// soft limit first) and traces why when it does.
void FitSlotsToLimits(Trace& trace, ConfigSettings& settings);

}  // namespace vantry
