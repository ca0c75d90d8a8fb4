#include "hosts_file.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace vantry {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

HostsEntries ParseHostsFile(std::string_view text) {
  HostsEntries entries;
  // IPv6 entries wait until every IPv4 one is in, so each name's list keeps IPv4 first.
  std::vector<std::pair<std::string, std::string>> ipv6_entries;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string address;
    if (!(words >> address)) continue;
    std::string name;
    if (in6_addr parsed6{}; inet_pton(AF_INET6, address.c_str(), &parsed6) == 1) {
      while (words >> name) ipv6_entries.emplace_back(Lower(name), address);
      continue;
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) continue;
    bool first = true;
    while (words >> name) {
      if (first) entries.name_by_address.emplace(address, name);
      entries.address_by_name.emplace(Lower(name), address);
      entries.addresses_by_name[Lower(name)].push_back(address);
      first = false;
    }
  }
  for (auto& [name, address] : ipv6_entries)
    entries.addresses_by_name[name].push_back(std::move(address));
  return entries;
}

HostsFile::HostsFile(std::string path, std::chrono::milliseconds recheck)
    : watch_(std::move(path), recheck) {}

void HostsFile::Refresh() {
  if (!watch_.Due() || !watch_.Changed()) return;
  // A file that went away reads as empty, and so has no entries.
  std::ifstream in(watch_.path());
  std::ostringstream text;
  if (in) text << in.rdbuf();
  entries_ = ParseHostsFile(text.str());
}

std::string HostsFile::NameFor(const std::string& address) {
  Refresh();
  auto it = entries_.name_by_address.find(address);
  return it == entries_.name_by_address.end() ? std::string() : it->second;
}

std::string HostsFile::AddressFor(std::string_view name) {
  Refresh();
  auto it = entries_.address_by_name.find(Lower(name));
  return it == entries_.address_by_name.end() ? std::string() : it->second;
}

std::vector<std::string> HostsFile::AddressesFor(std::string_view name) {
  Refresh();
  auto it = entries_.addresses_by_name.find(Lower(name));
  return it == entries_.addresses_by_name.end() ? std::vector<std::string>() : it->second;
}

}  // namespace vantry
