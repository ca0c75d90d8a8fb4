#include "zones_command.h"

#include <unistd.h>

#include <algorithm>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "configure_service.h"
#include "frm_svc.h"
#include "resolver.h"
#include "trace.h"
#include "zone_health.h"

namespace vantry {

bool IsZonesSwitch(std::string_view arguments) {
  std::string lower(arguments);
  std::ranges::transform(lower, lower.begin(),
                         [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower == "-zones";
}

int ProbeZonesOnce(std::string_view program_folder) {
  ConfigSettings settings;
  HostLists lists;
  {
    // The start-up trace of the configuration is no part of the table: it is shown only
    // when the settings cannot be used.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> kept(std::tmpfile(), &std::fclose);
    if (!kept) return 1;
    bool configured = false;
    {
      Trace trace(fileno(kept.get()));
      configured = ConfigureService(trace, program_folder, settings, lists);
      trace.FlushBeforeExit();
    }
    if (!configured) {
      std::rewind(kept.get());
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, kept.get())) > 0;)
        std::cerr.write(buffer, static_cast<std::streamsize>(n));
      return 1;
    }
  }
  asio::io_context io(1);
  Resolver resolver(io, GatewayResolverOptions(settings));
  if (!resolver.error().empty()) std::cerr << "DNS servers: " << resolver.error() << std::endl;
  ZoneHealth health(io, resolver, lists.RBLHosts, nullptr, nullptr);
  std::optional<std::vector<ZoneProbe>> probes;
  asio::co_spawn(io, health.ProbeAll(), [&](std::exception_ptr error, std::vector<ZoneProbe> got) {
    if (!error) probes = std::move(got);
  });
  // The resolver keeps a socket open, so run only until the probes are in.
  while (!probes && io.run_one() > 0) {
  }
  if (!probes) return 1;
  std::cout << ZoneTable(*probes) << std::flush;
  return std::ranges::all_of(*probes,
                             [](const ZoneProbe& p) { return p.state == ZoneState::kHealthy; })
             ? 0
             : 1;
}

}  // namespace vantry
