// The three list files: each rule gives entries a save writes back unchanged,
// and the gateway's loaders read a file exactly as the rules read its bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config_settings.h"
#include "fuzz_check.h"
#include "list_file_format.h"
#include "list_files.h"
#include "temp_dir.h"

namespace {

std::string OnePerLine(const std::vector<std::string>& entries) {
  std::string bytes;
  for (const std::string& entry : entries) bytes += entry + "\r\n";
  return bytes;
}

void CheckEntries(const std::vector<std::string>& entries, bool may_be_empty) {
  for (const std::string& entry : entries) {
    FUZZ_CHECK(entry.find(' ') == std::string::npos);
    FUZZ_CHECK(entry.find('\n') == std::string::npos);
    FUZZ_CHECK(may_be_empty || !entry.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  std::size_t line_bytes = 0;
  const std::vector<std::string_view> lines = vantry::SplitListFileLines(bytes);
  for (std::string_view line : lines) {
    FUZZ_CHECK(line.find('\n') == std::string_view::npos);
    line_bytes += line.size();
  }
  FUZZ_CHECK(line_bytes + (lines.empty() ? 0 : lines.size() - 1) <= size);

  const std::vector<std::string> zones = vantry::ParseZoneList(bytes);
  const std::vector<std::string> addresses = vantry::ParseAddressList(bytes);
  FUZZ_CHECK(vantry::ParseConsoleList(bytes) == zones);
  CheckEntries(zones, false);
  CheckEntries(addresses, true);
  FUZZ_CHECK(zones.size() <= lines.size() && addresses.size() <= lines.size());
  FUZZ_CHECK(vantry::ParseZoneList(OnePerLine(zones)) == zones);
  // An empty entry (a line that began with a blank) is written as an empty line, which reads as
  // none.
  std::vector<std::string> kept;
  for (const std::string& entry : addresses) {
    if (!entry.empty()) kept.push_back(entry);
  }
  FUZZ_CHECK(vantry::ParseAddressList(OnePerLine(kept)) == kept);

  // The gateway reads the same bytes from its files.
  static const vantry::testing::TempDir folder;
  vantry::ConfigSettings settings;
  settings.PathEXE = folder.path().string();
  settings.BLDNSDB = "rbl.cfg";
  settings.ExceptionsDB = "exlst.cfg";
  settings.ManualDB = "manbl.cfg";
  for (const char* name : {"rbl.cfg", "exlst.cfg", "manbl.cfg"}) {
    vantry::testing::WriteFileText(folder.path() / name, bytes);
  }
  vantry::HostLists lists;
  vantry::LoadRBLHosts(settings, lists, nullptr);
  vantry::LoadExceptions(settings, lists, nullptr);
  vantry::LoadManualBlocks(settings, lists, nullptr);
  FUZZ_CHECK(lists.RBLHosts == zones);
  FUZZ_CHECK(lists.Exceptions == addresses && lists.ManualBlocks == addresses);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const std::int32_t found = vantry::IsException(lists, addresses[i]);
    FUZZ_CHECK(found >= 1 && static_cast<std::size_t>(found) <= i + 1);
    FUZZ_CHECK(addresses[static_cast<std::size_t>(found) - 1] == addresses[i]);
    FUZZ_CHECK(vantry::IsManualBlock(lists, addresses[i]) == found);
  }
  return 0;
}
