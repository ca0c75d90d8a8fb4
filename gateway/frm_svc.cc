#include "frm_svc.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <asio/co_spawn.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <cerrno>
#include <cstdlib>
#include <exception>

#include "mod_slot_out.h"
#include "peer_address.h"
#include "proxy_header.h"
#include "proxy_header_reader.h"
#include "relay.h"
#include "text_trim.h"
#include "write_all.h"

namespace vantry {
namespace {

using asio::experimental::as_tuple;
using asio::ip::tcp;

constexpr auto kMailHostCacheTime = std::chrono::seconds(30);
constexpr auto kAcceptBackoff = std::chrono::milliseconds(100);
constexpr int kAcceptBurst = 16;
// A load balancer sends its header at once; waiting longer only holds a socket.
constexpr auto kProxyHeaderLimit = std::chrono::seconds(5);

constexpr std::string_view kTooManyFromAddress =
    "421 4.7.0 Too many connections from your address, try again later\r\n";
constexpr std::string_view kMailServiceDown =
    "421 4.3.2 Mail service not available, try again later\r\n";

// Errors that belong to one client that gave up or to the network under it,
// not to the listener: the next client in the queue is taken at once.
bool IsTransientAcceptError(int error_number) {
  switch (error_number) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
      return true;
    default:
      return false;
  }
}

// The PROXY header for `client`, connected to us on `fd`: its address and
// port, and ours on that connection. Empty, with the reason, when the
// connection is already gone.
std::string ProxyHeaderFor(int version, const tcp::endpoint& client, int fd,
                           std::error_code& error) {
  tcp::endpoint local;
  socklen_t local_size = static_cast<socklen_t>(local.capacity());
  if (getsockname(fd, local.data(), &local_size) != 0) {
    error = std::error_code(errno, std::system_category());
    return {};
  }
  local.resize(local_size);
  return BuildProxyHeader(version, client, local);
}

}  // namespace

std::optional<std::uint16_t> ParsePort(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

ResolverOptions GatewayResolverOptions(const ConfigSettings& settings) {
  ResolverOptions options{.dns_servers = settings.DNSServers};
  options.cache_size = static_cast<std::size_t>(std::max(settings.DNSCacheSize, 0));
  // Set (even to nothing) it replaces /etc/hosts; tests and benchmarks use it
  // to send every lookup to their own name servers.
  if (const char* hosts = std::getenv("VANTRY_HOSTS_FILE")) options.hosts_file = hosts;
  return options;
}

std::string PrimaryLocalAddress() {
  ifaddrs* list = nullptr;
  std::string found = "127.0.0.1";
  if (getifaddrs(&list) != 0) return found;
  for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
    if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) continue;
    char text[INET_ADDRSTRLEN];
    auto* addr = reinterpret_cast<sockaddr_in*>(it->ifa_addr);
    if (inet_ntop(AF_INET, &addr->sin_addr, text, sizeof text) != nullptr) {
      found = text;
      break;
    }
  }
  freeifaddrs(list);
  return found;
}

