#include "service_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "gateway_fixture.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace vantry {
namespace {

using testing::BuiltProgram;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::RunCommand;

TEST(ParseCommandLine, WholeTextOrNothing) {
  EXPECT_EQ(ParseCommandLine("--help"), Switch::kHelp);
  for (const char* none : {"-install now", "-install ", "", "install"})
    EXPECT_EQ(ParseCommandLine(none), Switch::kNone) << none;
}

// Runs as root get an /etc of their own (a private mount over a copy, kept for the whole test), so
// the service account -install makes never reaches the machine; and the program sits in a folder of
// its own, the one -install hands to that account.
class Switches : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(bin_);
    std::error_code ec;
    std::filesystem::create_hard_link(BuiltProgram("vantrysvc"), bin_ / "vantrysvc", ec);
    if (ec) std::filesystem::copy_file(BuiltProgram("vantrysvc"), bin_ / "vantrysvc");
  }
  // Runs a program with the switch, with a settings file and unit folder in dir_.
  int Run(const std::string& sw, std::string* out, const std::string& registry = "etc/registry.reg",
          const std::string& units = "units", const std::string& program = "") {
    return RunCommand(Command({program.empty() ? (bin_ / "vantrysvc").string() : program, sw}),
                      Environment(registry, units), out);
  }
  std::vector<std::string> Command(std::vector<std::string> argv) const {
    if (geteuid() == 0) {
      argv.insert(argv.begin(), {"unshare", "-m", "sh", "-c",
                                 "[ -d \"$0\" ] || cp -a /etc \"$0\" || exit 99; "
                                 "mount --bind \"$0\" /etc || exit 99; exec \"$@\"",
                                 private_etc_.string()});
    }
    return argv;
  }
  std::vector<std::pair<std::string, std::string>> Environment(
      const std::string& registry = "etc/registry.reg", const std::string& units = "units") const {
    return {{"VANTRY_REGISTRY", dir_.File(registry)}, {"VANTRY_UNIT_DIR", dir_.File(units)}};
  }
  testing::TempDir dir_;
  const std::filesystem::path bin_ = dir_.path() / "bin";
  const std::filesystem::path private_etc_ = dir_.path() / "private-etc";
};

TEST_F(Switches, InstallAndUninstallEachRefuseTheSecondTime) {
  std::string out;
  ASSERT_EQ(Run("-install", &out), 0) << out;
  EXPECT_EQ(out, "Dask Vantry installed successfully\n");
  const std::string unit_file = dir_.File("units/daskvantry.service");
  std::string unit = testing::ReadFileText(unit_file);
  // The unit confines the service: its own account, only the folders it writes; systemd's own
  // score says how well.
  EXPECT_THAT(unit, HasSubstr("\nUser=vantry\n"));
  EXPECT_THAT(unit, HasSubstr("\nReadWritePaths=\"" + bin_.string() + "\" \"" + dir_.File("etc") +
                              "\" -/run/vantry\n"));
  // 127: systemd-analyze is missing (Debian package systemd), so no score.
  if (RunCommand({"systemd-analyze", "security", "--offline=true", unit_file}, {}, &out) != 127) {
    const std::string label = "Overall exposure level for daskvantry.service: ";
    const size_t at = out.find(label);
    ASSERT_NE(at, std::string::npos) << out;
    double exposure = 10;
    std::istringstream(out.substr(at + label.size())) >> exposure;
    EXPECT_LE(exposure, 2.0) << out;
  }
  std::string settings = testing::ReadFileText(dir_.path() / "etc" / "registry.reg");
  EXPECT_THAT(settings, HasSubstr("\"PathEXE\"=\"" + bin_.string() + "\""));
  EXPECT_EQ(Run("-INSTALL", &out), 1);
  EXPECT_EQ(out, "Dask Vantry failed to install.  Service may already be installed.\n");

  ASSERT_EQ(Run("-uninstall", &out), 0) << out;
  EXPECT_EQ(out, "Dask Vantry uninstalled successfully\n");
  EXPECT_FALSE(std::filesystem::exists(unit_file));
  settings = testing::ReadFileText(dir_.path() / "etc" / "registry.reg");
  EXPECT_THAT(settings, Not(HasSubstr("Parameters")));
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
  EXPECT_THAT(unit, HasSubstr("ExecStart=\"" + base + "/Dask Vantry 100%%$x/vantrysvc\"\n"));
  EXPECT_THAT(unit, HasSubstr("Environment=\"VANTRY_REGISTRY=" + base +
                              "/etc \\\"q\\\" 5%%/registry.reg\"\n"));
  EXPECT_TRUE(std::filesystem::exists(dir_.File("etc \"q\" 5%/registry.reg")));

  // A line break in a path cannot be written into a unit: nothing is installed.
  EXPECT_EQ(Run("-install", &out, "two\nlines.reg", "units2"), 1);
  EXPECT_THAT(out, HasSubstr("control character"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "units2" / "daskvantry.service"));
}

