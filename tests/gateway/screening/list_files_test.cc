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
  EXPECT_EQ(SplitListFileLines("a\r\nb\nc"), (std::vector<std::string_view>{"a", "b", "c"}));
  EXPECT_EQ(SplitListFileLines("a\r\n\r\nb\r\n"), (std::vector<std::string_view>{"a", "", "b"}));
  // A CR that does not end a line is data.
  EXPECT_EQ(SplitListFileLines("a\rb\n"), (std::vector<std::string_view>{"a\rb"}));
  EXPECT_TRUE(SplitListFileLines("").empty());
}

TEST(ListFileFormat, ZoneRuleTrimsThenCutsAtTheFirstBlank) {
  EXPECT_EQ(ParseZoneListLine("  zone.test  a remark"), "zone.test");
  EXPECT_EQ(ParseZoneListLine("zone.test"), "zone.test");
  EXPECT_EQ(ParseZoneListLine("   "), std::nullopt);
  EXPECT_EQ(ParseZoneListLine(""), std::nullopt);
  // A tab is no blank: it stays in the entry.
  EXPECT_EQ(ParseZoneListLine("\tzone.test"), "\tzone.test");
}

TEST(ListFileFormat, AddressRuleCutsWithoutTrimmingFirst) {
  EXPECT_EQ(ParseAddressListLine("  1.2.3.4"), "");
  EXPECT_EQ(ParseAddressListLine("1.2.3.4 remark"), "1.2.3.4");
  EXPECT_EQ(ParseAddressListLine("   "), "");
  EXPECT_EQ(ParseAddressListLine(""), std::nullopt);
  EXPECT_EQ(ParseAddressListLine("1.2.3.4\t"), "1.2.3.4\t");
}

TEST(ListFileFormat, ConsoleRuleKeepsIndentedEntriesAndSkipsBlankLines) {
  EXPECT_EQ(ParseConsoleListLine("  1.2.3.4"), "1.2.3.4");
  EXPECT_EQ(ParseConsoleListLine("1.2.3.4 remark"), "1.2.3.4");
  EXPECT_EQ(ParseConsoleListLine("  zone.test  remark"), "zone.test");
  EXPECT_EQ(ParseConsoleListLine("   "), std::nullopt);
  EXPECT_EQ(ParseConsoleListLine(""), std::nullopt);
  EXPECT_EQ(ParseConsoleListLine("a\tb c"), "a\tb");
}

TEST(ListFileFormat, WholeFilesKeepLineOrderAndDuplicates) {
  std::string bytes = "  zone1.test  remark\r\n\r\n   \r\nzone2.test\nzone1.test";
  EXPECT_EQ(ParseZoneList(bytes), (Lines{"zone1.test", "zone2.test", "zone1.test"}));
  EXPECT_EQ(ParseAddressList(bytes), (Lines{"", "", "zone2.test", "zone1.test"}));
  EXPECT_EQ(ParseConsoleList(bytes), (Lines{"zone1.test", "zone2.test", "zone1.test"}));
}

class ListFilesTest : public ::testing::Test {
 protected:
  ListFilesTest() {
    settings_.PathEXE = dir_.path().string();
    settings_.BLDNSDB = "rbl.cfg";
    settings_.ExceptionsDB = "exlst.cfg";
    settings_.ManualDB = "manbl.cfg";
  }
  SayFunction Say() {
    return [this](std::string_view line) { trace_.emplace_back(line); };
  }

  TempDir dir_;
  ConfigSettings settings_;
  HostLists lists_;
  Lines trace_;
};

TEST_F(ListFilesTest, LoadsAllThreeListsWithTheirOwnRulesAndTraceLines) {
  WriteFileText(dir_.File("rbl.cfg"), "  bl1.test  first\r\nbl2.test\r\n   \r\n");
  WriteFileText(dir_.File("exlst.cfg"), "10.0.0.1 office\r\n  10.0.0.2\r\n");
  WriteFileText(dir_.File("manbl.cfg"), "192.0.2.9\n192.0.2.9\n192.0.2.10");
  LoadRBLHosts(settings_, lists_, Say());
  LoadExceptions(settings_, lists_, Say());
  LoadManualBlocks(settings_, lists_, Say());
  const std::string base = dir_.path().string() + "/";
  EXPECT_EQ(trace_, (Lines{"Loading RBL Host list from " + base + "rbl.cfg",
                           "Loading Exceptions list from " + base + "exlst.cfg",
                           "Loading Manual list from " + base + "manbl.cfg"}));
  EXPECT_EQ(lists_.RBLHosts, (Lines{"bl1.test", "bl2.test"}));
  EXPECT_EQ(lists_.Exceptions, (Lines{"10.0.0.1", ""}));
  EXPECT_EQ(lists_.ManualBlocks, (Lines{"192.0.2.9", "192.0.2.9", "192.0.2.10"}));
  EXPECT_EQ(lists_.RBLHostCount(), 2);
  EXPECT_EQ(lists_.ExceptionCount(), 2);
  EXPECT_EQ(lists_.ManualCount(), 3);
}

TEST_F(ListFilesTest, PathIsPathExeSlashFileNameEvenWithATrailingSlash) {
  settings_.PathEXE = dir_.path().string() + "/";
  settings_.BLDNSDB = "zones.txt";
  WriteFileText(dir_.File("zones.txt"), "bl.test\r\n");
  LoadRBLHosts(settings_, lists_, Say());
  ASSERT_FALSE(trace_.empty());
  EXPECT_EQ(trace_[0], "Loading RBL Host list from " + dir_.path().string() + "//zones.txt");
  EXPECT_EQ(lists_.RBLHosts, Lines{"bl.test"});
}

TEST_F(ListFilesTest, MissingFilesGiveEmptyListsAndOnlyTheZoneListComplains) {
  lists_.RBLHosts = {"stale.test"};
  lists_.Exceptions = {"1.1.1.1"};
  lists_.ManualBlocks = {"2.2.2.2"};
  LoadRBLHosts(settings_, lists_, Say());
  LoadExceptions(settings_, lists_, Say());
  LoadManualBlocks(settings_, lists_, Say());
  const std::string base = dir_.path().string() + "/";
  EXPECT_EQ(trace_,
            (Lines{"Loading RBL Host list from " + base + "rbl.cfg",
                   "RBL Host list not found: " + base + "rbl.cfg - no DNSBL zones will be queried",
                   "Loading Exceptions list from " + base + "exlst.cfg",
                   "Loading Manual list from " + base + "manbl.cfg"}));
  EXPECT_TRUE(lists_.RBLHosts.empty());
  EXPECT_TRUE(lists_.Exceptions.empty());
  EXPECT_TRUE(lists_.ManualBlocks.empty());
}

TEST_F(ListFilesTest, AnUnreadableListIsReportedNotFatal) {
  std::filesystem::create_directory(dir_.path() / "exlst.cfg");
  LoadExceptions(settings_, lists_, Say());
  EXPECT_TRUE(lists_.Exceptions.empty());
  ASSERT_EQ(trace_.size(), 2u);
  EXPECT_EQ(trace_[1], "Exceptions list could not be read: " + dir_.File("exlst.cfg"));
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
  EXPECT_EQ(IsManualBlock(HostLists{}, "1.2.3.4"), 0);
}

}  // namespace
}  // namespace vantry