FrmSvc::FrmSvc(asio::io_context& io, Trace& trace, ConfigSettings settings, HostLists lists)
    : io_(io),
      trace_(trace),
      settings_(std::move(settings)),
      lists_(std::move(lists)),
      table_(settings_.MaxSocks),
      channel_(io, MailslotName()),
      reporter_(settings_, trace, &channel_),
      resolver_(io, GatewayResolverOptions(settings_)),
      evtRBL(
          resolver_, settings_, lists_.RBLHosts,
          [this](std::int32_t Index) { return table_.rbl_result(Index); },
          [this](std::string_view text) { Say(text); }),
      screening_{.resolver = resolver_,
                 .settings = settings_,
                 .lists = lists_,
                 .checker = evtRBL,
                 .say = [this](std::string_view text) { Say(text); }},
      zone_health_(
          io, resolver_, lists_.RBLHosts, [this](std::string_view text) { Say(text); }, &evtRBL),
      relay_pump_(io, RelayPump::kDefaultConnectTimeout,
                  std::chrono::seconds(settings_.IdleTimeout)),
      metrics_(io, trace, settings_.MetricsListen,
               {.slots = table_,
                .reporter = reporter_,
                .relay = relay_pump_,
                .zones = [this] { return evtRBL.zone_counters(); },
                .dns_cache = [this] { return resolver_.cache_counters(); }}) {
  evtRBL.evBlackListed = [this](std::int32_t Index, const std::string& IP,
                                const std::string& BLHost, const std::string& BLType) {
    evtRBL_evBlackListed(Index, IP, BLHost, BLType);
  };
  evtRBL.evNotListed = [this](std::int32_t Index) { evtRBL_evNotListed(Index); };
  if (!resolver_.error().empty()) Say("DNS servers: " + resolver_.error());
  Say("DNS cache: " + (settings_.DNSCacheSize > 0
                           ? std::to_string(settings_.DNSCacheSize) + " entries"
                           : std::string("off")));
  std::vector<std::string> rejected;
  trusted_ = TrustedPeers::Parse(settings_.ProxyFrom, rejected);
  for (const std::string& entry : rejected) {
    Say("ProxyFrom: \"" + entry + "\" is not an address or address block, ignored");
  }
}

std::error_code FrmSvc::OpenListener(const tcp::endpoint& endpoint) {
  std::error_code ec;
  wsMon->open(endpoint.protocol(), ec);
  // One socket for both families; IPv4 clients arrive as mapped addresses.
  if (!ec && endpoint.address().is_v6() && endpoint.address().is_unspecified()) {
    wsMon->set_option(asio::ip::v6_only(false), ec);
  }
  if (!ec) wsMon->set_option(tcp::acceptor::reuse_address(true), ec);
  // Accepted sockets inherit it, which spares a call for every client.
  if (!ec) wsMon->set_option(tcp::no_delay(true), ec);
  if (!ec) wsMon->bind(endpoint, ec);
  if (!ec) wsMon->listen(asio::socket_base::max_listen_connections, ec);
  // The accept loop takes clients until the queue is empty, then waits.
  if (!ec) wsMon->native_non_blocking(true, ec);
  if (ec && wsMon->is_open()) wsMon->close();
  return ec;
}

bool FrmSvc::StartListening() {
  auto port = ParsePort(settings_.LocalPort);
  if (!port) {
    Say("Cannot listen on port \"" + settings_.LocalPort +
        "\": LocalPort must be a port number from 1 to 65535");
    return false;
  }
  const std::string listen_text(TrimBlanks(settings_.ListenAddress));
  asio::error_code address_error;
  const asio::ip::address listen_address = listen_text.empty()
                                               ? asio::ip::address(asio::ip::address_v6::any())
                                               : asio::ip::make_address(listen_text, address_error);
  if (address_error) {
    Say("Cannot listen on \"" + listen_text +
        "\": ListenAddress must be an IPv4 or IPv6 address of this machine, or empty for all");
    return false;
  }
  if (!metrics_.Start()) return false;
  wsMon.emplace(io_);
  std::error_code ec = OpenListener(tcp::endpoint(listen_address, *port));
  // A machine without IPv6 still takes IPv4 clients on every address.
  if (ec == asio::error::address_family_not_supported && listen_text.empty()) {
    ec = OpenListener(tcp::endpoint(tcp::v4(), *port));
  }
  if (ec) {
    Say("Cannot listen on port " + std::to_string(*port) +
        (listen_text.empty() ? "" : " of " + listen_text) + ": " + ec.message());
    wsMon.reset();
    return false;
  }
  SocketInfo& slot0 = table_.info(0);
  reporter_.ReportConnection(0, "START", slot0);
  Say(std::to_string(settings_.MaxSocks) + " sockets listening to port " + settings_.LocalPort +
      " for " + (listen_text.empty() ? PrimaryLocalAddress() : listen_text));
  zone_health_.Start(std::chrono::minutes(settings_.ZoneCheck));
  asio::co_spawn(io_, AcceptLoop(), [this](std::exception_ptr e) {
    if (!e) return;
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      Say(std::string("Listener stopped: ") + ex.what());
    }
  });
  return true;
}

