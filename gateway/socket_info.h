#pragma once

#include <cstdint>
#include <string>

namespace vantry {

/// Per-slot record filled by the screening and read by the reports.
struct SocketInfo {
  std::string IP;
  std::string AltIP;
  std::string HostName;
  std::string BLHost;
  std::string BLType;
  bool Blacklisted = false;
  std::int16_t Status = 0;
  std::int32_t RequestID = 0;
};

/// State of a slot's inbound socket, numbered as the slot search compares them.
enum class SocketState : int { kClosed = 0, kBusy = 6, kConnected = 7, kClosing = 8, kError = 9 };

}  // namespace vantry
