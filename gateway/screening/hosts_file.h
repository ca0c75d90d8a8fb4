#pragma once

#include <chrono>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "file_signature.h"

namespace vantry {

/// The entries of a hosts file: the first name given for an IPv4 address, and
/// the first IPv4 address given for a name (names compared without letter case).
/// IPv6 addresses serve only to connect to a name, with every other address of it.
struct HostsEntries {
  std::unordered_map<std::string, std::string> name_by_address;
  std::unordered_map<std::string, std::string> address_by_name;
  /// Every address given for a name: the IPv4 ones first, then the IPv6 ones, each in file order.
  std::unordered_map<std::string, std::vector<std::string>> addresses_by_name;
};

/// Reads hosts-file text; comments and malformed lines are ignored.
HostsEntries ParseHostsFile(std::string_view text);

/// A hosts file consulted before DNS, re-read when it changes on disk.
class HostsFile {
 public:
  /// The file is looked at again at most once per recheck interval.
  explicit HostsFile(std::string path, std::chrono::milliseconds recheck = std::chrono::seconds(1));
  /// The first name for a dotted address, or "".
  std::string NameFor(const std::string& address);
  /// The first address for a name, or "".
  std::string AddressFor(std::string_view name);
  /// Every address for a name, IPv4 ones first; empty when the file has none.
  std::vector<std::string> AddressesFor(std::string_view name);

 private:
  void Refresh();
  FileWatch watch_;
  HostsEntries entries_;
};

}  // namespace vantry
