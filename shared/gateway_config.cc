#include "gateway_config.h"

#include "mod_rbl_registry.h"

namespace vantry {
namespace {

constexpr int kString = static_cast<int>(RegType::kString);
constexpr int kNumber = static_cast<int>(RegType::kDword);

std::int16_t Flag(std::string_view name) { return RegValueInt16(GetRegValue(name)); }
bool NotZero(std::string_view name) { return RegValueInt32(GetRegValue(name)) != 0; }

}  // namespace

ConfigSettings ReadConfig(const SayFn& say, std::string_view program_folder) {
  say("Getting configuration from registry");
  ConfigSettings c;
  c.BLDNSDB = RegTextOr("BLDNSDB", "rbl.cfg");
  c.ExceptionsDB = RegTextOr("ExceptionsDB", "exlst.cfg");
  c.ManualDB = RegTextOr("ManualDB", "manbl.cfg");
  c.MaxSocks = RegValueInt32(GetRegValue("MaxSocks"));
  if (c.MaxSocks < 255) c.MaxSocks = 255;
  c.PathEXE = RegTextOr("PathEXE", program_folder);
  c.SMTPHost = RegTextOr("SMTPHost", "localhost");
  c.SMTPPort = RegTextOr("SMTPPort", "24");
  c.LocalPort = RegTextOr("LocalPort", "25");
  c.UseManual = Flag("UseManual");
  c.UseExceptions = Flag("UseExceptions");
  c.UseBlockMsg = Flag("UseBlockMsg");
  c.BlockMsg = RegValueText(GetRegValue("BlockMsg"));
  c.LogBL = Flag("LogBL");
  c.LogOK = Flag("LogOK");
  c.BlockAltIP = Flag("BlockAltIP");
  c.BlockNoHost = Flag("BlockNoHost");
  c.BlockT2 = NotZero("BlockT2");
  c.BlockT3 = NotZero("BlockT3");
  c.BlockT4 = NotZero("BlockT4");
  c.BlockT5 = NotZero("BlockT5");
  c.BlockT6 = NotZero("BlockT6");
  c.BlockT7 = NotZero("BlockT7");
  c.BlockT8 = NotZero("BlockT8");
  c.BlockT9 = NotZero("BlockT9");
  // Our own optional setting: unlike the others, missing means "not set".
  if (RegValueExists("DNSServers")) c.DNSServers = RegValueText(GetRegValue("DNSServers"));
  return c;
}

bool WriteDefaults(std::string_view program_folder, std::string* error) {
  const RegSetting defaults[] = {
      {"BLDNSDB", std::string("rbl.cfg"), kString},
      {"BlockMsg", std::string(kDefaultBlockMsg), kString},
      {"BlockT2", std::int64_t{1}, kNumber},
      {"BlockT3", std::int64_t{0}, kNumber},
      {"BlockT4", std::int64_t{0}, kNumber},
      {"BlockT5", std::int64_t{0}, kNumber},
      {"BlockT6", std::int64_t{0}, kNumber},
      {"BlockT7", std::int64_t{0}, kNumber},
      {"BlockT8", std::int64_t{0}, kNumber},
      {"BlockT9", std::int64_t{0}, kNumber},
      {"ExceptionsDB", std::string("exlst.cfg"), kString},
      {"LocalPort", std::string("25"), kString},
      {"LogBL", std::int64_t{1}, kNumber},
      {"LogOK", std::int64_t{1}, kNumber},
      {"ManualDB", std::string("manbl.cfg"), kString},
      {"MaxSocks", std::int64_t{255}, kNumber},
      {"PathEXE", std::string(program_folder), kString},
      {"SMTPHost", std::string("localhost"), kString},
      {"SMTPPort", std::string("24"), kString},
      {"UseBlockMsg", std::int64_t{1}, kNumber},
      {"UseExceptions", std::int64_t{1}, kNumber},
      {"UseManual", std::int64_t{1}, kNumber},
      {"BlockNoHost", std::int64_t{1}, kNumber},
      {"BlockAltIP", std::int64_t{1}, kNumber},
  };
  return SetRegValues(defaults, error);
}

}  // namespace vantry
