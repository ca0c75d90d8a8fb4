#pragma once

#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vantry {

/// The IPv4 entries of a hosts file: the first name given for an address, and
/// the first address given for a name (names compared without letter case).
struct HostsEntries {
  std::unordered_map<std::string, std::string> name_by_address;
  std::unordered_map<std::string, std::string> address_by_name;
};

/// Reads hosts-file text; comments, IPv6 and malformed lines are ignored.
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

 private:
  void Refresh();
  std::string path_;
  std::chrono::milliseconds recheck_;
  std::chrono::steady_clock::time_point next_check_{};
  struct FileSignature {
    dev_t device;
    ino_t inode;
    off_t size;
    std::time_t modified_seconds;
    long modified_nanoseconds;
    std::time_t changed_seconds;
    long changed_nanoseconds;
    bool operator==(const FileSignature&) const = default;
  };
  FileSignature signature_{};
  bool loaded_ = false;
  HostsEntries entries_;
};

}  // namespace vantry