void FrmSvc::ReportShutdown() {
  reporter_.ReportConnection(0, "SHUT", table_.info(0));
  // A console that was slow to read still gets the reports queued for it, SHUT last.
  channel_.FlushFor(std::chrono::milliseconds(250));
}

asio::awaitable<void> FrmSvc::AcceptLoop() {
  // Clients are taken with accept4 rather than an Asio accept: an Asio socket
  // is registered with the io_context for its whole life, and would wake it
  // for every message while the relay pump already watches the descriptor.
  asio::steady_timer backoff(io_);
  bool accept_failing = false;
  const int listener = wsMon->native_handle();
  int taken_in_a_row = 0;
  for (;;) {
    // A flood of clients must not hold up the relays and screenings running.
    if (++taken_in_a_row > kAcceptBurst) {
      taken_in_a_row = 0;
      co_await asio::post(io_, asio::use_awaitable);
    }
    tcp::endpoint peer;
    socklen_t peer_size = static_cast<socklen_t>(peer.capacity());
    UniqueFd client(accept4(listener, peer.data(), &peer_size, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!client) {
      const int error_number = errno;
      if (error_number == EAGAIN || error_number == EWOULDBLOCK) {
        auto [ec] =
            co_await wsMon->async_wait(tcp::acceptor::wait_read, as_tuple(asio::use_awaitable));
        if (ec == asio::error::operation_aborted) co_return;
        taken_in_a_row = 0;
        continue;
      }
      if (IsTransientAcceptError(error_number)) continue;
      if (!accept_failing) {
        Say("Accepting a connection failed: " +
            std::error_code(error_number, std::system_category()).message());
      }
      accept_failing = true;
      backoff.expires_after(kAcceptBackoff);
      co_await backoff.async_wait(as_tuple(asio::use_awaitable));
      continue;
    }
    accept_failing = false;
    peer.resize(peer_size);
    peer.address(Unmapped(peer.address()));
    if (!trusted_.empty() && trusted_.Contains(peer.address())) {
      // As many balancer connections may wait for their header as there are slots.
      if (awaiting_headers_ >= settings_.MaxSocks) continue;
      ++awaiting_headers_;
      asio::co_spawn(io_, TakeProxyHeader(std::move(client), peer),
                     [this](std::exception_ptr) { --awaiting_headers_; });
      continue;
    }
    Admit(std::move(client), peer, {});
  }
}

asio::awaitable<void> FrmSvc::TakeProxyHeader(UniqueFd client, tcp::endpoint balancer) {
  ProxiedConnection header = co_await ReadProxyHeader(io_, client.get(), kProxyHeaderLimit);
  if (!header.problem.empty()) {
    // Not a client: no verdict, nothing in the log or the console.
    Say("Load balancer " + PeerText(balancer.address()) +
        " connection dropped: " + std::string(header.problem));
    co_return;
  }
  tcp::endpoint client_end = header.client.value_or(balancer);
  client_end.address(Unmapped(client_end.address()));
  Admit(std::move(client), client_end, std::move(header.early_bytes));
}

void FrmSvc::Admit(UniqueFd client, const tcp::endpoint& peer, std::string early_bytes) {
  const asio::ip::address& address = peer.address();
  if (settings_.MaxPerIP > 0 && table_.HeldBy(address) >= settings_.MaxPerIP) {
    TurnAwayOverLimit(client, PeerText(address));
    return;
  }
  std::int32_t index = table_.FindFreeSocket();
  if (index < 0) return;  // closed at once, nothing reported
  Slot& slot = table_.slot(index);
  table_.Reserve(index, address);
  slot.in_state = SocketState::kClosed;
  slot.wsIn = std::move(client);
  table_.ClearSocket(index);
  slot.client = peer;
  slot.early_bytes = std::move(early_bytes);
  SocketInfo& info = table_.info(index);
  info.IP = PeerText(address);
  next_request_id_ = NextRequestID(next_request_id_);
  info.RequestID = next_request_id_;
  asio::co_spawn(io_, wsMon_ConnectionRequest(index), [this, index](std::exception_ptr e) {
    if (e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& ex) {
        Say("Slot " + std::to_string(index) + ": connection handler failed: " + ex.what());
      }
    }
    ReleaseSlot(index);
  });
}

