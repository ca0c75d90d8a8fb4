#include "resolver.h"

#include <ares.h>
#include <ares_nameser.h>
#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>
#include <asio/async_result.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "dns_answer.h"
#include "dns_cache.h"
#include "file_signature.h"
#include "hosts_file.h"
#include "reverse_name.h"
#include "stored_completion.h"
#include "text_trim.h"

namespace vantry {
namespace {

// A reverse lookup never yields more than this, whatever the answer holds.
constexpr std::size_t kMaxHostNameLength = 255;
// Answers wait in the UDP socket's receive buffer until the loop reads them;
// with the default buffer about 150 of them overflow it and are lost, so the
// socket gets a larger one and the queries in flight stay well below its room.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
constexpr int kMaxInFlightCeiling = 1000;

void InitAresLibraryOnce() {
  static const int status = ares_library_init(ARES_LIB_INIT_ALL);
  (void)status;
}

// c-ares wants "ip:port,ip:port" without blanks; administrators type them anyway.
std::string NormaliseServerList(std::string_view text) {
  std::string out;
  while (true) {
    std::size_t comma = text.find(',');
    std::string entry(TrimBlanks(text.substr(0, comma)));
    if (!entry.empty()) {
      if (!out.empty()) out += ',';
      out += entry;
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return out;
}

// What a status without an answer to read says: the name or record does not
// exist (or cannot be asked), or no answer could be had.
LookupResult Unanswered(int status) {
  const bool missing =
      status == ARES_ENOTFOUND || status == ARES_ENODATA || status == ARES_EBADNAME;
  LookupResult result;
  result.failed = !missing;
  return result;
}

LookupResult FailedLookup() { return Unanswered(ARES_ETIMEOUT); }

// Room for more addresses than a UDP answer of 512 bytes can carry.
constexpr int kMaxAddresses = 32;

LookupResult ReadAddresses(const unsigned char* abuf, int alen, int type) {
  LookupResult result;
  int count = kMaxAddresses;
  int status = ARES_SUCCESS;
  auto append = [&result](int family, const void* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (inet_ntop(family, address, text, sizeof text) != nullptr) {
      result.addresses.emplace_back(text);
    }
  };
  if (type == ns_t_aaaa) {
    ares_addr6ttl addresses[kMaxAddresses];
    status = ares_parse_aaaa_reply(abuf, alen, nullptr, addresses, &count);
    for (int i = 0; status == ARES_SUCCESS && i < count; ++i) {
      append(AF_INET6, &addresses[i].ip6addr);
    }
  } else {
    ares_addrttl addresses[kMaxAddresses];
    status = ares_parse_a_reply(abuf, alen, nullptr, addresses, &count);
    for (int i = 0; status == ARES_SUCCESS && i < count; ++i) append(AF_INET, &addresses[i].ipaddr);
  }
  if (status != ARES_SUCCESS) return Unanswered(status);
  if (!result.addresses.empty()) result.text = result.addresses.front();
  return result;
}

LookupResult ReadPtr(const unsigned char* abuf, int alen, const in_addr& address) {
  hostent* host = nullptr;
  const int status = ares_parse_ptr_reply(abuf, alen, &address, sizeof address, AF_INET, &host);
  if (status != ARES_SUCCESS) return Unanswered(status);
  if (host == nullptr) return {};
  // With several PTR records c-ares leaves the last one in h_name and lists
  // them all, in answer order, as aliases; the first answer is the name.
  const char* first = host->h_name;
  if (first != nullptr && host->h_aliases != nullptr && host->h_aliases[0] != nullptr) {
    for (char** alias = host->h_aliases; *alias != nullptr; ++alias) {
      if (std::string_view(*alias) == first) {
        first = host->h_aliases[0];
        break;
      }
    }
  }
  std::string name = first != nullptr ? first : "";
  ares_free_hostent(host);
  if (name.size() > kMaxHostNameLength) name.resize(kMaxHostNameLength);
  return {.text = std::move(name)};
}

// A UDP answer with the truncation bit, or one c-ares cut to the classic 512
// bytes: what it lacks may be in the whole answer over TCP.
bool AnswerWasCut(const unsigned char* abuf, int alen) {
  return alen >= PACKETSZ || (alen > 2 && (abuf[2] & 0x02) != 0);
}

bool CopyServers(ares_channel from, ares_channel to) {
  ares_addr_port_node* servers = nullptr;
  if (ares_get_servers_ports(from, &servers) != ARES_SUCCESS) return false;
  const int status = ares_set_servers_ports(to, servers);
  ares_free_data(servers);
  return status == ARES_SUCCESS;
}

// One c-ares channel with the socket waits and the timer that drive it.
class AresChannel : public std::enable_shared_from_this<AresChannel> {
 public:
  explicit AresChannel(asio::io_context& io) : io_(io), timer_(io) {}
  ~AresChannel() { Close(); }
  AresChannel(const AresChannel&) = delete;
  AresChannel& operator=(const AresChannel&) = delete;

  int Open(ares_options options, int mask) {
    options.sock_state_cb = &AresChannel::OnSocketState;
    options.sock_state_cb_data = this;
    const int status = ares_init_options(&channel_, &options, mask | ARES_OPT_SOCK_STATE_CB);
    if (status != ARES_SUCCESS) channel_ = nullptr;
    return status;
  }

  ares_channel get() const { return channel_; }

  // Completes every query in flight with ARES_EDESTRUCTION; never from inside a callback.
  void Close() {
    timer_.cancel();
    timer_armed_ = false;
    if (channel_ != nullptr) {
      ares_destroy(channel_);  // reports each socket as gone
      channel_ = nullptr;
    }
    for (auto& [fd, watch] : watches_) Forget(watch);
    watches_.clear();
  }

  // Every query asks c-ares for its next deadline; moving the timer each time
  // would cost a system call per lookup. A timer that is already due no later
  // than the new deadline stays: when it fires, c-ares ends what has expired
  // and the timer is set for whatever is next.
  void UpdateTimer() {
    if (channel_ == nullptr) return;
    timeval tv{};
    if (ares_timeout(channel_, nullptr, &tv) == nullptr) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(tv.tv_sec) +
                          std::chrono::microseconds(tv.tv_usec);
    if (timer_armed_ && timer_.expiry() <= deadline) return;
    timer_armed_ = true;
    timer_.expires_at(deadline);
    timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
      if (ec == asio::error::operation_aborted) return;  // moved earlier, or closed
      self->timer_armed_ = false;
      if (self->channel_ == nullptr) return;
      ares_process_fd(self->channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
      self->UpdateTimer();
    });
  }

 private:
  struct Watch {
    std::unique_ptr<asio::posix::stream_descriptor> descriptor;
    std::uint64_t generation = 0;
    bool want_read = false;
    bool want_write = false;
    bool reading = false;
    bool writing = false;
  };

  static void OnSocketState(void* data, ares_socket_t fd, int readable, int writable) {
    static_cast<AresChannel*>(data)->SocketState(fd, readable != 0, writable != 0);
  }

  void SocketState(int fd, bool readable, bool writable) {
    if (!readable && !writable) {
      auto it = watches_.find(fd);
      if (it != watches_.end()) {
        // c-ares closes the fd itself right after this; the descriptor must let go first.
        Forget(it->second);
        watches_.erase(it);
      }
      return;
    }
    Watch& watch = watches_[fd];
    if (!watch.descriptor) {
      watch.descriptor = std::make_unique<asio::posix::stream_descriptor>(io_);
      watch.generation = ++next_generation_;
      asio::error_code ec;
      watch.descriptor->assign(fd, ec);
      if (ec) {
        // Not watchable: the timeout path still ends its queries.
        watch.descriptor.reset();
        watches_.erase(fd);
        return;
      }
    }
    watch.want_read = readable;
    watch.want_write = writable;
    Arm(fd);
  }

  static void Forget(Watch& watch) {
    if (!watch.descriptor) return;
    asio::error_code ignored;
    watch.descriptor->cancel(ignored);
    watch.descriptor->release();
    watch.descriptor.reset();
  }

  void Arm(int fd) {
    auto it = watches_.find(fd);
    if (it == watches_.end() || !it->second.descriptor) return;
    Watch& watch = it->second;
    std::uint64_t generation = watch.generation;
    if (watch.want_read && !watch.reading) {
      watch.reading = true;
      watch.descriptor->async_wait(
          asio::posix::stream_descriptor::wait_read,
          [self = shared_from_this(), fd, generation](const asio::error_code& ec) {
            self->OnReady(fd, generation, true, ec);
          });
    }
    if (watch.want_write && !watch.writing) {
      watch.writing = true;
      watch.descriptor->async_wait(
          asio::posix::stream_descriptor::wait_write,
          [self = shared_from_this(), fd, generation](const asio::error_code& ec) {
            self->OnReady(fd, generation, false, ec);
          });
    }
  }

  void OnReady(int fd, std::uint64_t generation, bool read, const asio::error_code& ec) {
    auto it = watches_.find(fd);
    // Gone, or the fd number now belongs to a newer socket: this wait is stale.
    if (it == watches_.end() || it->second.generation != generation) return;
    (read ? it->second.reading : it->second.writing) = false;
    if (channel_ == nullptr || ec == asio::error::operation_aborted) return;
    ares_process_fd(channel_, read ? fd : ARES_SOCKET_BAD, read ? ARES_SOCKET_BAD : fd);
    Arm(fd);
    UpdateTimer();
  }

  asio::io_context& io_;
  asio::steady_timer timer_;
  bool timer_armed_ = false;
  ares_channel channel_ = nullptr;
  std::uint64_t next_generation_ = 0;
  std::map<int, Watch> watches_;
};

}  // namespace

std::string ParseFirstA(const unsigned char* abuf, int alen) {
  return ReadAddresses(abuf, alen, ns_t_a).text;
}

std::vector<std::string> ParseAaaa(const unsigned char* abuf, int alen) {
  return ReadAddresses(abuf, alen, ns_t_aaaa).addresses;
}

std::string ParsePtr(const unsigned char* abuf, int alen, const in_addr& address) {
  return ReadPtr(abuf, alen, address).text;
}

// One awaiting caller. Completions are posted, never run inline: we may be
// inside a c-ares callback, which must not re-enter c-ares through the
// caller's next lookup.
using LookupOp = StoredCompletion<LookupResult>;

// Isolation: c-ares resets a server's connections, and spends a try of every
// query in flight to it, whenever one TCP connection to it closes or fails.
// So the shared channel never uses TCP (ARES_FLAG_IGNTC): a lookup whose UDP
// answer was cut and gave nothing is asked again over TCP on a channel of its
// own, which a server closing that connection cannot take others down with.
class Resolver::Impl : public std::enable_shared_from_this<Impl> {
 public:
  Impl(asio::io_context& io, ResolverOptions options)
      : io_(io), options_(std::move(options)), cache_(options_.cache_size) {
    InitAresLibraryOnce();
    max_in_flight_ = std::clamp(options_.max_in_flight, 1, kMaxInFlightCeiling);
    // The version c-ares is about to read, taken first so a change in between is not missed.
    resolv_conf_watch_.Due();
    resolv_conf_watch_.Changed();
    OpenChannel();
  }

  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  ~Impl() { Shutdown(); }

