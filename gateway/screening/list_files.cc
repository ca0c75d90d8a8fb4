#include "list_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "list_file_format.h"
#include "peer_address.h"

namespace vantry {
namespace {

// Reads the whole file; nullopt when it does not exist or cannot be read (a directory, no
// permission).
std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

std::int32_t FindEntry(const std::vector<std::string>& entries, std::string_view text) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == text) return static_cast<std::int32_t>(i + 1);
  }
  return 0;
}

// IPv6 entries are kept in the form clients' addresses are compared in, so
// that "2001:DB8::1" matches a client 2001:db8:0:0::1. Everything else stays
// as written: IPv4 entries have always matched only exactly.
void CanonicaliseIPv6(std::vector<std::string>& entries) {
  for (std::string& entry : entries) {
    if (entry.find(':') == std::string::npos) continue;
    asio::error_code ec;
    const asio::ip::address_v6 parsed = asio::ip::make_address_v6(entry, ec);
    if (!ec) entry = PeerText(asio::ip::address(parsed));
  }
}

void Say(const SayFunction& say, std::string_view line) {
  if (say) say(line);
}

// Exceptions and manual blocks share one reading; only the trace text and the target differ.
void LoadAddressList(const std::string& path, std::string_view what, std::vector<std::string>& list,
                     const SayFunction& say) {
  Say(say, "Loading " + std::string(what) + " list from " + path);
  list.clear();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return;
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) {
    Say(say, std::string(what) + " list could not be read: " + path);
    return;
  }
  list = ParseAddressList(*bytes);
  CanonicaliseIPv6(list);
}

}  // namespace

std::string ListFilePath(const ConfigSettings& settings, std::string_view file_name) {
  return settings.PathEXE + "/" + std::string(file_name);
}

void LoadRBLHosts(const ConfigSettings& settings, HostLists& lists, const SayFunction& say) {
  lists.RBLHosts.clear();
  std::string path = ListFilePath(settings, settings.BLDNSDB);
  Say(say, "Loading RBL Host list from " + path);
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) {
    Say(say, "RBL Host list not found: " + path + " - no DNSBL zones will be queried");
    return;
  }
  lists.RBLHosts = ParseZoneList(*bytes);
}

void LoadExceptions(const ConfigSettings& settings, HostLists& lists, const SayFunction& say) {
  LoadAddressList(ListFilePath(settings, settings.ExceptionsDB), "Exceptions", lists.Exceptions,
                  say);
}

void LoadManualBlocks(const ConfigSettings& settings, HostLists& lists, const SayFunction& say) {
  LoadAddressList(ListFilePath(settings, settings.ManualDB), "Manual", lists.ManualBlocks, say);
}

std::int32_t IsException(const HostLists& lists, std::string_view ip) {
  return FindEntry(lists.Exceptions, ip);
}

std::int32_t IsManualBlock(const HostLists& lists, std::string_view address) {
  return FindEntry(lists.ManualBlocks, address);
}

}  // namespace vantry
