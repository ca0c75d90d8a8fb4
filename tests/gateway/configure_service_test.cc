#include "configure_service.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "gateway_fixture.h"
#include "trace_capture.h"

namespace vantry {
namespace {

using testing::TempDir;

class ConfigureServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("VANTRY_REGISTRY", dir_.File("registry.reg").c_str(), 1); }
  void TearDown() override { unsetenv("VANTRY_REGISTRY"); }
  std::string Run(const std::map<std::string, testing::SettingValue>& overrides) {
    testing::WriteSettingsFile(dir_.File("registry.reg"), dir_.path().string(), overrides);
    ConfigureService(capture_.trace(), "/unused", settings_, lists_);
    return capture_.Text();
  }
  TempDir dir_;
  testing::TraceCapture capture_;
  ConfigSettings settings_;
  HostLists lists_;
};

// Each list has its own rule; the folder is joined as written, so a trailing slash doubles.
TEST_F(ConfigureServiceTest, TracesTheConfigurationInOrder) {
  testing::WriteFileText(dir_.path() / "rbl.cfg", "bl1.test\r\n  bl2.test  remark\r\n\r\n");
  testing::WriteFileText(dir_.path() / "exlst.cfg", "10.0.0.1 office\r\n  10.0.0.2\r\n");
  testing::WriteFileText(dir_.path() / "manbl.cfg", "10.0.0.2\n10.0.0.2\n10.0.0.3");
  const std::string folder = dir_.path().string() + "/";
  // clang-format off
  EXPECT_EQ(Run({{"SMTPHost", std::string("mail.test")}, {"SMTPPort", std::string("2424")},
                 {"PathEXE", folder}}),
      "Configuring Vantry\n"
      "Getting configuration from registry\n"
      "Retrieving DNSDB\n"
      "Loading RBL Host list from " + folder + "/rbl.cfg\n"
      "Retrieving Exceptions\n"
      "Loading Exceptions list from " + folder + "/exlst.cfg\n"
      "Retrieving Manual Entries\n"
      "Loading Manual list from " + folder + "/manbl.cfg\n"
      "2 BLDNS Hosts Loaded.\n"
      "Remote Mail Gateway: mail.test:2424\n"
      "Logging all blacklisted connections.\n"
      "Logging all approved connections.\n"
      "Using block message.\n"
      "Using exceptions: 2\n"
      "Using manual blocks: 3\n"
      "Control path: " + folder + "\n"
      "BLDNSDB: rbl.cfg\n"
      "Exceptions DB: exlst.cfg\n"
      "Manual DB: manbl.cfg\n"
      "Blocking types: 2, \n");
  // clang-format on
  EXPECT_EQ(lists_.RBLHosts, (std::vector<std::string>{"bl1.test", "bl2.test"}));
  EXPECT_EQ(lists_.Exceptions, (std::vector<std::string>{"10.0.0.1", ""}));
  EXPECT_EQ(lists_.ManualBlocks, (std::vector<std::string>{"10.0.0.2", "10.0.0.2", "10.0.0.3"}));
}

// A header the mail server does not expect would break or open every session.
TEST_F(ConfigureServiceTest, RefusesAProxyOutOtherThanZeroOneOrTwo) {
  for (long long value : {3LL, -1LL, 2LL}) {
    testing::TraceCapture capture;
    testing::WriteSettingsFile(dir_.File("registry.reg"), dir_.path().string(),
                               {{"ProxyOut", value}});
    EXPECT_EQ(ConfigureService(capture.trace(), "/unused", settings_, lists_), value == 2);
    if (value != 2) {
      EXPECT_EQ(capture.Text(),
                "Configuring Vantry\nGetting configuration from registry\n"
                "ProxyOut must be 0, 1 or 2, not " +
                    std::to_string(value) + "\n");
    }
  }
}

}  // namespace
}  // namespace vantry