  void Shutdown() {
    if (shut_down_) return;
    shut_down_ = true;
    // Completes every query in flight with ARES_EDESTRUCTION.
    channel_->Close();
    auto tcp_channels = std::move(tcp_channels_);
    tcp_channels_.clear();
    for (const auto& channel : tcp_channels) channel->Close();
    FailQueued();
  }

  const std::string& error() const { return error_; }
  DnsCacheCounters cache_counters() const { return cache_.counters(); }
  std::size_t in_flight() const { return static_cast<std::size_t>(in_flight_); }
  std::size_t queued() const { return queue_.size(); }

  // shared: answered from the cache when it can be, and joined with an identical query in flight.
  template <typename Handler>
  void Lookup(std::string query_name, int type, in_addr address, bool shared, Handler&& handler) {
    auto op = std::make_unique<StoredHandler<LookupResult, std::decay_t<Handler>>>(
        std::forward<Handler>(handler), io_);
    if (shut_down_) {
      op->Complete(FailedLookup());
      return;
    }
    if (query_name.empty()) {
      op->Complete({});
      return;
    }
    std::string key;
    if (shared) {
      key = DnsCache::Key(type, query_name);
      if (cache_.capacity() > 0) {
        if (std::optional<LookupResult> kept = cache_.Find(key)) {
          op->Complete(std::move(*kept));
          return;
        }
      }
      if (auto asked = joined_.find(key); asked != joined_.end()) {
        asked->second.push_back(std::move(op));
        return;
      }
      joined_[key];
    }
    queue_.push_back(Pending{std::move(query_name), type, address, std::move(op), std::move(key)});
    Pump();
  }

