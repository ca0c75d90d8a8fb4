#include "list_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "list_file_format.h"
#include "temp_dir.h"

namespace vantry {
namespace {

using testing::TempDir;
using Lines = std::vector<std::string>;

// The three rules over one file: zones trim then cut at the first blank, addresses cut without
// trimming (so an indented entry is ""), the console trims and skips blank lines. A tab is no
// blank for any of them; line order and duplicates stay.
TEST(ListFileFormat, EachListRuleTreatsIndentsBlanksAndTabsItsOwnWay) {
  std::string bytes = "  zone1.test  remark\r\n\r\n   \r\nzone2.test x\n\tz3\tt u\nt\t\nzone1.test";
  const Lines trimmed = {"zone1.test", "zone2.test", "\tz3\tt", "t\t", "zone1.test"};
  EXPECT_EQ(ParseZoneList(bytes), trimmed);
  EXPECT_EQ(ParseConsoleList(bytes), trimmed);
  EXPECT_EQ(ParseAddressList(bytes), (Lines{"", "", "zone2.test", "\tz3\tt", "t\t", "zone1.test"}));
}

TEST(ListFiles, MissingOrUnreadableFilesGiveEmptyListsAndAreNotFatal) {
  TempDir dir;
  ConfigSettings settings;
  settings.PathEXE = dir.path().string();
  settings.BLDNSDB = "rbl.cfg";
  settings.ExceptionsDB = "exlst.cfg";
  settings.ManualDB = "manbl.cfg";
  HostLists lists = {
      .RBLHosts = {"stale.test"}, .Exceptions = {"1.1.1.1"}, .ManualBlocks = {"2.2.2.2"}};
  Lines trace;
  SayFunction say = [&](std::string_view line) { trace.emplace_back(line); };
  LoadRBLHosts(settings, lists, say);
  LoadExceptions(settings, lists, say);
  LoadManualBlocks(settings, lists, say);
  const std::string base = dir.path().string() + "/";
  // Only a missing zone list complains.
  EXPECT_EQ(trace,
            (Lines{"Loading RBL Host list from " + base + "rbl.cfg",
                   "RBL Host list not found: " + base + "rbl.cfg - no DNSBL zones will be queried",
                   "Loading Exceptions list from " + base + "exlst.cfg",
                   "Loading Manual list from " + base + "manbl.cfg"}));
  EXPECT_EQ(lists.RBLHosts.size() + lists.Exceptions.size() + lists.ManualBlocks.size(), 0u);

  trace.clear();
  std::filesystem::create_directory(dir.path() / "exlst.cfg");
  LoadExceptions(settings, lists, say);
  EXPECT_EQ(trace, (Lines{"Loading Exceptions list from " + base + "exlst.cfg",
                          "Exceptions list could not be read: " + base + "exlst.cfg"}));
}

}  // namespace
}  // namespace vantry
