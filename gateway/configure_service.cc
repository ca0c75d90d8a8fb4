#include "configure_service.h"

#include <sys/resource.h>

#include <algorithm>
#include <string>

#include "gateway_config.h"
#include "mod_slot_out.h"

namespace vantry {
namespace {

// Descriptors kept back for the listener, the resolver, the log file, the
// monitor channel and the standard streams.
constexpr rlim_t kReservedDescriptors = 128;
// A slot record and its result record cost a few hundred bytes; beyond this
// the table alone would take tens of megabytes for connections no single
// host serves at once. The console sizes its table by the same bound.
constexpr std::int32_t kMaxSlotIndex = kMaxSlotCount - 1;

}  // namespace

bool ConfigureService(Trace& trace, std::string_view program_folder, ConfigSettings& settings,
                      HostLists& lists) {
  auto say = [&trace](std::string_view text) { trace.Say(text); };
  trace.Say("Configuring Vantry");
  settings = ReadConfig(say, program_folder);
  // Guessing at a header the mail server may not expect would break every
  // session, or open it to every client: refuse to start instead.
  if (settings.ProxyOut < 0 || settings.ProxyOut > 2) {
    trace.Say("ProxyOut must be 0, 1 or 2, not " + std::to_string(settings.ProxyOut));
    return false;
  }
  trace.Say("Retrieving DNSDB");
  LoadRBLHosts(settings, lists, say);
  trace.Say("Retrieving Exceptions");
  LoadExceptions(settings, lists, say);
  trace.Say("Retrieving Manual Entries");
  LoadManualBlocks(settings, lists, say);
  trace.Say(std::to_string(lists.RBLHostCount()) + " BLDNS Hosts Loaded.");
  trace.Say("Remote Mail Gateway: " + settings.SMTPHost + ":" + settings.SMTPPort);
  if (settings.LogBL != 0) trace.Say("Logging all blacklisted connections.");
  if (settings.LogOK > 0) trace.Say("Logging all approved connections.");
  if (settings.UseBlockMsg != 0) trace.Say("Using block message.");
  if (settings.UseExceptions > 0) {
    trace.Say("Using exceptions: " + std::to_string(lists.ExceptionCount()));
  }
  if (settings.UseManual > 0) {
    trace.Say("Using manual blocks: " + std::to_string(lists.ManualCount()));
  }
  trace.Say("Control path: " + settings.PathEXE);
  trace.Say("BLDNSDB: " + settings.BLDNSDB);
  trace.Say("Exceptions DB: " + settings.ExceptionsDB);
  trace.Say("Manual DB: " + settings.ManualDB);
  std::string types = "Blocking types: ";
  for (int type = 2; type <= 8; ++type) {
    if (settings.BlocksType(type)) types += std::to_string(type) + ", ";
  }
  if (settings.BlockT9) types += "9";
  trace.Say(types);
  return true;
}

void FitSlotsToLimits(Trace& trace, ConfigSettings& settings) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  rlim_t wanted = 2 * (static_cast<rlim_t>(std::min(settings.MaxSocks, kMaxSlotIndex)) + 1) +
                  kReservedDescriptors;
  if (limit.rlim_cur < wanted) {
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  std::int32_t fitting = settings.MaxSocks;
  std::string reason;
  if (fitting > kMaxSlotIndex) {
    fitting = kMaxSlotIndex;
    reason = "the gateway serves at most " + std::to_string(kMaxSlotIndex + 1) + " slots";
  }
  rlim_t slots_by_files =
      limit.rlim_cur > kReservedDescriptors + 2 ? (limit.rlim_cur - kReservedDescriptors) / 2 : 1;
  if (static_cast<rlim_t>(fitting) + 1 > slots_by_files) {
    fitting = static_cast<std::int32_t>(slots_by_files) - 1;
    reason = "the open-file limit is " + std::to_string(limit.rlim_cur) +
             " (raise LimitNOFILE / ulimit -n to serve more)";
  }
  if (fitting != settings.MaxSocks) {
    trace.Say("MaxSocks " + std::to_string(settings.MaxSocks) + " lowered to " +
              std::to_string(fitting) + ": " + reason);
    settings.MaxSocks = fitting;
  }
}

}  // namespace vantry
