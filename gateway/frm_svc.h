#pragma once

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "activity_report.h"
#include "config_settings.h"
#include "crbl.h"
#include "list_files.h"
#include "metrics/gateway_metrics.h"
#include "monitor_channel.h"
#include "relay.h"
#include "resolver.h"
#include "screen_connection.h"
#include "slot_table.h"
#include "trace.h"
#include "trusted_peers.h"
#include "unique_fd.h"
#include "zone_health.h"

namespace vantry {

/// The gateway's service object: owns the listener, the slots, the lists, the
/// DNSBL checker and the reporting, and carries every connection handler.
/// Everything runs on the one thread of the io_context.
class FrmSvc {
 public:
  /// `settings` and `lists` are read once at start and never change afterwards.
  FrmSvc(asio::io_context& io, Trace& trace, ConfigSettings settings, HostLists lists);

  /// Binds LocalPort on ListenAddress (empty: every address, IPv4 and IPv6),
  /// creates the slots, listens and reports "START". On a bad port or address
  /// or a failed bind it traces one line naming them and the reason and
  /// returns false.
  bool StartListening();
  /// Reports "SHUT" for slot 0.
  void ReportShutdown();

  const ConfigSettings& settings() const { return settings_; }
  SlotTable& slots() { return table_; }

 private:
  asio::awaitable<void> AcceptLoop();
  /// Opens, binds and listens; the trace line on failure is the caller's.
  std::error_code OpenListener(const asio::ip::tcp::endpoint& endpoint);
  /// A connection from a trusted load balancer: its PROXY header names the client.
  asio::awaitable<void> TakeProxyHeader(UniqueFd client, asio::ip::tcp::endpoint balancer);
  /// Gives the client a slot and starts its connection request, unless its
  /// address is over MaxPerIP or no slot is free.
  void Admit(UniqueFd client, const asio::ip::tcp::endpoint& peer, std::string early_bytes);
  /// The connection request: screening of the slot, then refusal or hand-over
  /// as the verdict says.
  asio::awaitable<void> wsMon_ConnectionRequest(std::int32_t Index);
  asio::awaitable<void> PassConnection(std::int32_t Index);
  /// The mail server's addresses, cached for a while; null on failure.
  asio::awaitable<std::shared_ptr<const MailServerAddresses>> MailServerEndpoints(
      std::error_code& error);
  /// Refusal by the screening's own tests: report "BL" with the verdict's
  /// reason and code, then refuse through the checker's event.
  void RefuseLocally(std::int32_t Index, const ScreeningVerdict& verdict);
  /// Refusal by a zone, made inside the checker's event: report "BL" after it.
  void ReportListed(std::int32_t Index, const ScreeningVerdict& verdict);
  /// No DNS answer where it would decide: report "BL", then a 421 line and close.
  void DeferTemporarily(std::int32_t Index, const ScreeningVerdict& verdict);
  /// Closes both sockets of a slot after an error; the slot is free again.
  void DropConnection(std::int32_t Index);
  void evtRBL_evBlackListed(std::int32_t Index, const std::string& IP, const std::string& BLHost,
                            const std::string& BLType);
  void evtRBL_evNotListed(std::int32_t Index);
  void ReleaseSlot(std::int32_t Index);
  /// A client over MaxPerIP: one 421 line, a trace line, the close; no slot.
  void TurnAwayOverLimit(UniqueFd& client, const std::string& address);
  /// The mail server took no connection: the client is told so and closed.
  void HandOverFailed(std::int32_t Index);
  void Say(std::string_view text) { trace_.Say(text); }

  asio::io_context& io_;
  Trace& trace_;
  const ConfigSettings settings_;
  const HostLists lists_;
  TrustedPeers trusted_;
  // Load balancer connections whose header has not arrived yet.
  std::int32_t awaiting_headers_ = 0;
  SlotTable table_;
  MonitorChannel channel_;
  ActivityReporter reporter_;
  Resolver resolver_;
  CRBL evtRBL;
  const ScreeningSetup screening_;
  ZoneHealth zone_health_;
  RelayPump relay_pump_;
  GatewayMetrics metrics_;
  std::optional<asio::ip::tcp::acceptor> wsMon;
  std::shared_ptr<const MailServerAddresses> mail_endpoints_;
  std::chrono::steady_clock::time_point mail_endpoints_expiry_{};
  std::int32_t next_request_id_ = 0;
};

/// LocalPort/SMTPPort text as a port number 1..65535 (blanks around it are
/// allowed); nullopt for anything else.
std::optional<std::uint16_t> ParsePort(std::string_view text);

/// The resolver's options: the DNSServers setting, and $VANTRY_HOSTS_FILE in
/// place of /etc/hosts when it is set (empty: DNS only).
ResolverOptions GatewayResolverOptions(const ConfigSettings& settings);

/// The first IPv4 address of an interface that is up and not loopback, else 127.0.0.1.
std::string PrimaryLocalAddress();

}  // namespace vantry
