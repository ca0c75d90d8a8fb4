#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace vantry {

/// Verdicts reported since the gateway started, by verdict ("OK", "BL") and
/// the block type the report names (empty for a plain pass).
class VerdictCounts {
 public:
  using Key = std::pair<std::string, std::string>;

  void Count(std::string_view verdict, std::string_view block_type) {
    ++counts_[Key(verdict, block_type)];
  }
  const std::map<Key, std::uint64_t>& counts() const { return counts_; }

 private:
  std::map<Key, std::uint64_t> counts_;
};

/// What the relay pump counted since the gateway started.
struct RelayCounters {
  std::uint64_t bytes_to_mail_server = 0;
  std::uint64_t bytes_to_clients = 0;
  std::uint64_t idle_timeouts = 0;
};

}  // namespace vantry
