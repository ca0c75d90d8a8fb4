#include <gtest/gtest.h>

#include <cstdlib>

#include "console_config.h"
#include "mod_rbl_registry.h"
#include "temp_dir.h"

namespace vantry::console {
namespace {

using vantry::testing::ReadFileText;
using vantry::testing::TempDir;
using vantry::testing::WriteFileText;

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

TEST_F(ConsoleConfigTest, ReadsSettingsWithConsoleFallbacks) {
  Set("PathEXE", folder_, 1);
  Set("MaxSocks", std::int64_t{0}, 4);
  Set("SMTPHost", std::string(""), 1);
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
  EXPECT_EQ(c.LogOK, 1);  // any non-zero is on for the console
  EXPECT_EQ(c.BlockT[0], 0);
  EXPECT_EQ(c.BlockT[1], 1);
  EXPECT_EQ(c.Gateway, "\\\\.");
  // Indented entries survive (a literal cut at the first blank would empty them
  // and the next save would drop them from the file).
  EXPECT_EQ(loaded.lists.zones, (std::vector<std::string>{"zone.a", "zone.b", "zone.c"}));
  EXPECT_EQ(loaded.lists.exceptions, (std::vector<std::string>{"1.2.3.4", "5.6.7.8"}));
}

TEST_F(ConsoleConfigTest, SaveWritesSettingsThenListsAndKeepsStoredTypes) {
  Set("SMTPPort", std::string("24"), 1);  // as the install creates it: a string
  ConsoleConfig c;
  c.PathEXE = folder_;
  c.SMTPPort = "2525";
  c.BlockT = {2, 2, 2, 2, 2, 2, 2, 2};
  c.MaxSocks = 300;
  ConsoleLists lists{{"z1", "z2"}, {"9.9.9.9"}, {"1.1.1.1", "a b"}, {}};
  std::string error;
  ASSERT_TRUE(SaveConfig(c, lists, &error)) << error;
  std::string reg = ReadFileText(dir_.File("registry.reg"));
  EXPECT_NE(reg.find("\"SMTPPort\"=\"2525\""), std::string::npos) << reg;
  EXPECT_NE(reg.find("\"BlockT9\"=dword:00000002"), std::string::npos);
  EXPECT_NE(reg.find("\"MaxSocks\"=dword:0000012c"), std::string::npos);
  EXPECT_EQ(reg.find("\"Gateway\""), std::string::npos);
  EXPECT_EQ(ReadFileText(dir_.File("rbl.cfg")), "z1\r\nz2\r\n");
  EXPECT_EQ(ReadFileText(dir_.File("manbl.cfg")), "9.9.9.9\r\n");
  EXPECT_EQ(ReadFileText(dir_.File("exlst.cfg")), "1.1.1.1\r\na b\r\n");

  // A settings file that cannot be written (a plain file where its folder
  // should be) stops the save before any list is written.
  WriteFileText(dir_.File("blocker"), "");
  setenv("VANTRY_REGISTRY", dir_.File("blocker/registry.reg").c_str(), 1);
  EXPECT_FALSE(SaveConfig(c, {{"z3"}, {}, {}, {}}, &error));
  EXPECT_NE(error.find("settings file"), std::string::npos) << error;
  EXPECT_EQ(ReadFileText(dir_.File("rbl.cfg")), "z1\r\nz2\r\n");
}

}  // namespace
}  // namespace vantry::console
