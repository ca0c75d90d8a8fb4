#include "list_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "list_file_format.h"
#include "temp_dir.h"

namespace vantry {
namespace {

using testing::TempDir;
using testing::WriteFileText;
using Lines = std::vector<std::string>;

TEST(ListFileFormat, SplitsCrLfLfAndALastLineWithoutEnd) {
  // A CR that does not end a line is data.
  EXPECT_EQ(SplitListFileLines("a\r\n\r\nb\nc\rd"),
            (std::vector<std::string_view>{"a", "", "b", "c\rd"}));
  EXPECT_TRUE(SplitListFileLines("").empty());
}

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

class ListFilesTest : public ::testing::Test {
 protected:
  ListFilesTest() {
    settings_.PathEXE = dir_.path().string();
    settings_.BLDNSDB = "rbl.cfg";
    settings_.ExceptionsDB = "exlst.cfg";
    settings_.ManualDB = "manbl.cfg";
  }
  void LoadAll() {
    LoadRBLHosts(settings_, lists_, say_);
    LoadExceptions(settings_, lists_, say_);
    LoadManualBlocks(settings_, lists_, say_);
  }

  TempDir dir_;
  ConfigSettings settings_;
  HostLists lists_;
  Lines trace_;
  SayFunction say_ = [this](std::string_view line) { trace_.emplace_back(line); };
};

TEST_F(ListFilesTest, MissingOrUnreadableFilesGiveEmptyListsAndAreNotFatal) {
  lists_ = {.RBLHosts = {"stale.test"}, .Exceptions = {"1.1.1.1"}, .ManualBlocks = {"2.2.2.2"}};
  LoadAll();
  const std::string base = dir_.path().string() + "/";
  // Only a missing zone list complains.
  EXPECT_EQ(trace_,
            (Lines{"Loading RBL Host list from " + base + "rbl.cfg",
                   "RBL Host list not found: " + base + "rbl.cfg - no DNSBL zones will be queried",
                   "Loading Exceptions list from " + base + "exlst.cfg",
                   "Loading Manual list from " + base + "manbl.cfg"}));
  EXPECT_EQ(lists_.RBLHosts.size() + lists_.Exceptions.size() + lists_.ManualBlocks.size(), 0u);

  trace_.clear();
  std::filesystem::create_directory(dir_.path() / "exlst.cfg");
  LoadExceptions(settings_, lists_, say_);
  EXPECT_TRUE(lists_.Exceptions.empty());
  EXPECT_EQ(trace_, (Lines{"Loading Exceptions list from " + base + "exlst.cfg",
                           "Exceptions list could not be read: " + base + "exlst.cfg"}));
}

TEST(ListSearch, ExactCaseSensitiveFirstMatchOneBased) {
  HostLists lists;
  lists.Exceptions = {"1.2.3.4", "", "5.6.7.8", "5.6.7.8"};
  lists.ManualBlocks = {"host.Test", "1.2.3.40"};
  EXPECT_EQ(IsException(lists, "1.2.3.4"), 1);
  EXPECT_EQ(IsException(lists, "5.6.7.8"), 3);
  EXPECT_EQ(IsException(lists, "1.2.3.40"), 0);
  EXPECT_EQ(IsException(lists, " 1.2.3.4"), 0);
  EXPECT_EQ(IsManualBlock(lists, "1.2.3.4"), 0);
  EXPECT_EQ(IsManualBlock(lists, "1.2.3.40"), 2);
  EXPECT_EQ(IsManualBlock(lists, "host.test"), 0);
}

}  // namespace
}  // namespace vantry