 private:
  struct Pending {
    std::string query_name;
    int type = 0;
    in_addr address{};
    std::unique_ptr<LookupOp> op;
    // Set for a shared lookup: its key in the cache and among the joined ones.
    std::string key;
  };

  void FailQueued() {
    while (!queue_.empty()) {
      Pending pending = std::move(queue_.front());
      queue_.pop_front();
      Deliver(std::move(pending.op), pending.key, FailedLookup(), std::nullopt);
    }
  }

  // Completes op and every lookup that joined it; keeps the result for lifetime when given.
  void Deliver(std::unique_ptr<LookupOp> op, const std::string& key, const LookupResult& result,
               std::optional<std::chrono::seconds> lifetime) {
    op->Complete(result);
    if (key.empty()) return;
    if (lifetime && !result.failed) cache_.Store(key, result, *lifetime);
    auto joined = joined_.find(key);
    if (joined == joined_.end()) return;
    std::vector<std::unique_ptr<LookupOp>> waiting = std::move(joined->second);
    joined_.erase(joined);
    for (auto& other : waiting) other->Complete(result);
  }

  // The state handed through c-ares' void*; owned by c-ares between ares_query and the callback.
  struct Query {
    std::shared_ptr<Impl> impl;
    std::string query_name;
    int type = 0;
    in_addr address{};
    std::unique_ptr<LookupOp> op;
    std::string key;
    // Set once the lookup is asked again over TCP on this channel of its own.
    std::shared_ptr<AresChannel> over_tcp;
  };

