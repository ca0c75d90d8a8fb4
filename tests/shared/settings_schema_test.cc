#include "settings_schema.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "gateway_config.h"
#include "temp_dir.h"

namespace vantry {
namespace {

class SettingsSchemaTest : public ::testing::Test {
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

// Installed gateways and the console read this file: its bytes must not move.
TEST_F(SettingsSchemaTest, DefaultsAreWrittenInTheirOrderAndTypesAndReadBack) {
  ASSERT_TRUE(WriteDefaults("/opt/vantry"));
  std::string expected =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DaskVantry]"
      "\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DaskVantry\\Parameters]\r\n"
      "\"BLDNSDB\"=\"rbl.cfg\"\r\n"
      "\"BlockMsg\"=\"Access Denied.  http://www.vantry.example/dnsbl\"\r\n"
      "\"BlockT2\"=dword:00000001\r\n";
  for (int type = 3; type <= 9; ++type) {
    expected += "\"BlockT" + std::to_string(type) + "\"=dword:00000000\r\n";
  }
  expected +=
      "\"ExceptionsDB\"=\"exlst.cfg\"\r\n\"LocalPort\"=\"25\"\r\n\"LogBL\"=dword:00000001\r\n"
      "\"LogOK\"=dword:00000001\r\n\"ManualDB\"=\"manbl.cfg\"\r\n\"MaxSocks\"=dword:000000ff\r\n"
      "\"PathEXE\"=\"/opt/vantry\"\r\n\"SMTPHost\"=\"localhost\"\r\n\"SMTPPort\"=\"24\"\r\n"
      "\"UseBlockMsg\"=dword:00000001\r\n\"UseExceptions\"=dword:00000001\r\n"
      "\"UseManual\"=dword:00000001\r\n\"BlockNoHost\"=dword:00000001\r\n"
      "\"BlockAltIP\"=dword:00000001\r\n\r\n";
  EXPECT_EQ(testing::ReadFileText(path_), expected);

  const ConfigSettings c = Read();
  EXPECT_EQ(trace_, "Getting configuration from registry\n");
  EXPECT_EQ(c.BlockMsg, std::string(kDefaultBlockMsg));
  EXPECT_EQ(c.MaxSocks, 255);
  EXPECT_EQ(c.DNSServers, "");
  EXPECT_EQ(c.MaxPerIP, 20);  // added values are not written, and read as their default
  EXPECT_EQ(c.IdleTimeout, 600);
}

// What each program reads for a value that is missing, or stored as empty text.
TEST_F(SettingsSchemaTest, MissingAndEmptyValuesReadAsEachProgramExpects) {
  struct Case {
    const char* name;
    SettingsReader reader;
    const char* missing;
    const char* empty;
  };
  const Case cases[] = {
      // The original values read as "1" when missing; fallbacks are for empty text.
      {"BLDNSDB", SettingsReader::kGateway, "1", "rbl.cfg"},
      {"SMTPPort", SettingsReader::kConsole, "1", "24"},
      {"PathEXE", SettingsReader::kGateway, "1", "/prog"},
      // The console's list files must not land in a folder named "1".
      {"PathEXE", SettingsReader::kConsole, "/prog", "/prog"},
      {"BlockMsg", SettingsReader::kGateway, "1", ""},
      {"BlockMsg", SettingsReader::kConsole, "1", "Access Denied. http://www.vantry.example/dnsbl"},
      // Added values take their declared default, never 1.
      {"DNSServers", SettingsReader::kGateway, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) +
                 (c.reader == SettingsReader::kGateway ? " gateway" : " console"));
    EXPECT_EQ(SettingsSnapshot({}, c.reader, "/prog").Text(c.name), c.missing);
    RegistryDocument empty;
    empty.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DaskVantry");
    empty.AddKey(std::string(kRegRoot) + std::string(kParametersPath));
    empty.FindKey(std::string(kRegRoot) + std::string(kParametersPath))
        ->values.push_back(RegEntry{c.name, std::string()});
    EXPECT_EQ(SettingsSnapshot(empty, c.reader, "/prog").Text(c.name), c.empty);
  }
  EXPECT_EQ(SettingsSnapshot({}, SettingsReader::kGateway, "/prog").Int16("LogOK"), 1);
}

TEST_F(SettingsSchemaTest, GatewayRaisesSmallSlotCountsAndKeepsFlagSigns) {
  ASSERT_TRUE(WriteDefaults("/opt/vantry"));
  ASSERT_TRUE(SetRegValue("MaxSocks", std::int64_t{100}, 4));
  ASSERT_TRUE(SetRegValue("LogOK", std::int64_t{-1}, 4));
  ASSERT_TRUE(SetRegValue("BlockT5", std::int64_t{2}, 4));
  ASSERT_TRUE(SetRegValue("BlockT2", std::int64_t{0}, 4));
  ASSERT_TRUE(SetRegValue("DNSServers", std::string("127.0.0.1:5353"), 1));
  ASSERT_TRUE(SetRegValue("MaxPerIP", std::int64_t{-1}, 4));
  ASSERT_TRUE(SetRegValue("IdleTimeout", std::int64_t{30}, 4));
  ConfigSettings c = Read();
  EXPECT_EQ(c.MaxSocks, 255);
  EXPECT_EQ(c.LogOK, -1);
  EXPECT_TRUE(c.BlocksType(5));
  EXPECT_FALSE(c.BlocksType(2));
  EXPECT_FALSE(c.BlocksType(10));
  EXPECT_EQ(c.DNSServers, "127.0.0.1:5353");
  EXPECT_EQ(c.MaxPerIP, 0);
  EXPECT_EQ(c.IdleTimeout, 30);
  ASSERT_TRUE(SetRegValue("MaxSocks", std::int64_t{1000}, 4));
  EXPECT_EQ(Read().MaxSocks, 1000);
}

TEST_F(SettingsSchemaTest, ASnapshotKeepsTheValuesOfItsOneRead) {
  ASSERT_TRUE(SetRegValue("SMTPHost", std::string("mail.a.test"), 1));
  const SettingsSnapshot s = SettingsSnapshot::Load(SettingsReader::kGateway, "/prog");
  ASSERT_TRUE(SetRegValue("SMTPHost", std::string("mail.b.test"), 1));
  EXPECT_EQ(s.Text("SMTPHost"), "mail.a.test");
}

TEST(SettingCorrection, EditorRulesAcceptOnlyWhatTheGatewayCanUse) {
  struct Case {
    const char* name;
    const char* text;
    double number;
    bool accepted;
  };
  const Case cases[] = {
      {"LocalPort", "1", 1, true},        {"LocalPort", "65535", 65535, true},
      {"LocalPort", "0", 0, false},       {"LocalPort", "65536", 65536, false},
      {"LocalPort", "", 0, false},        {"MaxSocks", "99", 99, false},
      {"MaxSocks", "5000", 5000, true},   {"SMTPPort", "x", 0, false},
      {"SMTPPort", "70000", 70000, true}, {"SMTPHost", "mx", 0, true},
      {"SMTPHost", "", 0, false},
  };
  for (const Case& c : cases) {
    const SettingSpec* spec = FindSetting(c.name);
    ASSERT_TRUE(spec != nullptr && spec->correction) << c.name;
    EXPECT_EQ(spec->correction->Accept(c.text, c.number), c.accepted) << c.name << " " << c.text;
  }
  EXPECT_EQ(FindSetting("LogOK")->correction, std::nullopt);
}

}  // namespace
}  // namespace vantry
