#include "screen_connection.h"

#include <arpa/inet.h>

#include <string_view>
#include <utility>

#include "block_codes.h"
#include "report_line.h"
#include "text_trim.h"

namespace vantry {
namespace {

bool IsIPv6(const std::string& text) {
  in6_addr v6{};
  return inet_pton(AF_INET6, text.c_str(), &v6) == 1;
}

bool IsAddressLiteral(const std::string& text) {
  in_addr v4{};
  in6_addr v6{};
  return inet_pton(AF_INET, text.c_str(), &v4) == 1 || inet_pton(AF_INET6, text.c_str(), &v6) == 1;
}

ScreeningVerdict Decided(ScreeningAction action, ScreeningVerdict verdict, std::string_view reason,
                         std::string_view code, std::string blocked_address = {}) {
  verdict.action = action;
  verdict.BLHost = reason;
  verdict.BLType = code;
  verdict.blocked_address = std::move(blocked_address);
  return verdict;
}

}  // namespace

asio::awaitable<ScreeningVerdict> ScreenConnection(const ScreeningSetup& setup, std::int32_t Index,
                                                   std::string IP, ScreeningStatus& Status) {
  const ConfigSettings& settings = setup.settings;
  const std::string index_text = std::to_string(Index);
  auto say = [&setup](const std::string& text) {
    if (setup.say) setup.say(text);
  };
  say("\r\nIncoming connection from " + IP);

  ScreeningVerdict verdict;
  // A failed lookup matters only where its answer would decide.
  const bool reverse_decides = settings.BlockNoHost > 0 || settings.BlockAltIP > 0;
  // The name comes from whoever controls the peer's reverse zone; it ends up
  // in "|"-separated lines and reports, so it must not be able to split them.
  const LookupResult reverse = co_await setup.resolver.ReverseLookup(IP);
  bool dns_failed = reverse.failed && reverse_decides;
  verdict.HostName = NeutraliseField(TrimBlanks(reverse.text));
  // An address given as the name names nothing.
  if (IsAddressLiteral(verdict.HostName)) verdict.HostName.clear();
  if (!verdict.HostName.empty()) {
    // The name must lead back to an address of the peer's own family. (No co_await inside ?:,
    // which this compiler gets wrong.)
    LookupResult forward;
    if (IsIPv6(IP)) {
      forward = co_await setup.resolver.ForwardLookup6(verdict.HostName);
    } else {
      forward = co_await setup.resolver.ForwardLookup(verdict.HostName);
    }
    dns_failed = dns_failed || (forward.failed && settings.BlockAltIP > 0);
    verdict.AltIP = forward.text;
  } else {
    verdict.AltIP = IP;
  }
  say("Hostname: " + verdict.HostName + " AltIP: " + verdict.AltIP + " ");
  Status = ScreeningStatus::kUnchecked;

  if (settings.UseExceptions > 0 && IsException(setup.lists, IP) > 0) {
    say(IP + " EXCEPTION. " + index_text + "\r\n");
    co_return Decided(ScreeningAction::kPassAsException, std::move(verdict), kExceptionReason,
                      kExceptionCode);
  }
  if (dns_failed) {
    co_return Decided(ScreeningAction::kDeferTemporarily, std::move(verdict), kDnsFailureReason,
                      kNoHostCode, IP);
  }
  if (settings.BlockAltIP > 0 && verdict.AltIP != IP) {
    co_return Decided(ScreeningAction::kRefuseLocally, std::move(verdict), kAltIPReason, kAltIPCode,
                      IP);
  }
  if (settings.BlockNoHost > 0 && verdict.HostName.empty()) {
    co_return Decided(ScreeningAction::kRefuseLocally, std::move(verdict), kNoHostReason,
                      kNoHostCode, IP);
  }
  if (settings.UseManual > 0 && setup.lists.ManualCount() > 0) {
    std::string blocked;
    if (IsManualBlock(setup.lists, IP) > 0) {
      blocked = IP;
    } else if (IsManualBlock(setup.lists, verdict.AltIP) > 0) {
      blocked = verdict.AltIP;
    }
    if (!blocked.empty()) {
      co_return Decided(ScreeningAction::kRefuseLocally, std::move(verdict), kManualBlockReason,
                        kManualBlockCode, std::move(blocked));
    }
  }

  // Both addresses' zone queries go out now, so their waits overlap; the checks still decide one
  // after the other, and the alternative address's answers go unread when the peer is refused.
  std::shared_ptr<ZoneQueries> peer_queries = co_await setup.checker.StartQueries(IP);
  std::shared_ptr<ZoneQueries> alt_queries = peer_queries;
  if (verdict.AltIP != IP) alt_queries = co_await setup.checker.StartQueries(verdict.AltIP);
  // The events are delivered inside CheckRBL, so Status is final on return.
  co_await setup.checker.CheckRBL(IP, Index, std::move(peer_queries));
  if (Status != ScreeningStatus::kBlacklisted) {
    Status = ScreeningStatus::kPeerNotListed;
    co_await setup.checker.CheckRBL(verdict.AltIP, Index, std::move(alt_queries));
  }
  if (Status != ScreeningStatus::kBlacklisted) {
    say(IP + " is OK. " + index_text + "\r\n");
    co_return Decided(ScreeningAction::kPass, std::move(verdict), {}, {});
  }
  RBLResult listed;
  if (const RBLResult* record = setup.checker.Record(Index)) listed = *record;
  co_return Decided(ScreeningAction::kRefusedByZone, std::move(verdict), listed.BLHost,
                    listed.Response, std::move(listed.IP));
}

}  // namespace vantry