  int BaseOptions(ares_options& opts) const {
    opts.timeout = std::clamp(options_.timeout_ms, 10, 60000);
    opts.tries = std::clamp(options_.tries, 1, 10);
    int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_FLAGS;
    if (!options_.resolv_conf.empty()) {
      opts.resolvconf_path = const_cast<char*>(options_.resolv_conf.c_str());
      mask |= ARES_OPT_RESOLVCONF;
    }
    return mask;
  }

  bool OpenChannel() {
    error_.clear();
    channel_ = std::make_shared<AresChannel>(io_);
    ares_options opts{};
    int mask = BaseOptions(opts);
    // Keeping the UDP socket between lookups spares a socket, its set-up and
    // its close for every query; under load c-ares keeps it open anyway.
    opts.flags = ARES_FLAG_STAYOPEN | ARES_FLAG_IGNTC;
    opts.socket_receive_buffer_size = kReceiveBufferBytes;
    mask |= ARES_OPT_SOCK_RCVBUF;
    int status = channel_->Open(opts, mask);
    if (status != ARES_SUCCESS) {
      error_ = std::string("resolver could not start: ") + ares_strerror(status);
      return false;
    }
    system_servers_ = true;
    std::string servers = NormaliseServerList(options_.dns_servers);
    if (!servers.empty()) {
      status = ares_set_servers_ports_csv(channel_->get(), servers.c_str());
      if (status == ARES_SUCCESS) {
        system_servers_ = false;
      } else {
        error_ = "DNSServers \"" + options_.dns_servers + "\" not usable (" +
                 ares_strerror(status) + "); using the system's name servers";
      }
    }
    return true;
  }

