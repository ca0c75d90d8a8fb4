#include "hosts_file.h"

#include <arpa/inet.h>
#include <sys/stat.h>

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
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string address;
    if (!(words >> address)) continue;
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) continue;
    std::string name;
    bool first = true;
    while (words >> name) {
      if (first) entries.name_by_address.emplace(address, name);
      entries.address_by_name.emplace(Lower(name), address);
      first = false;
    }
  }
  return entries;
}

HostsFile::HostsFile(std::string path, std::chrono::milliseconds recheck)
    : path_(std::move(path)), recheck_(recheck) {}

void HostsFile::Refresh() {
  auto now = std::chrono::steady_clock::now();
  if (now < next_check_) return;
  next_check_ = now + recheck_;
  const FileSignature seen = SignatureOf(path_);
  if (!seen.exists) {
    entries_ = HostsEntries{};
    loaded_ = false;
    return;
  }
  if (loaded_ && seen == signature_) return;
  std::ifstream in(path_);
  std::ostringstream text;
  text << in.rdbuf();
  entries_ = ParseHostsFile(text.str());
  signature_ = seen;
  loaded_ = true;
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

}  // namespace vantry