asio::awaitable<void> FrmSvc::wsMon_ConnectionRequest(std::int32_t Index) {
  SocketInfo& info = table_.info(Index);
  info.Blacklisted = false;
  ScreeningVerdict verdict = co_await ScreenConnection(screening_, Index, info.IP, info.Status);
  info.HostName = verdict.HostName;
  info.AltIP = verdict.AltIP;
  switch (verdict.action) {
    case ScreeningAction::kPassAsException:
      info.BLType = verdict.BLType;
      info.BLHost = verdict.BLHost;
      co_await PassConnection(Index);
      break;
    case ScreeningAction::kPass:
      info.BLHost.clear();
      info.BLType.clear();
      info.Blacklisted = false;
      co_await PassConnection(Index);
      break;
    case ScreeningAction::kRefuseLocally:
      RefuseLocally(Index, verdict);
      break;
    case ScreeningAction::kRefusedByZone:
      ReportListed(Index, verdict);
      break;
    case ScreeningAction::kDeferTemporarily:
      DeferTemporarily(Index, verdict);
      break;
  }
}

void FrmSvc::ReleaseSlot(std::int32_t Index) {
  Slot& slot = table_.slot(Index);
  // Normal ends have already set the state; anything else (an escaped
  // exception) must not leave the slot looking busy for ever.
  if (slot.in_state != SocketState::kClosing) {
    slot.wsIn.reset();
    slot.in_state = SocketState::kClosed;
  }
  slot.wsOut.reset();
  table_.Release(Index);
}

void FrmSvc::TurnAwayOverLimit(UniqueFd& client, const std::string& address) {
  // Not a verdict: the client is told to come back and nothing else sees it,
  // so a flood from one address cannot fill the log or the console either.
  metrics_.CountPerAddressRefusal();
  Say(address + " turned away: MaxPerIP " + std::to_string(settings_.MaxPerIP) + " reached");
  // A fresh socket takes the line at once; a client already gone gets nothing.
  WriteAll(client.get(), kTooManyFromAddress);
  GracefulClose(client);
}

void FrmSvc::HandOverFailed(std::int32_t Index) {
  Slot& slot = table_.slot(Index);
  WriteAll(slot.wsIn.get(), kMailServiceDown);
  // Graceful, so that unread client bytes do not turn the close into a reset
  // that discards the line.
  GracefulClose(slot.wsIn);
  DropConnection(Index);
}

void FrmSvc::DropConnection(std::int32_t Index) {
  Slot& slot = table_.slot(Index);
  slot.wsIn.reset();
  slot.wsOut.reset();
  slot.in_state = SocketState::kClosed;
}