  // The system's servers are read once per channel: when their file changes,
  // a fresh channel reads it again. Only while nothing is in flight, so that
  // no query is lost with the old channel.
  // A channel that could not be made is tried again on the same schedule.
  void FollowSystemServers() {
    if (shut_down_ || in_flight_ != 0 || (channel_->get() != nullptr && !system_servers_)) return;
    if (!resolv_conf_watch_.Due()) return;
    if (!resolv_conf_watch_.Changed() && channel_->get() != nullptr) return;
    channel_->Close();
    OpenChannel();
  }

  void Pump() {
    if (!queue_.empty()) FollowSystemServers();
    if (channel_->get() == nullptr) {
      // No channel could be made again: lookups end failed, as when none starts.
      FailQueued();
      return;
    }
    while (!shut_down_ && in_flight_ < max_in_flight_ && !queue_.empty()) {
      Pending next = std::move(queue_.front());
      queue_.pop_front();
      auto query = std::make_unique<Query>(Query{.impl = shared_from_this(),
                                                 .query_name = std::move(next.query_name),
                                                 .type = next.type,
                                                 .address = next.address,
                                                 .op = std::move(next.op),
                                                 .key = std::move(next.key),
                                                 .over_tcp = nullptr});
      ++in_flight_;
      const Query& asked = *query;
      // The callback may run inside ares_query (a name c-ares cannot encode, for one).
      ares_query(channel_->get(), asked.query_name.c_str(), ns_c_in, asked.type, &Impl::OnAnswer,
                 query.release());
    }
    channel_->UpdateTimer();
  }

  static void OnAnswer(void* arg, int status, int /*timeouts*/, unsigned char* abuf, int alen) {
    std::unique_ptr<Query> query(static_cast<Query*>(arg));
    Impl& impl = *query->impl;
    LookupResult result = Unanswered(status);
    std::optional<std::chrono::seconds> lifetime;
    if (status == ARES_SUCCESS && abuf != nullptr) {
      result = query->type == ns_t_ptr ? ReadPtr(abuf, alen, query->address)
                                       : ReadAddresses(abuf, alen, query->type);
    }
    if (!result.failed && abuf != nullptr && alen > 0) {
      lifetime = AnswerLifetime({abuf, static_cast<std::size_t>(alen)});
    }
    // An answer cut with no records comes as "no data": the whole one may hold some.
    if (result.text.empty() && abuf != nullptr && !query->over_tcp && !impl.shut_down_ &&
        AnswerWasCut(abuf, alen)) {
      // Not from here: a new channel and query inside a c-ares callback re-enter c-ares.
      asio::post(impl.io_, [query = std::move(query)]() mutable {
        Impl& owner = *query->impl;
        owner.AskOverTcp(std::move(query));
      });
      return;
    }
    impl.Finish(std::move(query), std::move(result), lifetime);
  }

  void AskOverTcp(std::unique_ptr<Query> query) {
    auto channel = std::make_shared<AresChannel>(io_);
    ares_options opts{};
    int mask = BaseOptions(opts);
    opts.flags = ARES_FLAG_USEVC;
    if (shut_down_ || channel_->get() == nullptr || channel->Open(opts, mask) != ARES_SUCCESS ||
        !CopyServers(channel_->get(), channel->get())) {
      Finish(std::move(query), FailedLookup(), std::nullopt);
      return;
    }
    tcp_channels_.insert(channel);
    query->over_tcp = channel;
    const Query& asked = *query;
    ares_query(channel->get(), asked.query_name.c_str(), ns_c_in, asked.type, &Impl::OnAnswer,
               query.release());
    channel->UpdateTimer();
  }

