#pragma once

#include <asio/awaitable.hpp>
#include <cstdint>
#include <string>

#include "config_settings.h"
#include "crbl.h"
#include "list_files.h"
#include "resolver.h"
#include "screening_status.h"
#include "screening_verdict.h"

namespace vantry {

/// What screening reads; everything must outlive the screenings that use it.
struct ScreeningSetup {
  Resolver& resolver;
  const ConfigSettings& settings;
  const HostLists& lists;
  CRBL& checker;
  SayFunction say;
};

/// Screens the connection request of slot Index from address IP: host name
/// lookups, then exception, alternative address, missing host name, manual
/// block and the zones, the first test that decides ending it. A lookup that
/// got no answer where its answer would decide defers the client instead,
/// unless it is an exception; a name that is an address text counts as none.
/// Status is the slot's own, which the checker's events move on during
/// CheckRBL; a refusal by a zone has happened by the time this returns.
asio::awaitable<ScreeningVerdict> ScreenConnection(const ScreeningSetup& setup, std::int32_t Index,
                                                   std::string IP, ScreeningStatus& Status);

}  // namespace vantry
