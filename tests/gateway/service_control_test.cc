#include "service_control.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "child_process.h"
#include "gateway_fixture.h"
#include "temp_dir.h"

namespace vantry {
namespace {

using testing::BuiltProgram;
using testing::RunCommand;

// The switches the tests below run are left to them.
TEST(ParseCommandLine, WholeTextLowerCasedOrNothing) {
  EXPECT_EQ(ParseCommandLine("-Debug"), Switch::kDebug);
  EXPECT_EQ(ParseCommandLine("--help"), Switch::kHelp);
  for (const char* none : {"-install now", "-install ", "", "install"})
    EXPECT_EQ(ParseCommandLine(none), Switch::kNone) << none;
}

class Switches : public ::testing::Test {
 protected:
  // Runs a program with the switch, with a settings file and unit folder in dir_.
  int Run(const std::string& sw, std::string* out, const std::string& registry = "etc/registry.reg",
          const std::string& units = "units",
          const std::string& program = BuiltProgram("vantrysvc")) {
    return RunCommand(
        {program, sw},
        {{"VANTRY_REGISTRY", dir_.File(registry)}, {"VANTRY_UNIT_DIR", dir_.File(units)}}, out);
  }
  testing::TempDir dir_;
};

TEST_F(Switches, InstallAndUninstallEachRefuseTheSecondTime) {
  std::string out;
  ASSERT_EQ(Run("-install", &out), 0) << out;
  EXPECT_EQ(out, "Dask Vantry installed successfully\n");
  const std::filesystem::path unit_file = dir_.path() / "units" / "daskvantry.service";
  std::string unit = testing::ReadFileText(unit_file);
  EXPECT_NE(unit.find("ExecStart=\"" + BuiltProgram("vantrysvc") + "\"\n"), std::string::npos)
      << unit;
  EXPECT_NE(unit.find("Environment=\"VANTRY_REGISTRY=" + dir_.File("etc/registry.reg") + "\"\n"),
            std::string::npos);
  std::string settings = testing::ReadFileText(dir_.path() / "etc" / "registry.reg");
  EXPECT_NE(settings.find("\"MaxSocks\"=dword:000000ff"), std::string::npos);
  EXPECT_NE(settings.find("\"PathEXE\"=\"" + std::string(VANTRY_BIN_DIR) + "\""),
            std::string::npos);
  EXPECT_EQ(Run("-INSTALL", &out), 1);
  EXPECT_EQ(out, "Dask Vantry failed to install.  Service may already be installed.\n");

  ASSERT_EQ(Run("-uninstall", &out), 0) << out;
  EXPECT_EQ(out, "Dask Vantry uninstalled successfully\n");
  EXPECT_FALSE(std::filesystem::exists(unit_file));
  settings = testing::ReadFileText(dir_.path() / "etc" / "registry.reg");
  EXPECT_EQ(settings.find("Parameters"), std::string::npos) << settings;
  EXPECT_EQ(Run("-UnInstall", &out), 1);
  EXPECT_EQ(out, "Dask Vantry failed to uninstall.  Service may already be uninstalled.\n");
}

// Blanks would split the command and the setting, "%" would be expanded: the unit must name the
// very program and settings file.
TEST_F(Switches, InstallQuotesPathsWithBlanksAndSpecifiers) {
  const std::filesystem::path folder = dir_.path() / "Dask Vantry 100%$x";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(BuiltProgram("vantrysvc"), folder / "vantrysvc");
  std::string out;
  ASSERT_EQ(Run("-install", &out, "etc \"q\" 5%/registry.reg", "units", folder / "vantrysvc"), 0)
      << out;
  std::string unit = testing::ReadFileText(dir_.path() / "units" / "daskvantry.service");
  const std::string base = dir_.path().string();
  EXPECT_NE(unit.find("ExecStart=\"" + base + "/Dask Vantry 100%%$x/vantrysvc\"\n"),
            std::string::npos)
      << unit;
  EXPECT_NE(
      unit.find("Environment=\"VANTRY_REGISTRY=" + base + "/etc \\\"q\\\" 5%%/registry.reg\"\n"),
      std::string::npos)
      << unit;
  EXPECT_TRUE(std::filesystem::exists(dir_.File("etc \"q\" 5%/registry.reg")));

  // A line break in a path cannot be written into a unit: nothing is installed.
  EXPECT_EQ(Run("-install", &out, "two\nlines.reg", "units2"), 1);
  EXPECT_NE(out.find("control character"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "units2" / "daskvantry.service"));
}

TEST_F(Switches, FixRegCreatesEverythingEvenWithoutAnInstall) {
  std::string out;
  ASSERT_EQ(Run("-fixreg", &out), 0) << out;
  EXPECT_EQ(out,
            "Korvane Vantry Gateway Registry Keys have been fixed.  Please try to restart the Dask "
            "Vantry service\n");
  std::string settings = testing::ReadFileText(dir_.path() / "etc" / "registry.reg");
  EXPECT_EQ(testing::CountOccurrences(settings, "\r\n\""), 24);
  // A settings path that cannot be written is a failure, not a repair.
  std::filesystem::remove(dir_.path() / "etc" / "registry.reg");
  std::filesystem::create_directory(dir_.path() / "etc" / "registry.reg");
  EXPECT_EQ(Run("-fixreg", &out), 1);
  EXPECT_NE(out.find("Cannot write the settings file"), std::string::npos);
}

// Text that is no switch runs the gateway, as no switch does, but says so.
TEST_F(Switches, AnythingElseRunsTheGatewayAndSaysItIsNoSwitch) {
  std::filesystem::create_directories(dir_.path() / "etc");
  testing::WriteSettingsFile(dir_.File("etc/registry.reg"), dir_.path().string(),
                             {{"LocalPort", std::string("abc")}});
  ASSERT_TRUE(std::filesystem::exists(dir_.path() / "etc" / "registry.reg"));
  std::string out;
  EXPECT_EQ(Run("--install", &out), 1);  // the gateway ran and could not listen on "abc"
  EXPECT_NE(out.find("vantrysvc: \"--install\" is not a switch (see --help); running the gateway"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Cannot listen on port"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "units" / "daskvantry.service"));
}

}  // namespace
}  // namespace vantry