  void Finish(std::unique_ptr<Query> query, const LookupResult& result,
              std::optional<std::chrono::seconds> lifetime) {
    if (query->over_tcp) {
      // Done with its channel; closed from outside the callback we may be in.
      tcp_channels_.erase(query->over_tcp);
      asio::post(io_, [channel = std::move(query->over_tcp)] { channel->Close(); });
    }
    --in_flight_;
    Deliver(std::move(query->op), query->key, result, lifetime);
    if (!shut_down_ && !queue_.empty()) {
      // Not from here: starting queries inside a c-ares callback re-enters the channel.
      asio::post(io_, [self = query->impl] { self->Pump(); });
    }
  }

  asio::io_context& io_;
  ResolverOptions options_;
  HostsFile hosts_{options_.hosts_file};

 public:
  HostsFile& hosts() { return hosts_; }

 private:
  std::shared_ptr<AresChannel> channel_;
  std::set<std::shared_ptr<AresChannel>> tcp_channels_;
  std::string error_;
  int max_in_flight_ = 1;
  int in_flight_ = 0;
  bool shut_down_ = false;
  // Whether the servers come from the system's file, and the watch on it.
  bool system_servers_ = true;
  FileWatch resolv_conf_watch_{options_.resolv_conf, options_.resolv_conf_recheck};
  std::deque<Pending> queue_;
  DnsCache cache_;
  // Lookups waiting for the answer to an identical one in flight, by its key.
  std::unordered_map<std::string, std::vector<std::unique_ptr<LookupOp>>> joined_;

