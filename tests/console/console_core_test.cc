#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "console_config.h"
#include "console_number.h"
#include "stored_settings.h"
#include "monitor_frame.h"
#include "temp_dir.h"

namespace vantry::console {
namespace {

using vantry::testing::ReadFileText;
using vantry::testing::TempDir;
using vantry::testing::WriteFileText;

TEST(ConsoleNumber, LeadingNumberWithoutSign) {
  EXPECT_EQ(ConsoleNumberValue("  25abc"), 25);
  EXPECT_EQ(ConsoleNumberValue("-5"), 0);
  EXPECT_EQ(ConsoleNumberValue("+5"), 0);
  EXPECT_EQ(ConsoleNumberValue("abc"), 0);
  EXPECT_EQ(ConsoleNumberValue(""), 0);
  EXPECT_DOUBLE_EQ(ConsoleNumberValue("12.5 sockets"), 12.5);
  EXPECT_EQ(ConsoleWholeNumber("2.5"), 2);  // halves go to even
  EXPECT_EQ(ConsoleWholeNumber("3.5"), 4);
  EXPECT_EQ(ConsoleWholeNumber("99999999999999999999"), 2147483647);
}

TEST(MonitorFrame, CutsFramesAndDropsIncompleteOnes) {
  std::string_view buffer =
      "+++255|0|OK|1.2.3.4|1.2.3.4|h.example|||2026-06-14|09:05***"
      "+++255|1|BL|5.6.7.8||||z.test|2026-06-14|09:06***";
  auto first = TakeMonitorMessage(buffer);
  ASSERT_TRUE(first);
  ASSERT_EQ(first->size(), 10u);
  EXPECT_EQ((*first)[2], "OK");
  EXPECT_EQ((*first)[9], "09:05");
  ASSERT_TRUE(buffer.starts_with("+++255|1|BL"));
  auto second = TakeMonitorMessage(buffer);
  ASSERT_TRUE(second);
  EXPECT_EQ((*second)[1], "1");
  EXPECT_TRUE(buffer.empty());

  // No end marker: dropped whole.
  buffer = "+++255|2|OK|9.9.9.9";
  EXPECT_FALSE(TakeMonitorMessage(buffer));
  EXPECT_TRUE(buffer.empty());

  // A frame cut short must not swallow the complete frame behind it.
  buffer = "+++255|2|OK|9.9+++255|3|CLOSED|||||||***";
  EXPECT_FALSE(TakeMonitorMessage(buffer));
  auto third = TakeMonitorMessage(buffer);
  ASSERT_TRUE(third);
  EXPECT_EQ((*third)[1], "3");

  // "*" and "+" inside the line are dropped from the fields.
  buffer = "+++255|4|BL|1.1.1.1|||Type 2|we*ird+zone|d|t***  ";
  auto fourth = TakeMonitorMessage(buffer);
  ASSERT_TRUE(fourth);
  EXPECT_EQ((*fourth)[7], "weirdzone");
}

TEST(MonitorFrame, AlignDropsLeadingTailAndBlanks) {
  std::string buffer = "  |09:07***+++255|5|OK|a|b|c|||d|t***   ";
  AlignMonitorBuffer(buffer);
  EXPECT_EQ(buffer, "+++255|5|OK|a|b|c|||d|t***");
  buffer = "   tail only ";
  AlignMonitorBuffer(buffer);
  EXPECT_TRUE(buffer.empty());
}

class ConsoleConfigTest : public ::testing::Test {
 protected:
  ConsoleConfigTest() {
    setenv("VANTRY_REGISTRY", dir_.File("registry.reg").c_str(), 1);
    folder_ = dir_.path().string();
  }
  ~ConsoleConfigTest() override { unsetenv("VANTRY_REGISTRY"); }
  void Set(const char* name, const RegValue& value, int type) {
    ASSERT_TRUE(SetRegValue(name, value, type));
  }

