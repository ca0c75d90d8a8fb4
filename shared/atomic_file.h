#pragma once

#include <string>
#include <string_view>

namespace vantry {

/// Replaces the file with exactly these bytes: written to a temporary file
/// beside it, synced, then renamed over it, so a failure or crash never leaves
/// half a file. A symbolic link is followed: its target is replaced and the
/// link stays. False with "<path>: <reason>" in *error on failure.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr);

}  // namespace vantry