struct stat StatOf(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st;
}

// Started by hand as root, the gateway binds its port, then runs as the service
// account -install made if there is one, and its log is not for everyone to read.
TEST_F(Switches, TheGatewayStartedAsRootRunsAsTheServiceAccount) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give up root";
  std::filesystem::permissions(dir_.path(), std::filesystem::perms(0755));  // vantry reaches bin_
  const int port = testing::FreePort();
  auto start_gateway = [&](std::string_view said) {
    std::filesystem::create_directories(dir_.path() / "etc");
    auto settings = testing::RelayOnlyOptions(testing::FreePort()).settings;
    settings["LocalPort"] = std::to_string(port);
    testing::WriteSettingsFile(dir_.File("etc/registry.reg"), bin_.string(), settings);
    testing::WriteFileText(bin_ / "manbl.cfg", "127.0.0.1\n");
    auto gateway = std::make_unique<testing::ChildProcess>(testing::ChildProcess::Options{
        .argv = Command({(bin_ / "vantrysvc").string(), "-debug"}), .env = Environment()});
    for (int i = 0; i < 500 && gateway->Output().find(said) == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return gateway;
  };
  EXPECT_THAT(start_gateway("running as root")->Output(),
              HasSubstr("\nWarning: running as root: there is no user vantry to run as (vantrysvc "
                        "-install makes it)\n"));
  std::string out;
  ASSERT_EQ(Run("-install", &out), 0) << out;
  const struct stat folder = StatOf(bin_), settings = StatOf(dir_.File("etc/registry.reg"));
  // -install made a system account without login or home (in the private /etc) that owns the
  // folder and the lock, and whose group may read the settings.
  EXPECT_THAT(testing::ReadFileText(private_etc_ / "passwd"),
              HasSubstr("\nvantry:x:" + std::to_string(folder.st_uid) + ":" +
                        std::to_string(settings.st_gid) + "::/nonexistent:/usr/sbin/nologin\n"));
  EXPECT_GT(folder.st_uid, 0u);
  EXPECT_LT(folder.st_uid, 1000u);
  EXPECT_EQ(settings.st_uid, 0u);
  EXPECT_EQ(settings.st_mode & 07777, 0640u);
  EXPECT_EQ(StatOf(dir_.File("etc/registry.reg.run.lock")).st_uid, folder.st_uid);
  auto gateway = start_gateway("Running as user");
  const std::string uid = std::to_string(folder.st_uid);
  EXPECT_THAT(gateway->Output(), HasSubstr("\nRunning as user vantry (uid " + uid));
  std::string status = testing::ReadFileText("/proc/" + std::to_string(gateway->pid()) + "/status");
  EXPECT_THAT(status, HasSubstr("\nUid:\t" + uid + "\t" + uid + "\t" + uid + "\t" + uid + "\n"));
  EXPECT_THAT(status, ContainsRegex("\nGroups:[ \t]*\n"));
  EXPECT_THAT(status, HasSubstr("\nCapPrm:\t0000000000000000\n"));

  // It still serves, and the log it now creates is its own and private.
  testing::TcpClient client;
  ASSERT_TRUE(client.Connect(port));
  EXPECT_THAT(client.ReadToEnd(), HasSubstr("550"));
  for (int i = 0; i < 200 && !std::filesystem::exists(bin_ / "vantry.log"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const struct stat log = StatOf(bin_ / "vantry.log");
  EXPECT_EQ(log.st_uid, folder.st_uid);
  EXPECT_EQ(log.st_mode & 0777, 0640u);
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
  EXPECT_THAT(out, HasSubstr("Cannot write the settings file"));
}

// Text that is no switch runs the gateway, as no switch does, but says so.
TEST_F(Switches, AnythingElseRunsTheGatewayAndSaysItIsNoSwitch) {
  std::filesystem::create_directories(dir_.path() / "etc");
  testing::WriteSettingsFile(dir_.File("etc/registry.reg"), dir_.path().string(),
                             {{"LocalPort", std::string("abc")}});
  std::string out;
  EXPECT_EQ(Run("--install", &out), 1);  // the gateway ran and could not listen on "abc"
  EXPECT_THAT(
      out, HasSubstr("vantrysvc: \"--install\" is not a switch (see --help); running the gateway"));
  EXPECT_THAT(out, HasSubstr("Cannot listen on port"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "units" / "daskvantry.service"));
}

}  // namespace
}  // namespace vantry
