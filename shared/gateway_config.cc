#include "gateway_config.h"

#include <algorithm>

#include "leading_number.h"
#include "mod_rbl_registry.h"

namespace vantry {

ConfigSettings ReadConfig(const SayFn& say, std::string_view program_folder) {
  say("Getting configuration from registry");
  const SettingsSnapshot s = SettingsSnapshot::Load(SettingsReader::kGateway, program_folder);
  ConfigSettings c;
  c.BLDNSDB = s.Text("BLDNSDB");
  c.ExceptionsDB = s.Text("ExceptionsDB");
  c.ManualDB = s.Text("ManualDB");
  c.MaxSocks = std::max(s.Int32("MaxSocks"), std::int32_t{255});
  c.PathEXE = s.Text("PathEXE");
  c.SMTPHost = s.Text("SMTPHost");
  c.SMTPPort = s.Text("SMTPPort");
  c.LocalPort = s.Text("LocalPort");
  c.UseManual = s.Int16("UseManual");
  c.UseExceptions = s.Int16("UseExceptions");
  c.UseBlockMsg = s.Int16("UseBlockMsg");
  c.BlockMsg = s.Text("BlockMsg");
  c.LogBL = s.Int16("LogBL");
  c.LogOK = s.Int16("LogOK");
  c.BlockAltIP = s.Int16("BlockAltIP");
  c.BlockNoHost = s.Int16("BlockNoHost");
  c.BlockT2 = s.Int32("BlockT2") != 0;
  c.BlockT3 = s.Int32("BlockT3") != 0;
  c.BlockT4 = s.Int32("BlockT4") != 0;
  c.BlockT5 = s.Int32("BlockT5") != 0;
  c.BlockT6 = s.Int32("BlockT6") != 0;
  c.BlockT7 = s.Int32("BlockT7") != 0;
  c.BlockT8 = s.Int32("BlockT8") != 0;
  c.BlockT9 = s.Int32("BlockT9") != 0;
  c.DNSServers = s.Text("DNSServers");
  // A hand-edited negative limit means no limit, like 0.
  c.MaxPerIP = std::max(s.Int32("MaxPerIP"), std::int32_t{0});
  c.IdleTimeout = std::max(s.Int32("IdleTimeout"), std::int32_t{0});
  c.ProxyOut = s.Int32("ProxyOut");
  c.ProxyFrom = s.Text("ProxyFrom");
  c.ListenAddress = s.Text("ListenAddress");
  c.DNSCacheSize = std::max(s.Int32("DNSCacheSize"), std::int32_t{0});
  c.ZoneCheck = std::max(s.Int32("ZoneCheck"), std::int32_t{0});
  c.MetricsListen = s.Text("MetricsListen");
  return c;
}

bool WriteDefaults(std::string_view program_folder, std::string* error) {
  std::vector<RegSetting> defaults;
  for (const SettingSpec& spec : SettingsSchema()) {
    if (!spec.written_by_fixreg) continue;
    RegValue value = spec.name == "PathEXE"         ? std::string(program_folder)
                     : spec.type == RegType::kDword ? RegValue(LeadingNumber(spec.default_value))
                                                    : RegValue(std::string(spec.default_value));
    defaults.push_back({spec.name, std::move(value), static_cast<int>(spec.type)});
  }
  return SetRegValues(defaults, error);
}

}  // namespace vantry
