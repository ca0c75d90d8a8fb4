#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantry::console {

/// The unit folder -install writes to: $VANTRY_UNIT_DIR, else /etc/systemd/system.
std::string ServiceUnitFolder();

/// The systemd unit that runs the gateway on `settings_path`: a .service file
/// in `unit_folder` whose ExecStart runs vantrysvc and whose VANTRY_REGISTRY
/// (the default settings file when it sets none) is that file; daskvantry
/// first. Without such a file the default settings file still belongs to
/// daskvantry; any other has no unit (nullopt).
std::optional<std::string> ServiceUnitFor(std::string_view settings_path,
                                          std::string_view unit_folder);

}  // namespace vantry::console