asio::awaitable<std::shared_ptr<const MailServerAddresses>> FrmSvc::MailServerEndpoints(
    std::error_code& error) {
  auto now = std::chrono::steady_clock::now();
  if (mail_endpoints_ && now < mail_endpoints_expiry_) co_return mail_endpoints_;
  auto port = ParsePort(settings_.SMTPPort);
  if (!port) {
    error = std::make_error_code(std::errc::invalid_argument);
    co_return nullptr;
  }
  // Looked up as every other name, so the hosts file and DNSServers serve it too. An empty
  // SMTPHost has always meant this machine.
  // A named value, not a conditional's temporary: GCC 12 frees that one twice when it is a
  // coroutine's argument.
  std::string host = settings_.SMTPHost.empty() ? "127.0.0.1" : settings_.SMTPHost;
  AddressList found = co_await resolver_.ResolveAddresses(std::move(host));
  auto addresses = std::make_shared<MailServerAddresses>();
  for (const std::string& text : found.addresses) {
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(text, ec);
    if (!ec) addresses->emplace_back(address, *port);
  }
  if (addresses->empty()) {
    error = found.failed ? asio::error::host_not_found_try_again : asio::error::host_not_found;
    co_return nullptr;
  }
  // Resolving the mail server for every connection would cost more than the
  // relay itself; a short cache still follows a changed address soon.
  mail_endpoints_ = std::move(addresses);
  mail_endpoints_expiry_ = now + kMailHostCacheTime;
  co_return mail_endpoints_;
}

asio::awaitable<void> FrmSvc::PassConnection(std::int32_t Index) {
  Slot& slot = table_.slot(Index);
  const std::string index_text = std::to_string(Index);
  reporter_.ReportConnection(Index, "OK", table_.info(Index));
  // The client was taken off the listen queue when the request arrived; this
  // is the point where the hand-over accepts it as the slot's connection.
  slot.in_state = SocketState::kConnected;
  slot.wsOut.reset();

  std::error_code error;
  auto endpoints = co_await MailServerEndpoints(error);
  if (!endpoints) {
    if (error == std::errc::invalid_argument) {
      Say("wsout socket: " + index_text + " SMTPPort \"" + settings_.SMTPPort +
          "\" is not a port number from 1 to 65535");
    } else {
      Say("wsout socket: " + index_text + " " + error.message());
    }
    HandOverFailed(Index);
    co_return;
  }
  std::string preamble;
  if (settings_.ProxyOut != 0) {
    preamble = ProxyHeaderFor(settings_.ProxyOut, slot.client, slot.wsIn.get(), error);
    if (preamble.empty()) {
      Say("wsin socket: " + index_text + " " + error.message());
      DropConnection(Index);
      co_return;
    }
  }
  preamble += slot.early_bytes;
  slot.early_bytes.clear();
  RelayOutcome outcome = co_await relay_pump_.Relay(slot.wsIn.get(), std::move(endpoints),
                                                    slot.wsOut, std::move(preamble));
  switch (outcome.end) {
    case RelayEnd::kInboundClosed:
      Say("Closing inbound socket " + index_text + "\r\n");
      GracefulClose(slot.wsOut);
      reporter_.ReportConnection(Index, "CLOSED", table_.info(Index));
      // Left closing: the next slot search finishes it and frees the slot.
      GracefulClose(slot.wsIn);
      slot.in_state = SocketState::kClosing;
      break;
    case RelayEnd::kOutboundClosed:
      Say("Closing outbound socket " + index_text + "\r\n");
      GracefulClose(slot.wsIn);
      slot.in_state = SocketState::kClosed;
      reporter_.ReportConnection(Index, "CLOSED", table_.info(Index));
      slot.wsOut.reset();
      break;
    case RelayEnd::kInboundError:
      Say("wsin socket: " + index_text + " " + outcome.error.message());
      DropConnection(Index);
      break;
    case RelayEnd::kOutboundError:
      Say("wsout socket: " + index_text + " " + outcome.error.message());
      DropConnection(Index);
      break;
    case RelayEnd::kConnectFailed:
      Say("wsout socket: " + index_text + " " + outcome.error.message());
      HandOverFailed(Index);
      break;
    case RelayEnd::kIdle:
      Say("Closing idle socket " + index_text + " after " + std::to_string(settings_.IdleTimeout) +
          " s\r\n");
      GracefulClose(slot.wsOut);
      GracefulClose(slot.wsIn);
      slot.in_state = SocketState::kClosed;
      reporter_.ReportConnection(Index, "CLOSED", table_.info(Index));
      break;
  }
}

}  // namespace vantry
