#include "settings_schema.h"

#include <algorithm>
#include <array>
#include <limits>

#include "leading_number.h"
#include "registry_store.h"

namespace vantry {
namespace {

using Source = SettingSource;
using Accepts = SettingCorrection::Accepts;

// The original values read as the number 1 when missing (so a missing flag is
// on) and take their fallback only when their text is empty.
constexpr SettingReadRule kOneElseDefault{Source::kNumberOne, Source::kDefault};
constexpr SettingReadRule kOneAsStored{Source::kNumberOne, Source::kAsStored};

// Builds one row of the table, a column at a time.
class Row {
 public:
  constexpr Row(std::string_view name, RegType type, std::string_view default_value) {
    spec_.name = name;
    spec_.type = type;
    spec_.default_value = default_value;
  }
  constexpr Row Gateway(SettingReadRule rule) const { return With(&SettingSpec::gateway, rule); }
  constexpr Row Console(SettingReadRule rule) const { return With(&SettingSpec::console, rule); }
  constexpr Row Both(SettingReadRule rule) const { return Gateway(rule).Console(rule); }
  constexpr Row ConsoleSaves(int rank) const { return With(&SettingSpec::console_save_rank, rank); }
  constexpr Row ConsoleCreatesAs(RegType type) const {
    return With(&SettingSpec::console_creates_as, type);
  }
  constexpr Row Corrected(SettingCorrection correction) const {
    return With(&SettingSpec::correction, correction);
  }
  constexpr Row NotWrittenByFixreg() const { return With(&SettingSpec::written_by_fixreg, false); }
  constexpr Row Advanced() const { return With(&SettingSpec::console_advanced, true); }
  constexpr operator SettingSpec() const { return spec_; }

