// The relay pump on its own: peers driven by blocking test clients, the pump by a loop thread.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "relay.h"
#include "tcp_client.h"

namespace vantry {
namespace {

using testing::TcpClient;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

asio::ip::tcp::endpoint Loopback(int port) {
  return {asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)};
}

// One pump relaying clients that connect through its listener: each relay's inbound socket
// faces the test's `client`, its outbound socket goes to the first of its endpoints that
// answers; the listener itself is one, whose accepted end AcceptServer() hands out, and
// silent() is one that never answers (a listener whose queue is full).
class Pump {
 public:
  struct Relayed {
    explicit Relayed(asio::io_context& io) : inbound(io) {}
    TcpClient client;
    asio::ip::tcp::socket inbound;
    UniqueFd outbound;
    std::optional<RelayOutcome> outcome;
    Clock::duration took{};
  };

  explicit Pump(std::chrono::milliseconds connect_timeout = 5s,
                std::chrono::milliseconds idle_timeout = 0ms)
      : pump_(io_, connect_timeout, idle_timeout),
        listener_(io_, Loopback(0)),
        silent_(io_, Loopback(0)) {
    silent_.listen(0);
    EXPECT_TRUE(queued_.Connect(silent().port()));
  }
  ~Pump() { Join(); }
  asio::ip::tcp::endpoint listener() const { return listener_.local_endpoint(); }
  asio::ip::tcp::endpoint silent() const { return silent_.local_endpoint(); }

  /// A client whose relay to `to` starts `delay` after Run(), sending `preamble` first.
  Relayed& Add(MailServerAddresses to, std::chrono::milliseconds delay = 0ms,
               std::string preamble = {}) {
    Relayed& r = *relayed_.emplace_back(std::make_unique<Relayed>(io_));
    EXPECT_TRUE(r.client.Connect(listener().port()));
    listener_.accept(r.inbound);
    auto shared = std::make_shared<const MailServerAddresses>(std::move(to));
    asio::co_spawn(
        io_,
        [this, &r, delay, shared, preamble]() -> asio::awaitable<void> {
          asio::steady_timer wait(io_, delay);
          co_await wait.async_wait(asio::use_awaitable);
          r.outcome = co_await pump_.Relay(r.inbound.native_handle(), shared, r.outbound, preamble);
          r.took = Clock::now() - started_;
          ++finished_;
        },
        asio::detached);
    return r;
  }
  /// Runs the relays on a thread, for at most 20 s, so one that never ends fails the test
  /// instead of hanging it.
  void Run() {
    started_ = Clock::now();
    loop_ = std::thread([this] {
      while (finished_ < relayed_.size() && Clock::now() < started_ + 20s) io_.run_one_for(100ms);
    });
  }
  TcpClient AcceptServer() {
    asio::ip::tcp::socket accepted(io_);
    listener_.accept(accepted);
    TcpClient server;
    server.Adopt(accepted.release());
    return server;
  }
  /// Waits for every relay to end.
  void Join() {
    if (loop_.joinable()) loop_.join();
  }

