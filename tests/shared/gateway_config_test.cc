#include "gateway_config.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "mod_rbl_registry.h"
#include "temp_dir.h"

namespace vantry {
namespace {

class GatewayConfig : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("registry.reg");
    setenv("VANTRY_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override { unsetenv("VANTRY_REGISTRY"); }
  ConfigSettings Read() {
    return ReadConfig([this](std::string_view line) { trace_ += std::string(line) + "\n"; },
                      "/opt/vantry");
  }
  testing::TempDir dir_;
  std::string path_;
  std::string trace_;
};

TEST_F(GatewayConfig, FreshDefaultsReadBackExactly) {
  ASSERT_TRUE(WriteDefaults("/opt/vantry"));
  ConfigSettings c = Read();
  EXPECT_EQ(trace_, "Getting configuration from registry\n");
  EXPECT_EQ(c.BLDNSDB, "rbl.cfg");
  EXPECT_EQ(c.ExceptionsDB, "exlst.cfg");
  EXPECT_EQ(c.ManualDB, "manbl.cfg");
  EXPECT_EQ(c.PathEXE, "/opt/vantry");
  EXPECT_EQ(c.SMTPHost, "localhost");
  EXPECT_EQ(c.SMTPPort, "24");
  EXPECT_EQ(c.LocalPort, "25");
  EXPECT_EQ(c.BlockMsg, std::string(kDefaultBlockMsg));
  EXPECT_EQ(c.BlockMsg.substr(0, 16), "Access Denied.  ");
  EXPECT_NE(c.BlockMsg.find("/dnsbl"), std::string::npos);
  EXPECT_EQ(c.MaxSocks, 255);
  EXPECT_TRUE(c.BlockT2);
  EXPECT_FALSE(c.BlockT3 || c.BlockT4 || c.BlockT5 || c.BlockT6 || c.BlockT7 || c.BlockT8 ||
               c.BlockT9);
  EXPECT_EQ(c.LogBL, 1);
  EXPECT_EQ(c.LogOK, 1);
  EXPECT_EQ(c.UseBlockMsg, 1);
  EXPECT_EQ(c.UseExceptions, 1);
  EXPECT_EQ(c.UseManual, 1);
  EXPECT_EQ(c.BlockNoHost, 1);
  EXPECT_EQ(c.BlockAltIP, 1);
  EXPECT_EQ(c.DNSServers, "");
  // SMTPPort is created as text by the install, as the console expects.
  EXPECT_EQ(GetRegValue("SMTPPort"), RegValue(std::string("24")));
}

TEST_F(GatewayConfig, NoSettingsAtAllReadsEveryValueAsOne) {
  ConfigSettings c = Read();
  EXPECT_EQ(c.BLDNSDB, "1");
  EXPECT_EQ(c.LocalPort, "1");
  EXPECT_EQ(c.BlockMsg, "1");
  EXPECT_EQ(c.MaxSocks, 255);
  EXPECT_TRUE(c.BlockT9);
  EXPECT_EQ(c.LogOK, 1);
  EXPECT_EQ(c.DNSServers, "");
}

TEST_F(GatewayConfig, EmptyTextsFallBackAndSmallSlotCountsAreRaised) {
  ASSERT_TRUE(WriteDefaults("/opt/vantry"));
  for (const char* name : {"BLDNSDB", "ExceptionsDB", "ManualDB", "PathEXE", "SMTPHost",
                           "SMTPPort", "LocalPort", "BlockMsg"}) {
    ASSERT_TRUE(SetRegValue(name, std::string(), 1));
  }
  ASSERT_TRUE(SetRegValue("MaxSocks", std::int64_t{100}, 4));
  ConfigSettings c = Read();
  EXPECT_EQ(c.BLDNSDB, "rbl.cfg");
  EXPECT_EQ(c.PathEXE, "/opt/vantry");
  EXPECT_EQ(c.SMTPPort, "24");
  EXPECT_EQ(c.LocalPort, "25");
  EXPECT_EQ(c.BlockMsg, "");  // no fallback: the refusal line is then "550 " alone
  EXPECT_EQ(c.MaxSocks, 255);
  ASSERT_TRUE(SetRegValue("MaxSocks", std::int64_t{0}, 4));
  EXPECT_EQ(Read().MaxSocks, 255);
  ASSERT_TRUE(SetRegValue("MaxSocks", std::int64_t{1000}, 4));
  EXPECT_EQ(Read().MaxSocks, 1000);
}

TEST_F(GatewayConfig, HandEditedFlagsKeepTheirSignForTheTwoTests) {
  ASSERT_TRUE(WriteDefaults("/opt/vantry"));
  ASSERT_TRUE(SetRegValue("LogOK", std::int64_t{-1}, 4));
  ASSERT_TRUE(SetRegValue("LogBL", std::int64_t{-1}, 4));
  ASSERT_TRUE(SetRegValue("BlockT5", std::int64_t{2}, 4));
  ASSERT_TRUE(SetRegValue("BlockT2", std::int64_t{0}, 4));
  ASSERT_TRUE(SetRegValue("DNSServers", std::string("127.0.0.1:5353"), 1));
  ConfigSettings c = Read();
  EXPECT_EQ(c.LogOK, -1);
  EXPECT_EQ(c.LogBL, -1);
  EXPECT_TRUE(c.BlockT5);
  EXPECT_FALSE(c.BlockT2);
  EXPECT_TRUE(c.BlocksType(5));
  EXPECT_FALSE(c.BlocksType(10));
  EXPECT_EQ(c.DNSServers, "127.0.0.1:5353");
}

}  // namespace
}  // namespace vantry