 private:
  template <typename Member, typename Value>
  constexpr Row With(Member SettingSpec::*member, Value value) const {
    Row row = *this;
    row.spec_.*member = value;
    return row;
  }
  SettingSpec spec_;
};

constexpr Row Text(std::string_view name, std::string_view default_value) {
  return Row(name, RegType::kString, default_value);
}
constexpr Row Flag(std::string_view name, std::string_view default_value, int save_rank) {
  return Row(name, RegType::kDword, default_value).Both(kOneAsStored).ConsoleSaves(save_rank);
}
// A setting of the Advanced tab, read as its default when missing and never written by -fixreg.
constexpr Row AdvancedText(std::string_view name) {
  return Text(name, "").NotWrittenByFixreg().Advanced();
}
constexpr Row AdvancedNumber(std::string_view name, std::string_view default_value) {
  return Row(name, RegType::kDword, default_value)
      .NotWrittenByFixreg()
      .Advanced()
      .Gateway({Source::kDefault});
}
constexpr Row ListFileName(std::string_view name, std::string_view file, int save_rank) {
  return Text(name, file).Both(kOneElseDefault).ConsoleSaves(save_rank);
}

const std::array<SettingSpec, 35> kSchema = {
    ListFileName("BLDNSDB", "rbl.cfg", 9),
    Text("BlockMsg", kDefaultBlockMsg)
        .Gateway(kOneAsStored)
        .Console({Source::kNumberOne, Source::kFallbackText,
                  "Access Denied. http://www.vantry.example/dnsbl"})
        .ConsoleSaves(10),
    Flag("BlockT2", "1", 15),
    Flag("BlockT3", "0", 16),
    Flag("BlockT4", "0", 17),
    Flag("BlockT5", "0", 18),
    Flag("BlockT6", "0", 19),
    Flag("BlockT7", "0", 20),
    Flag("BlockT8", "0", 21),
    Flag("BlockT9", "0", 22),
    ListFileName("ExceptionsDB", "exlst.cfg", 11),
    Text("LocalPort", "25")
        .Both(kOneElseDefault)
        .ConsoleSaves(2)
        .Corrected({Accepts::kNumberInRange, 1, 65535, "25",
                    "Gateway Incoming Port must have a port value between 1 and 65535.  "
                    "Default set to 25."}),
    Flag("LogBL", "1", 3),
    Flag("LogOK", "1", 4),
    ListFileName("ManualDB", "manbl.cfg", 12),
    Row("MaxSocks", RegType::kDword, "255")
        .Both(kOneAsStored)
        .ConsoleSaves(1)
        .Corrected({Accepts::kNumberInRange, 100, 5000, "255",
                    "Number of sockets must be between 100 and 5000.   Default of 255 has "
                    "been set."}),
    // The gateway reads a missing PathEXE as the text "1", like every original
    // value; the console would send its list files to a folder "1".
    Text("PathEXE", "")
        .Gateway({Source::kNumberOne, Source::kProgramFolder})
        .Console({Source::kProgramFolder, Source::kProgramFolder})
        .ConsoleSaves(8),
    Text("SMTPHost", "localhost")
        .Both(kOneElseDefault)
        .ConsoleSaves(13)
        .Corrected({Accepts::kAnyText, 0, 0, "localhost",
                    "No SMTP redirect host listed.  Default set to localhost."}),
    // Text data under the number type: the type only counts for a new value.
    Text("SMTPPort", "24")
        .Both(kOneElseDefault)
        .ConsoleSaves(14)
        .ConsoleCreatesAs(RegType::kDword)
        .Corrected({Accepts::kNonZeroNumber, 0, 0, "24",
                    "No SMTP redirect port listed.  Default set to 24."}),
    Flag("UseBlockMsg", "1", 5),
    Flag("UseExceptions", "1", 6),
    Flag("UseManual", "1", 7),
    Flag("BlockNoHost", "1", 23),
    Flag("BlockAltIP", "1", 24),
    // Added settings: a missing value takes its declared default, never 1.
    AdvancedText("DNSServers").Gateway({Source::kDefault, Source::kAsStored}),
    // The most slots one client address may hold at once; 0: no limit.
    AdvancedNumber("MaxPerIP", "20"),
    // Seconds a relayed connection may pass no byte either way; 0: no limit.
    AdvancedNumber("IdleTimeout", "600"),
    // 0: relay bytes only; 1 or 2: a PROXY protocol header of that version first.
    AdvancedNumber("ProxyOut", "0"),
    // Trusted load balancers, "addr[/bits],...": their connections start with a PROXY header.
    AdvancedText("ProxyFrom").Gateway({Source::kDefault, Source::kAsStored}),
    // One literal address to listen on; empty: every address, IPv4 and IPv6.
    AdvancedText("ListenAddress").Gateway({Source::kDefault, Source::kAsStored}),
    // Entries of the DNS answer cache; 0: no cache.
    AdvancedNumber("DNSCacheSize", "100000"),
    // Minutes between zone health probes; 0: none.
    AdvancedNumber("ZoneCheck", "10"),
    // "host:port" of the metrics endpoint; empty: off.
    AdvancedText("MetricsListen").Gateway({Source::kDefault, Source::kAsStored}),
    // The reports' database: empty for report.dpr in PathEXE, else a PostgreSQL URI.
    AdvancedText("ReportDB").Console({Source::kDefault, Source::kAsStored}),
    // The server part of the monitor channel's name: the console reads it, nobody writes it.
    Text("Gateway", "").NotWrittenByFixreg().Console(kOneAsStored),
};

}  // namespace

bool SettingCorrection::Accept(std::string_view trimmed, double number) const {
  if (trimmed.empty()) return false;
  switch (accepts) {
    case Accepts::kAnyText:
      return true;
    case Accepts::kNonZeroNumber:
      return number != 0;
    case Accepts::kNumberInRange:
      return number >= min && number <= max;
  }
  return false;
}

std::span<const SettingSpec> SettingsSchema() { return kSchema; }

const SettingSpec* FindSetting(std::string_view name) {
  for (const SettingSpec& spec : kSchema) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

std::vector<const SettingSpec*> ConsoleSavedSettings() {
  std::vector<const SettingSpec*> saved;
  for (const SettingSpec& spec : kSchema) {
    if (spec.console_save_rank > 0) saved.push_back(&spec);
  }
  std::sort(saved.begin(), saved.end(), [](const SettingSpec* a, const SettingSpec* b) {
    return a->console_save_rank < b->console_save_rank;
  });
  return saved;
}

SettingsSnapshot SettingsSnapshot::Load(SettingsReader reader, std::string_view program_folder) {
  return SettingsSnapshot(LoadRegistry(), reader, program_folder);
}

SettingsSnapshot::SettingsSnapshot(RegistryDocument document, SettingsReader reader,
                                   std::string_view program_folder)
    : document_(std::move(document)), reader_(reader), program_folder_(program_folder) {}

const SettingReadRule* SettingsSnapshot::Rule(std::string_view name) const {
  const SettingSpec* spec = FindSetting(name);
  if (spec == nullptr) return nullptr;
  const auto& rule = reader_ == SettingsReader::kGateway ? spec->gateway : spec->console;
  return rule ? &*rule : nullptr;
}

RegValue SettingsSnapshot::Missing(const SettingReadRule& rule, std::string_view name) const {
  switch (rule.when_missing) {
    case Source::kDefault: {
      const SettingSpec* spec = FindSetting(name);
      if (spec->type == RegType::kDword) return LeadingNumber(spec->default_value);
      return std::string(spec->default_value);
    }
    case Source::kProgramFolder:
      return program_folder_;
    case Source::kFallbackText:
      return std::string(rule.fallback_text);
    case Source::kNumberOne:
    case Source::kAsStored:
      break;
  }
  return std::int64_t{1};
}

std::string SettingsSnapshot::Text(std::string_view name) const {
  const SettingReadRule* rule = Rule(name);
  if (rule == nullptr) return RegValueText(Raw(name));
  std::string text = RegValueText(Has(name) ? Raw(name) : Missing(*rule, name));
  if (!text.empty()) return text;
  switch (rule->when_empty) {
    case Source::kDefault:
      return std::string(FindSetting(name)->default_value);
    case Source::kProgramFolder:
      return program_folder_;
    case Source::kFallbackText:
      return std::string(rule->fallback_text);
    case Source::kNumberOne:
      return "1";
    case Source::kAsStored:
      break;
  }
  return text;
}

std::int32_t SettingsSnapshot::Int32(std::string_view name) const {
  const SettingReadRule* rule = Rule(name);
  if (rule == nullptr || Has(name)) return RegValueInt32(Raw(name));
  return RegValueInt32(Missing(*rule, name));
}

std::int16_t SettingsSnapshot::Int16(std::string_view name) const {
  return static_cast<std::int16_t>(
      std::clamp<std::int32_t>(Int32(name), std::numeric_limits<std::int16_t>::min(),
                               std::numeric_limits<std::int16_t>::max()));
}

}  // namespace vantry
