#pragma once

#include <string>

namespace vantry {

/// Appends the whole file to `out`. Returns 0, or the errno that stopped the
/// read: ENOENT for a missing file, EISDIR for a folder in its place.
int ReadWholeFile(const std::string& path, std::string& out);

}  // namespace vantry
