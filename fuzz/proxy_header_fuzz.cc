// The first bytes of a load balancer's connection: a verdict for every input,
// a complete header never longer than the input or the limits, and the same
// verdict whether the header came whole or with more bytes behind it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "proxy_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Status = vantry::ProxyHeaderParse::Status;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const vantry::ProxyHeaderParse parsed = vantry::ParseProxyHeader(bytes);
  if (parsed.status == Status::kInvalid) FUZZ_CHECK(!parsed.problem.empty());
  if (parsed.status == Status::kIncomplete) {
    // Waiting is only for what could still fit.
    FUZZ_CHECK(size < vantry::kMaxProxyHeaderV2);
    return 0;
  }
  if (parsed.status != Status::kComplete) return 0;
  FUZZ_CHECK(parsed.length > 0 && parsed.length <= size);
  FUZZ_CHECK(parsed.length <= vantry::kMaxProxyHeaderV2);
  FUZZ_CHECK(parsed.source.has_value() == parsed.destination.has_value());
  const vantry::ProxyHeaderParse alone = vantry::ParseProxyHeader(bytes.substr(0, parsed.length));
  FUZZ_CHECK(alone.status == Status::kComplete && alone.length == parsed.length);
  FUZZ_CHECK(alone.source == parsed.source && alone.destination == parsed.destination);
  // What a header names is what the gateway would send on.
  if (parsed.source) {
    const std::string again = vantry::BuildProxyHeader(2, *parsed.source, *parsed.destination);
    const vantry::ProxyHeaderParse rebuilt = vantry::ParseProxyHeader(again);
    FUZZ_CHECK(rebuilt.status == Status::kComplete);
  }
  return 0;
}