 private:
  asio::io_context io_;
  RelayPump pump_;
  asio::ip::tcp::acceptor listener_, silent_;
  TcpClient queued_;
  std::vector<std::unique_ptr<Relayed>> relayed_;
  std::size_t finished_ = 0;
  Clock::time_point started_;
  std::thread loop_;
};

// A client that closes still has its last bytes delivered: whether they wait in the pump
// because the server reads late, or arrive with the close so that one read takes both and the
// close must not wait for another signal. A close with linger 0 is a reset.
TEST(RelayPump, AClosedOrResetClientEndsTheRelayAsSuch) {
  struct Case {
    std::string up;
    bool reset;
  };
  for (const Case& c : {Case{testing::BinaryPayload(4 * 1024 * 1024, 3), false},
                        Case{"QUIT\r\n", false}, Case{"", true}}) {
    SCOPED_TRACE(c.up.size());
    Pump pump;
    Pump::Relayed& relayed = pump.Add({pump.listener()});
    pump.Run();
    TcpClient server = pump.AcceptServer();
    linger reset{1, 0};
    if (c.reset) setsockopt(relayed.client.fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    std::thread client_side([&] {
      relayed.client.SendAll(c.up);
      relayed.client.Close();
    });
    std::this_thread::sleep_for(300ms);
    const std::string at_server = server.ReadExactly(c.up.size(), 30s);
    client_side.join();
    EXPECT_TRUE(at_server == c.up) << "server got " << at_server.size() << " of " << c.up.size();
    pump.Join();
    ASSERT_TRUE(relayed.outcome);
    EXPECT_EQ(relayed.outcome->end, c.reset ? RelayEnd::kInboundError : RelayEnd::kInboundClosed);
    EXPECT_TRUE(!c.reset || relayed.outcome->error == std::errc::connection_reset);
  }
}

// Clients on one pump: three wait on addresses that never answer, one of them after a refusal;
// one gets through in between and keeps relaying; one gives up while still being connected; one
// is passed over from a refusing and a silent address to the next, its preamble still ahead of
// what it sent meanwhile.
TEST(RelayPump, EachPendingConnectionRunsOutOnItsOwnTime) {
  Pump pump(1s);
  const auto refusing = Loopback(testing::FreePort()), never = pump.silent();
  Pump::Relayed& first = pump.Add({never});
  Pump::Relayed& through = pump.Add({pump.listener()}, 100ms);
  Pump::Relayed& later = pump.Add({never}, 150ms);
  Pump::Relayed& refused = pump.Add({refusing, never});
  Pump::Relayed& leaves = pump.Add({never});
  Pump::Relayed& passed_over =
      pump.Add({refusing, never, pump.listener()}, 0ms, "PROXY UNKNOWN\r\n");
  // Sent while no connection is made yet: it has to wait, not be lost.
  ASSERT_TRUE(passed_over.client.SendAll("EHLO early\r\n"));
  pump.Run();
  std::this_thread::sleep_for(100ms);
  leaves.client.Close();

  // The connection reaches the listener while the others are still pending, and relays in
  // between their timeouts.
  TcpClient server = pump.AcceptServer();
  ASSERT_TRUE(server.SendAll("220 second\r\n"));
  EXPECT_EQ(through.client.ReadUntil("\r\n"), "220 second\r\n");
  server.Close();
  TcpClient last = pump.AcceptServer();
  EXPECT_EQ(last.ReadUntil("EHLO early\r\n", 5s), "PROXY UNKNOWN\r\nEHLO early\r\n");
  last.Close();
  pump.Join();

  for (auto* r : {&first, &through, &later, &refused, &leaves, &passed_over})
    ASSERT_TRUE(r->outcome);
  for (auto* r : {&first, &later, &refused}) {
    EXPECT_EQ(r->outcome->end, RelayEnd::kConnectFailed);
    EXPECT_EQ(r->outcome->error, std::errc::timed_out);
  }
  EXPECT_EQ(through.outcome->end, RelayEnd::kOutboundClosed);
  EXPECT_EQ(passed_over.outcome->end, RelayEnd::kOutboundClosed);
  EXPECT_EQ(leaves.outcome->end, RelayEnd::kInboundClosed);
  for (auto* r : {&first, &refused, &passed_over}) EXPECT_GE(r->took, 1s);
  EXPECT_GE(later.took, 1150ms);
  EXPECT_LT(later.took, 5s);
}

// The idle time counts from the made connection: bytes either way put the end off, a connection
// still being made is left to its own timeout, and a quiet one ends on time.
TEST(RelayPump, OnlyAMadeConnectionWithoutBytesEndsAsIdle) {
  Pump pump(800ms, 400ms);
  Pump::Relayed& quiet = pump.Add({pump.listener()});
  Pump::Relayed& talking = pump.Add({pump.listener()});
  Pump::Relayed& pending = pump.Add({pump.silent()});
  pump.Run();
  TcpClient quiet_server = pump.AcceptServer();
  TcpClient talking_server = pump.AcceptServer();
  // A byte every 100 ms, up to and down by turns, for 600 ms.
  for (int i = 0; i < 6; ++i) {
    std::this_thread::sleep_for(100ms);
    if (i % 2 == 0) {
      ASSERT_TRUE(talking.client.SendAll("x"));
      EXPECT_EQ(talking_server.ReadUntil("x", 1s), "x");
    } else {
      ASSERT_TRUE(talking_server.SendAll("y"));
      EXPECT_EQ(talking.client.ReadUntil("y", 1s), "y");
    }
  }
  pump.Join();
  for (auto* r : {&quiet, &talking, &pending}) ASSERT_TRUE(r->outcome);
  EXPECT_EQ(quiet.outcome->end, RelayEnd::kIdle);
  EXPECT_GE(quiet.took, 400ms);
  EXPECT_LT(quiet.took, 1500ms);
  EXPECT_EQ(talking.outcome->end, RelayEnd::kIdle);
  EXPECT_GE(talking.took, 1000ms);
  EXPECT_EQ(pending.outcome->end, RelayEnd::kConnectFailed);
  EXPECT_EQ(pending.outcome->error, std::errc::timed_out);
}

}  // namespace
}  // namespace vantry
