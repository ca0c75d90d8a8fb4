#pragma once

#include <string_view>

namespace vantry {

/// Whether the command line is the -zones switch (any letter case).
bool IsZonesSwitch(std::string_view arguments);

/// vantrysvc -zones: reads the settings, probes every configured zone once and prints a table of
/// them on stdout. Returns the exit status: 0 when every zone is healthy, 1 otherwise (or when
/// the settings cannot be read, after the trace that says why on stderr).
int ProbeZonesOnce(std::string_view program_folder);

}  // namespace vantry
