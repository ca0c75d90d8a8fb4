#pragma once

#include <cstdint>
#include <string>

#include "screening_status.h"

namespace vantry {

/// Per-slot record filled by the screening and read by the reports.
struct SocketInfo {
  std::string IP;
  std::string AltIP;
  std::string HostName;
  std::string BLHost;
  std::string BLType;
  bool Blacklisted = false;
  ScreeningStatus Status = ScreeningStatus::kUnchecked;
  std::int32_t RequestID = 0;
};

/// The request number after `id`: numbers count up from 1 and, after the
/// largest, start again at 1 (a gateway that runs for weeks gets there).
constexpr std::int32_t NextRequestID(std::int32_t id) {
  return id <= 0 || id == INT32_MAX ? 1 : id + 1;
}

/// State of a slot's inbound socket, numbered as the slot search compares them.
enum class SocketState : int { kClosed = 0, kBusy = 6, kConnected = 7, kClosing = 8, kError = 9 };

}  // namespace vantry