  friend class Resolver;
};

namespace {

// An address text as the system's own lookups read it, where "1" is 0.0.0.1, in its usual
// form; "" for anything else. No blank may follow it, though inet_aton would allow one.
std::string AddressText(const std::string& name) {
  char text[INET6_ADDRSTRLEN] = {};
  in_addr v4{};
  in6_addr v6{};
  const char* written = nullptr;
  if (name.find_first_of(" \t\r\n") != std::string::npos) return "";
  if (inet_aton(name.c_str(), &v4) != 0) {
    written = inet_ntop(AF_INET, &v4, text, sizeof text);
  } else if (inet_pton(AF_INET6, name.c_str(), &v6) == 1) {
    written = inet_ntop(AF_INET6, &v6, text, sizeof text);
  }
  return written != nullptr ? written : "";
}

template <typename Token>
auto AsyncLookup(Resolver::Impl& impl, std::string query_name, int type, in_addr address,
                 Token&& token, bool shared = true) {
  return asio::async_initiate<Token, void(LookupResult)>(
      [&impl, shared](auto handler, std::string name, int query_type, in_addr addr) {
        impl.Lookup(std::move(name), query_type, addr, shared, std::move(handler));
      },
      token, std::move(query_name), type, address);
}

// The PTR name of an IPv6 address: its 32 nibbles, last first, under ip6.arpa.
std::string Ip6ArpaName(const in6_addr& address) { return ReversedNibbles(address) + "ip6.arpa"; }

}  // namespace

Resolver::Resolver(asio::io_context& io, ResolverOptions options)
    : impl_(std::make_shared<Impl>(io, std::move(options))) {}

Resolver::~Resolver() { impl_->Shutdown(); }

asio::awaitable<LookupResult> Resolver::ReverseLookup(std::string ip) {
  // The hosts file answers first, as it does for the system's own lookups.
  if (std::string name = impl_->hosts().NameFor(ip); !name.empty())
    co_return LookupResult{.text = name};
  in_addr address{};
  in6_addr address6{};
  std::string query_name;
  if (inet_pton(AF_INET, ip.c_str(), &address) == 1) {
    auto* b = reinterpret_cast<const unsigned char*>(&address);
    query_name = std::to_string(b[3]) + "." + std::to_string(b[2]) + "." + std::to_string(b[1]) +
                 "." + std::to_string(b[0]) + ".in-addr.arpa";
  } else if (inet_pton(AF_INET6, ip.c_str(), &address6) == 1) {
    // The address only goes into the parsed record; the name is what counts.
    query_name = Ip6ArpaName(address6);
  }
  // An empty query name completes with nothing, not failed, without asking anyone.
  co_return co_await AsyncLookup(*impl_, std::move(query_name), ns_t_ptr, address,
                                 asio::use_awaitable);
}

asio::awaitable<std::string> Resolver::GetHostFromIP(std::string ip) {
  co_return (co_await ReverseLookup(std::move(ip))).text;
}

asio::awaitable<LookupResult> Resolver::ForwardLookup(std::string name) {
  // A name that is an address text stands for itself, as with the system's own
  // lookups; some reverse zones give a peer's address text as its name.
  if (in_addr literal{}; inet_pton(AF_INET, name.c_str(), &literal) == 1) {
    char text[INET_ADDRSTRLEN] = {};
    co_return LookupResult{.text = inet_ntop(AF_INET, &literal, text, sizeof text) != nullptr ? text
                                                                                              : ""};
  }
  if (std::string address = impl_->hosts().AddressFor(name); !address.empty()) {
    co_return LookupResult{.text = address};
  }
  co_return co_await AsyncLookup(*impl_, std::move(name), ns_t_a, in_addr{}, asio::use_awaitable);
}

asio::awaitable<LookupResult> Resolver::ForwardLookup6(std::string name) {
  if (in6_addr literal{}; inet_pton(AF_INET6, name.c_str(), &literal) == 1) {
    co_return LookupResult{.text = AddressText(name)};
  }
  for (std::string& address : impl_->hosts().AddressesFor(name)) {
    if (address.find(':') != std::string::npos)
      co_return LookupResult{.text = AddressText(address)};
  }
  co_return co_await AsyncLookup(*impl_, std::move(name), ns_t_aaaa, in_addr{},
                                 asio::use_awaitable);
}

asio::awaitable<LookupResult> Resolver::ProbeLookup(std::string name) {
  co_return co_await AsyncLookup(*impl_, std::move(name), ns_t_a, in_addr{}, asio::use_awaitable,
                                 /*shared=*/false);
}

asio::awaitable<std::string> Resolver::GetIPFromHost(std::string name) {
  co_return (co_await ForwardLookup(std::move(name))).text;
}

asio::awaitable<AddressList> Resolver::ResolveAddresses(std::string name) {
  using namespace asio::experimental::awaitable_operators;
  AddressList found;
  std::string literal = AddressText(name);
  if (!literal.empty()) {
    found.addresses.push_back(std::move(literal));
    co_return found;
  }
  found.addresses = impl_->hosts().AddressesFor(name);
  if (!found.addresses.empty()) co_return found;
  std::tuple<LookupResult, LookupResult> answers =
      co_await (AsyncLookup(*impl_, name, ns_t_a, in_addr{}, asio::use_awaitable) &&
                AsyncLookup(*impl_, name, ns_t_aaaa, in_addr{}, asio::use_awaitable));
  LookupResult& v4 = std::get<0>(answers);
  LookupResult& v6 = std::get<1>(answers);
  found.addresses = std::move(v4.addresses);
  found.addresses.insert(found.addresses.end(), std::make_move_iterator(v6.addresses.begin()),
                         std::make_move_iterator(v6.addresses.end()));
  // One family's answer is enough; without any, a failure to get one is not "no such name".
  found.failed = found.addresses.empty() && (v4.failed || v6.failed);
  co_return found;
}

const std::string& Resolver::error() const { return impl_->error(); }
std::size_t Resolver::in_flight() const { return impl_->in_flight(); }
std::size_t Resolver::queued() const { return impl_->queued(); }
DnsCacheCounters Resolver::cache_counters() const { return impl_->cache_counters(); }

}  // namespace vantry
