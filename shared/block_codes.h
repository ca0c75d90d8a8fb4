#pragma once

#include <string_view>

namespace vantry {

// Block codes of the gateway's own verdicts, in the 127.0.0.n form of a zone's
// answer so that reports name them like any listing (BlockTypeName).

/// A manual block, and the code of every refusal made through CRBL::ManualBlock.
inline constexpr std::string_view kManualBlockCode = "127.0.0.100";
/// No host name for the peer's address.
inline constexpr std::string_view kNoHostCode = "127.0.0.150";
/// The host name leads to another address than the peer's.
inline constexpr std::string_view kAltIPCode = "127.0.0.155";
/// On the exception list: passed without any test.
inline constexpr std::string_view kExceptionCode = "127.0.0.200";

/// BLHost that ManualBlock reports, blanks included.
inline constexpr std::string_view kSystemBlockHost = " System Block ";

// The block source a report names for each local verdict.
inline constexpr std::string_view kManualBlockReason = "Manual Block";
inline constexpr std::string_view kNoHostReason = "No Host";
inline constexpr std::string_view kAltIPReason = "ALT IP";
inline constexpr std::string_view kExceptionReason = "Manual Exception";
/// No answer from the name servers where it would decide (reported with kNoHostCode).
inline constexpr std::string_view kDnsFailureReason = "DNS Failure";

}  // namespace vantry
