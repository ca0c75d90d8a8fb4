// The relay pump on its own: two loopback connections per pair, the peers
// driven by blocking test clients, the pump by an io_context on a thread.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <optional>
#include <string>
#include <thread>

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
        [this, endpoints = std::move(before)]() -> asio::awaitable<void> {
          outcome_ = co_await pump_.Relay(inbound_, endpoints, outbound_);
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

TEST(RelayPump, BothWaysByteExactWhileEachReaderLagsBehind) {
  RelayedPair pair;
  pair.AcceptServer();
  // Small receive buffers at both peers, and readers that start late: both
  // directions fill up and the pump has to hold bytes and resume each side.
  const int small = 64 * 1024;
  for (int fd : {pair.client.fd(), pair.server.fd()}) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  }
  const std::string up = Pattern(8 * 1024 * 1024 + 3, 1);
  const std::string down = Pattern(6 * 1024 * 1024 + 5, 2);
  std::thread client_writer([&] { pair.client.SendAll(up); });
  std::thread server_writer([&] { pair.server.SendAll(down); });
  std::this_thread::sleep_for(300ms);
  std::string at_server;
  std::thread server_reader([&] { at_server = pair.server.ReadExactly(up.size(), 60s); });
  const std::string at_client = pair.client.ReadExactly(down.size(), 60s);
  server_reader.join();
  client_writer.join();
  server_writer.join();
  EXPECT_TRUE(at_server == up) << "server got " << at_server.size() << " of " << up.size();
  EXPECT_TRUE(at_client == down) << "client got " << at_client.size() << " of " << down.size();

  pair.client.Close();
  auto outcome = pair.Outcome();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->end, RelayEnd::kInboundClosed);
  EXPECT_FALSE(outcome->error);
}

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

TEST(RelayPump, TheOutcomeNamesTheSideThatEnded) {
  {
    RelayedPair pair;
    pair.AcceptServer();
    ASSERT_TRUE(pair.server.SendAll("220 ready\r\n"));
    EXPECT_EQ(pair.client.ReadUntil("\r\n"), "220 ready\r\n");
    pair.server.Close();
    auto outcome = pair.Outcome();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->end, RelayEnd::kOutboundClosed);
    EXPECT_FALSE(outcome->error);
  }
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
    RelayedPair pair({Loopback(ClosedPort()), Loopback(ClosedPort())}, 5s, false);
    auto outcome = pair.Outcome();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->end, RelayEnd::kOutboundError);
    EXPECT_EQ(outcome->error, std::errc::connection_refused);
  }
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

}  // namespace
}  // namespace vantry
