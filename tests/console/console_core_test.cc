#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "advanced_settings.h"
#include "console_config.h"
#include "mod_rbl_registry.h"
#include "registry_store.h"
#include "service_unit.h"
#include "settings_schema.h"
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

TEST(AdvancedSettings, EverySettingTheGatewayReadsHasAFieldInTheConsole) {
  for (const SettingSpec& spec : SettingsSchema()) {
    const bool advanced = spec.console_advanced;
    EXPECT_EQ(advanced, FindAdvancedRow(spec.name) != nullptr) << spec.name;
    // PathEXE is the program folder, which the console writes as it reads it.
    if (spec.gateway && spec.name != "PathEXE") {
      EXPECT_TRUE(advanced != (spec.console_save_rank > 0)) << spec.name;
    }
  }
}

TEST(AdvancedSettings, ValuesAreCheckedByTheGatewaysRules) {
  using Check = AdvancedCheck;
  struct Case {
    Check check;
    const char* text;
    bool accepted;
  };
  const Case cases[] = {
      {Check::kWholeNumber, "0", true},
      {Check::kWholeNumber, "2147483647", true},
      {Check::kWholeNumber, "2147483648", false},
      {Check::kWholeNumber, "-1", false},
      {Check::kWholeNumber, "", false},
      {Check::kWholeNumber, "12abc", false},
      {Check::kProxyVersion, "2", true},
      {Check::kProxyVersion, "3", false},
      {Check::kAddress, "", true},
      {Check::kAddress, "::", true},
      {Check::kAddress, "192.0.2.1", true},
      {Check::kAddress, "192.0.2.256", false},
      {Check::kAddress, "[::1]", false},
      {Check::kNetworks, "192.0.2.0/24, ::1", true},
      {Check::kNetworks, "2001:db8::/129", false},
      {Check::kNetworks, "10.0.0.1,", false},
      {Check::kNetworks, "10.0.0.0/", false},
      {Check::kHostPort, "localhost:9100", true},
      {Check::kHostPort, "[::1]:9100", true},
      {Check::kHostPort, "::1", false},
      {Check::kHostPort, "host:0", false},
      {Check::kHostPort, "host:65536", false},
      {Check::kNameServers, "9.9.9.9:53,2001:db8::1", true},
      {Check::kNameServers, "[2001:db8::1]:53", true},
      {Check::kNameServers, "dns.example", false},
      {Check::kNameServers, "9.9.9.9:", false},
      {Check::kDatabase, "postgres://h/db", true},
      {Check::kDatabase, "report.dpr", false},
      {Check::kDatabase, "postgresql://a b", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AdvancedAccepts(c.check, c.text), c.accepted)
        << static_cast<int>(c.check) << " " << c.text;
  }
}

TEST(ServiceUnit, TheUnitIsTheOneThatRunsTheGatewayOnTheSettingsFile) {
  TempDir dir;
  const std::string units = dir.File("units");
  std::filesystem::create_directories(units);
  auto unit = [&](const char* name, const std::string& body) {
    WriteFileText(units + "/" + name, "[Service]\r\n" + body);
  };
  unit("daskvantry.service", "ExecStart=/usr/sbin/vantrysvc\r\n");
  unit("b.service",
       "ExecStart=\"/opt/a b/vantrysvc\"\r\nEnvironment=\"VANTRY_REGISTRY=/srv/100%%.reg\"\r\n");
  unit("a.service", "ExecStart=/bin/other\r\nEnvironment=VANTRY_REGISTRY=/srv/x.reg\r\n");
  unit("c.service",
       "ExecStart=/usr/bin/vantrysvc\r\nEnvironment=A=1 VANTRY_REGISTRY=/srv/x.reg\r\n");
  unit("c.service.d", "ExecStart=/usr/bin/vantrysvc\r\nEnvironment=VANTRY_REGISTRY=/srv/y.reg\r\n");
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {kDefaultRegistryPath, "daskvantry"},
      {"/srv/100%.reg", "b"},
      {"/srv/x.reg", "c"},  // a's program is not the gateway
      {"/srv/y.reg", std::nullopt},
  };
  for (const auto& [settings, expected] : cases) {
    EXPECT_EQ(ServiceUnitFor(settings, units), expected) << settings;
  }
  std::filesystem::remove(units + "/daskvantry.service");
  EXPECT_EQ(ServiceUnitFor(kDefaultRegistryPath, units), "daskvantry");  // the installer's name
}

}  // namespace
}  // namespace vantry::console