// A hosts file as found on any machine: for reverse and screening lookups only IPv4
// lines count, each address keeps its first name and each name (any letter case) its
// first address; to connect, a name has every address, IPv4 ones first.

#include <arpa/inet.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "hosts_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const vantry::HostsEntries entries = vantry::ParseHostsFile(text);

  auto is_address = [](const std::string& address) {
    in_addr parsed{};
    return inet_pton(AF_INET, address.c_str(), &parsed) == 1;
  };
  auto is_word = [](const std::string& word) {
    if (word.empty() || word.find('#') != std::string::npos) return false;
    for (unsigned char c : word) {
      if (std::isspace(c)) return false;
    }
    return true;
  };
  for (const auto& [address, name] : entries.name_by_address) {
    FUZZ_CHECK(is_address(address) && is_word(name));
    // The address's first name leads back to an address (its own unless an earlier line took it).
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    FUZZ_CHECK(entries.address_by_name.count(lower) == 1);
  }
  for (const auto& [name, address] : entries.address_by_name) {
    FUZZ_CHECK(is_address(address) && is_word(name));
    for (unsigned char c : name) FUZZ_CHECK(!std::isupper(c));
  }
  for (const auto& [name, addresses] : entries.addresses_by_name) {
    FUZZ_CHECK(is_word(name) && !addresses.empty());
    auto first = entries.address_by_name.find(name);
    // The IPv4 ones lead, starting with the one screening lookups use.
    FUZZ_CHECK(first == entries.address_by_name.end() ? !is_address(addresses.front())
                                                      : addresses.front() == first->second);
  }
  return 0;
}