  TempDir dir_;
  std::string folder_;
};

TEST_F(ConsoleConfigTest, MissingListFilesAreCreatedAndListsStayEmpty) {
  LoadedConfig loaded = LoadConfig(folder_);
  EXPECT_EQ(loaded.config.PathEXE, folder_);  // missing PathEXE: the console's own folder
  EXPECT_TRUE(loaded.lists.zones.empty());
  EXPECT_TRUE(loaded.problems.empty());
  EXPECT_EQ(ReadFileText(dir_.File("rbl.cfg")),
            "zen.spamhaus.org\r\nbl.spamcop.net\r\nb.barracudacentral.org\r\n");
  EXPECT_EQ(ReadFileText(dir_.File("manbl.cfg")), "\r\n");
  EXPECT_EQ(ReadFileText(dir_.File("exlst.cfg")), "\r\n");
  // A second load reads the new zone list.
  EXPECT_EQ(LoadConfig(folder_).lists.zones.size(), 3u);
}

TEST_F(ConsoleConfigTest, ReadsSettingsWithConsoleFallbacks) {
  Set("PathEXE", folder_, 1);
  Set("MaxSocks", std::int64_t{0}, 4);
  Set("SMTPHost", std::string(""), 1);
  Set("BlockMsg", std::string(""), 1);
  Set("LogOK", std::int64_t{-1}, 4);
  Set("BlockT3", std::int64_t{2}, 4);
  Set("BlockT2", std::int64_t{0}, 4);
  Set("Gateway", std::string(" \\\\ "), 1);
  WriteFileText(dir_.File("rbl.cfg"), "  zone.a  remark\r\nzone.b remark\r\n\r\nzone.c");
  WriteFileText(dir_.File("exlst.cfg"), "1.2.3.4 office\r\n  5.6.7.8\r\n");
  LoadedConfig loaded = LoadConfig("/elsewhere");
  const ConsoleConfig& c = loaded.config;
  EXPECT_EQ(c.MaxSocks, 255);
  EXPECT_EQ(c.SMTPHost, "localhost");
  EXPECT_EQ(c.BlockMsg, "Access Denied. http://www.vantry.example/dnsbl");
  EXPECT_EQ(c.SMTPPort, "1");  // missing value reads as 1, fallbacks are for empty text only
  EXPECT_EQ(c.LogOK, 1);       // any non-zero is on for the console
  EXPECT_EQ(c.BlockT[0], 0);
  EXPECT_EQ(c.BlockT[1], 1);
  EXPECT_EQ(c.Gateway, "\\\\.");
  // Indented entries survive (a literal cut at the first blank would empty them
  // and the next save would drop them from the file).
  EXPECT_EQ(loaded.lists.zones, (std::vector<std::string>{"zone.a", "zone.b", "zone.c"}));
  EXPECT_EQ(loaded.lists.exceptions, (std::vector<std::string>{"1.2.3.4", "5.6.7.8"}));
  Set("MaxSocks", std::int64_t{100}, 4);
  EXPECT_EQ(LoadConfig(folder_).config.MaxSocks, 100);
}

TEST_F(ConsoleConfigTest, SaveWritesSettingsAndListsAndKeepsStoredTypes) {
  Set("SMTPPort", std::string("24"), 1);  // as the install creates it: a string
  ConsoleConfig c;
  c.PathEXE = folder_;
  c.SMTPPort = "2525";
  c.LocalPort = "2500";
  c.BlockT = {2, 2, 2, 2, 2, 2, 2, 2};
  c.MaxSocks = 300;
  ConsoleLists lists{{"z1", "z2"}, {"9.9.9.9"}, {"1.1.1.1", "a b"}, {}};
  std::string error;
  ASSERT_TRUE(SaveConfig(c, lists, &error)) << error;
  std::string reg = ReadFileText(dir_.File("registry.reg"));
  EXPECT_NE(reg.find("\"SMTPPort\"=\"2525\""), std::string::npos) << reg;
  EXPECT_NE(reg.find("\"LocalPort\"=\"2500\""), std::string::npos);
  EXPECT_NE(reg.find("\"BlockT9\"=dword:00000002"), std::string::npos);
  EXPECT_NE(reg.find("\"MaxSocks\"=dword:0000012c"), std::string::npos);
  EXPECT_EQ(reg.find("\"Gateway\""), std::string::npos);
  EXPECT_EQ(ReadFileText(dir_.File("rbl.cfg")), "z1\r\nz2\r\n");
  EXPECT_EQ(ReadFileText(dir_.File("manbl.cfg")), "9.9.9.9\r\n");
  EXPECT_EQ(ReadFileText(dir_.File("exlst.cfg")), "1.1.1.1\r\na b\r\n");
  LoadedConfig again = LoadConfig("/elsewhere");
  EXPECT_EQ(again.config.BlockT[7], 1);
  EXPECT_EQ(again.config.SMTPPort, "2525");
  EXPECT_EQ(again.lists.exceptions, (std::vector<std::string>{"1.1.1.1", "a"}));
}

TEST_F(ConsoleConfigTest, SaveFailuresNameTheFile) {
  ConsoleConfig c;
  c.PathEXE = dir_.File("no-such-folder");
  std::string error;
  EXPECT_FALSE(SaveConfig(c, {}, &error));
  EXPECT_NE(error.find("rbl.cfg"), std::string::npos) << error;

  // A plain file where the settings folder should be: the settings cannot be written.
  WriteFileText(dir_.File("blocker"), "");
  setenv("VANTRY_REGISTRY", dir_.File("blocker/registry.reg").c_str(), 1);
  c.PathEXE = folder_;
  error.clear();
  EXPECT_FALSE(SaveConfig(c, {}, &error));
  EXPECT_NE(error.find("settings file"), std::string::npos) << error;
  EXPECT_EQ(ReadFileText(dir_.File("rbl.cfg")), "");  // nothing written after the failure

  // A text the settings file cannot hold stops the save before any value is written.
  setenv("VANTRY_REGISTRY", dir_.File("registry.reg").c_str(), 1);
  Set("MaxSocks", std::int64_t{100}, 4);
  const std::string before = ReadFileText(dir_.File("registry.reg"));
  c.MaxSocks = 300;
  c.SMTPHost = "mail\nhost";
  error.clear();
  EXPECT_FALSE(SaveConfig(c, {}, &error));
  EXPECT_NE(error.find("SMTPHost cannot hold a line break"), std::string::npos) << error;
  EXPECT_EQ(ReadFileText(dir_.File("registry.reg")), before);
}

TEST_F(ConsoleConfigTest, AListUnreadAtLoadIsSkippedAtSaveEvenOnceReadable) {
  Set("PathEXE", folder_, 1);
  WriteFileText(dir_.File("rbl.cfg"), "zone.test\r\n");
  WriteFileText(dir_.File("exlst.cfg"), "1.1.1.1\r\n");
  // A folder in the file's place: a read failure even for root.
  ASSERT_TRUE(std::filesystem::create_directory(dir_.File("manbl.cfg")));
  LoadedConfig loaded = LoadConfig(folder_);
  ASSERT_EQ(loaded.problems.size(), 1u);
  EXPECT_NE(loaded.problems[0].find("manbl.cfg"), std::string::npos) << loaded.problems[0];
  EXPECT_TRUE(loaded.lists.manual_blocks.empty());
  EXPECT_TRUE(loaded.lists.unread.manual_blocks);
  EXPECT_FALSE(loaded.lists.unread.zones);
  EXPECT_FALSE(loaded.lists.unread.exceptions);
  EXPECT_EQ(loaded.lists.zones, std::vector<std::string>{"zone.test"});

  // Readable by the time of the save (mode fixed, a passing I/O error): the
  // entries were never shown, so the empty box must not replace them.
  std::filesystem::remove(dir_.File("manbl.cfg"));
  const std::string blocks = "192.0.2.66\r\n192.0.2.67\r\n";
  WriteFileText(dir_.File("manbl.cfg"), blocks);
  loaded.lists.zones = {"zone.new"};
  std::string error;
  ASSERT_TRUE(SaveConfig(loaded.config, loaded.lists, &error)) << error;
  EXPECT_EQ(ReadFileText(dir_.File("manbl.cfg")), blocks);
  EXPECT_EQ(ReadFileText(dir_.File("rbl.cfg")), "zone.new\r\n");
  EXPECT_EQ(ReadFileText(dir_.File("exlst.cfg")), "1.1.1.1\r\n");

  // Still a folder at save: skipped, so the save itself succeeds.
  std::filesystem::remove(dir_.File("manbl.cfg"));
  ASSERT_TRUE(std::filesystem::create_directory(dir_.File("manbl.cfg")));
  ASSERT_TRUE(SaveConfig(loaded.config, loaded.lists, &error)) << error;
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("manbl.cfg")));

