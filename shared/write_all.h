#pragma once

#include <string_view>

namespace vantry {

/// Writes every byte, retrying short writes and EINTR. False when the
/// descriptor refuses (errno tells why) or stops taking bytes.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace vantry
