// The relay pump on its own: two loopback connections per pair, the peers
// driven by blocking test clients, the pump by an io_context on a thread.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
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

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

asio::ip::tcp::endpoint Loopback(int port) {
  return {asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)};
}

// A loopback port where nothing listens: connecting to it is refused.
int ClosedPort() {
  asio::io_context io;
  asio::ip::tcp::acceptor probe(io, Loopback(0));
  return probe.local_endpoint().port();
}

// A listener whose queue is full, so that a further connection attempt gets
// no answer at all and can only time out.
class SilentListener {
 public:
  SilentListener() : acceptor_(io_, Loopback(0)) {
    acceptor_.listen(0);
    EXPECT_TRUE(queued_.Connect(port()));
  }
  int port() const { return acceptor_.local_endpoint().port(); }

 private:
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  TcpClient queued_;
};

// The pump's "inbound" socket faces `client`; the pump connects its outbound
// socket to the first of `endpoints` that answers and, unless told otherwise,
// to the pair's own listener, whose accepted end is `server`.
class RelayedPair {
 public:
  explicit RelayedPair(std::vector<asio::ip::tcp::endpoint> before = {},
                       std::chrono::milliseconds connect_timeout = 5s, bool listener_too = true)
      : pump_(io_, connect_timeout), listener_(io_, Loopback(0)) {
    EXPECT_TRUE(client.Connect(listener_.local_endpoint().port()));
    listener_.accept(inbound_);
    if (listener_too) before.push_back(listener_.local_endpoint());
    asio::co_spawn(
        io_,
        [this, endpoints = std::make_shared<const MailServerAddresses>(
                   std::move(before))]() -> asio::awaitable<void> {
          outcome_ = co_await pump_.Relay(inbound_.native_handle(), endpoints, outbound_);
          io_.stop();
        },
        asio::detached);
    // Bounded, so a relay that never ends fails the test instead of hanging it.
    loop_ = std::thread([this] { io_.run_for(20s); });
  }
  ~RelayedPair() {
    io_.stop();
    if (loop_.joinable()) loop_.join();
  }

  /// Takes the pump's connection from the pair's listener into `server`.
  void AcceptServer() {
    asio::ip::tcp::socket accepted(io_);
    listener_.accept(accepted);
    server.Adopt(accepted.release());
  }

  /// Waits for the relay to end. Empty if it did not end.
  std::optional<RelayOutcome> Outcome() {
    loop_.join();
    return outcome_;
  }

  TcpClient client;
  TcpClient server;

 private:
  asio::io_context io_;
  RelayPump pump_;
  asio::ip::tcp::acceptor listener_;
  asio::ip::tcp::socket inbound_{io_};
  UniqueFd outbound_;
  std::optional<RelayOutcome> outcome_;
  std::thread loop_;
};

TEST(RelayPump, AClientThatClosesStillHasItsLastBytesDelivered) {
  RelayedPair pair;
  pair.AcceptServer();
  const std::string up = Pattern(4 * 1024 * 1024, 3);
  std::thread client_side([&] {
    pair.client.SendAll(up);
    pair.client.Close();
  });
  // The server reads late: the close arrives while bytes still wait for it.
  std::this_thread::sleep_for(300ms);
  const std::string at_server = pair.server.ReadExactly(up.size(), 30s);
  client_side.join();
  EXPECT_TRUE(at_server == up) << "server got " << at_server.size() << " of " << up.size();
  auto outcome = pair.Outcome();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->end, RelayEnd::kInboundClosed);
}

// A server that closes first, and a refused address, are seen end to end.
TEST(RelayPump, TheOutcomeNamesTheSideThatEnded) {
  {
    RelayedPair pair;
    pair.AcceptServer();
    // The last line and the close arrive together: one read takes both the
    // line and the close, and the close must not wait for another signal.
    ASSERT_TRUE(pair.client.SendAll("QUIT\r\n"));
    pair.client.Close();
    EXPECT_EQ(pair.server.ReadUntil("\r\n"), "QUIT\r\n");
    auto outcome = pair.Outcome();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->end, RelayEnd::kInboundClosed);
  }
  {
    RelayedPair pair;
    pair.AcceptServer();
    // A close with linger 0 resets the connection.
    linger reset{1, 0};
    setsockopt(pair.client.fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    pair.client.Close();
    auto outcome = pair.Outcome();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->end, RelayEnd::kInboundError);
    EXPECT_EQ(outcome->error, std::errc::connection_reset);
  }
}