  // Read at load, it is rewritten as usual.
  std::filesystem::remove(dir_.File("manbl.cfg"));
  WriteFileText(dir_.File("manbl.cfg"), blocks);
  LoadedConfig again = LoadConfig(folder_);
  EXPECT_TRUE(again.problems.empty());
  EXPECT_FALSE(again.lists.unread.manual_blocks);
  again.lists.manual_blocks = {"192.0.2.9"};
  ASSERT_TRUE(SaveConfig(again.config, again.lists, &error)) << error;
  EXPECT_EQ(ReadFileText(dir_.File("manbl.cfg")), "192.0.2.9\r\n");
}

TEST_F(ConsoleConfigTest, AListFileTheConsoleCannotReadIsNeverReplaced) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a user who cannot read the file";
  // The gateway's lists private to root, the console run by another user.
  Set("PathEXE", folder_, 1);
  const std::string blocks = "192.0.2.66\r\n192.0.2.67\r\n";
  WriteFileText(dir_.File("manbl.cfg"), blocks);
  WriteFileText(dir_.File("rbl.cfg"), "zone.test\r\n");
  WriteFileText(dir_.File("exlst.cfg"), "\r\n");
  ASSERT_EQ(chmod(dir_.File("manbl.cfg").c_str(), 0600), 0);
  ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir_.File("registry.reg").c_str(), 0666), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(99);
    LoadedConfig loaded = LoadConfig(folder_);
    const bool said = loaded.problems.size() == 1 &&
                      loaded.problems[0].find("manbl.cfg") != std::string::npos &&
                      loaded.lists.manual_blocks.empty();
    loaded.config.SMTPHost = "mail.test";
    _exit(said && SaveConfig(loaded.config, loaded.lists, nullptr) ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFileText(dir_.File("manbl.cfg")), blocks);
  EXPECT_EQ(RegValueText(StoredSetting("SMTPHost")), "mail.test");
}

}  // namespace
}  // namespace vantry::console