TEST(RelayPump, AnAddressThatRefusesOrNeverAnswersIsPassedOverForTheNext) {
  SilentListener silent;
  RelayedPair pair({Loopback(ClosedPort()), Loopback(silent.port())}, 300ms);
  // Sent while no connection is made yet: it has to wait, not be lost.
  ASSERT_TRUE(pair.client.SendAll("EHLO early\r\n"));
  pair.AcceptServer();
  EXPECT_EQ(pair.server.ReadUntil("\r\n", 5s), "EHLO early\r\n");
  ASSERT_TRUE(pair.server.SendAll("250 ok\r\n"));
  EXPECT_EQ(pair.client.ReadUntil("\r\n"), "250 ok\r\n");
  pair.server.Close();
  auto outcome = pair.Outcome();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->end, RelayEnd::kOutboundClosed);
}

TEST(RelayPump, WhenNoAddressTakesTheConnectionTheLastReasonIsTheOutcome) {
  {
    SilentListener silent;
    const auto started = std::chrono::steady_clock::now();
    RelayedPair pair({Loopback(ClosedPort()), Loopback(silent.port())}, 300ms, false);
    auto outcome = pair.Outcome();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->end, RelayEnd::kOutboundError);
    EXPECT_EQ(outcome->error, std::errc::timed_out);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
  }
  {
    // The client gives up while the connection is still being made.
    SilentListener silent;
    RelayedPair pair({Loopback(silent.port())}, 10s, false);
    std::this_thread::sleep_for(100ms);
    pair.client.Close();
    auto outcome = pair.Outcome();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->end, RelayEnd::kInboundClosed);
  }
}

// One of several clients relayed by a shared pump.
struct PumpedClient {
  explicit PumpedClient(asio::io_context& io) : inbound(io) {}
  TcpClient client;
  asio::ip::tcp::socket inbound;
  UniqueFd outbound;
  std::optional<RelayOutcome> outcome;
  std::chrono::steady_clock::duration ended_after{};
};

asio::awaitable<void> RelayAfter(RelayPump& pump, PumpedClient& pumped, asio::ip::tcp::endpoint to,
                                 std::chrono::milliseconds delay,
                                 std::chrono::steady_clock::time_point started, int& finished) {
  asio::steady_timer wait(co_await asio::this_coro::executor, delay);
  co_await wait.async_wait(asio::use_awaitable);
  pumped.outcome =
      co_await pump.Relay(pumped.inbound.native_handle(),
                          std::make_shared<const MailServerAddresses>(1, to), pumped.outbound);
  pumped.ended_after = std::chrono::steady_clock::now() - started;
  ++finished;
}

TEST(RelayPump, EachPendingConnectionRunsOutOnItsOwnTime) {
  // Three clients on one pump: the first and third wait on addresses that
  // never answer, the second gets through in between and keeps relaying.
  asio::io_context io;
  RelayPump pump(io, 300ms);
  asio::ip::tcp::acceptor listener(io, Loopback(0));
  SilentListener silent;
  const int port = listener.local_endpoint().port();
  std::vector<std::unique_ptr<PumpedClient>> pumped;
  for (int i = 0; i < 3; ++i) {
    pumped.push_back(std::make_unique<PumpedClient>(io));
    ASSERT_TRUE(pumped.back()->client.Connect(port));
    listener.accept(pumped.back()->inbound);
  }
  const auto started = std::chrono::steady_clock::now();
  int finished = 0;
  asio::co_spawn(io, RelayAfter(pump, *pumped[0], Loopback(silent.port()), 0ms, started, finished),
                 asio::detached);
  asio::co_spawn(io, RelayAfter(pump, *pumped[1], Loopback(port), 100ms, started, finished),
                 asio::detached);
  asio::co_spawn(io,
                 RelayAfter(pump, *pumped[2], Loopback(silent.port()), 150ms, started, finished),
                 asio::detached);
  std::thread loop([&] {
    for (auto deadline = started + 10s;
         finished < 3 && std::chrono::steady_clock::now() < deadline;)
      io.run_one_for(100ms);
  });

  // The second client's connection reaches the listener while the other two
  // are still pending, and relays in between their timeouts.
  TcpClient server;
  asio::ip::tcp::socket accepted(io);
  listener.accept(accepted);
  server.Adopt(accepted.release());
  ASSERT_TRUE(server.SendAll("220 second\r\n"));
  EXPECT_EQ(pumped[1]->client.ReadUntil("\r\n"), "220 second\r\n");
  server.Close();
  loop.join();

  for (const auto& one : pumped) ASSERT_TRUE(one->outcome);
  EXPECT_EQ(pumped[0]->outcome->error, std::errc::timed_out);
  EXPECT_EQ(pumped[1]->outcome->end, RelayEnd::kOutboundClosed);
  EXPECT_EQ(pumped[2]->outcome->error, std::errc::timed_out);
  EXPECT_GE(pumped[0]->ended_after, 300ms);
  EXPECT_GE(pumped[2]->ended_after, 450ms);
  EXPECT_LT(pumped[2]->ended_after, 5s);
}

}  // namespace
}  // namespace vantry
