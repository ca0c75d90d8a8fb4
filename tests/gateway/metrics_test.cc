// The metrics endpoint's parts: its address setting, its answers, its page and its bounds.
#include <gtest/gtest.h>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <thread>

#include "metrics/metrics_page.h"
#include "metrics/metrics_server.h"
#include "tcp_client.h"

namespace vantry {
namespace {

using namespace std::chrono_literals;
using testing::TcpClient;

TEST(ParseListenAddress, TakesLiteralAddressesWithAPortOnly) {
  struct Case {
    const char* text;
    const char* address;  // null: refused
    int port;
  };
  const Case cases[] = {
      {"127.0.0.1:9466", "127.0.0.1", 9466},
      {"[::1]:9466", "::1", 9466},
      {"0.0.0.0:65535", "0.0.0.0", 65535},
      {"", nullptr, 0},
      {"9466", nullptr, 0},
      {"localhost:9466", nullptr, 0},
      {"127.0.0.1:", nullptr, 0},
      {"127.0.0.1:0", nullptr, 0},
      {"127.0.0.1:65536", nullptr, 0},
      {"127.0.0.1:94a6", nullptr, 0},
      {"::1:9466", nullptr, 0},
      {"[127.0.0.1]:9466", nullptr, 0},
  };
  for (const Case& c : cases) {
    const auto endpoint = ParseListenAddress(c.text);
    if (c.address == nullptr) {
      EXPECT_FALSE(endpoint) << c.text;
      continue;
    }
    ASSERT_TRUE(endpoint) << c.text;
    EXPECT_EQ(endpoint->address().to_string(), c.address);
    EXPECT_EQ(endpoint->port(), c.port);
  }
}

TEST(MetricsResponse, AnswersGetMetricsOnlyAndSaysWhyOtherwise) {
  const auto page = [] { return std::string("vantry_up 1\n"); };
  struct Case {
    const char* head;
    const char* status_line;
  };
  const Case cases[] = {
      {"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
      {"GET /metrics?name[]=x HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
      {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n"},
      {"GET /metricsx HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n"},
      {"POST /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n"},
      {"GET /metrics\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"GET /metrics SMTP/1.0\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(MetricsResponse(c.head, page).starts_with(c.status_line)) << c.head;
  }
  EXPECT_EQ(MetricsResponse("GET /metrics HTTP/1.1\r\n\r\n", page),
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
            "Content-Length: 12\r\nConnection: close\r\n\r\nvantry_up 1\n");
  EXPECT_NE(MetricsResponse("PUT /metrics HTTP/1.1\r\n\r\n", page).find("\r\nAllow: GET\r\n"),
            std::string::npos);
}

// promtool reads such a page in the end-to-end test.
TEST(RenderMetricsPage, ZoneLatencyIsACumulativeHistogramAndLabelsAreEscaped) {
  VerdictCounts verdicts;
  verdicts.Count("BL", "Manual \"Block\"");
  ZoneCountersTable zones;
  ZoneCounters& zone = zones["bl.example"];
  zone.lookups = 4;
  for (double seconds : {0.001, 0.03, 0.04, 9.0}) zone.RecordLatency(seconds);
  zone.listings_by_type["2"] = 3;
  const std::string page = RenderMetricsPage({.verdicts = verdicts, .zones = zones});
  for (const char* line : {
           "vantry_connections_total{verdict=\"BL\",block_type=\"Manual \\\"Block\\\"\"} 1\n",
           "vantry_zone_listings_total{zone=\"bl.example\",type=\"2\"} 3\n",
           "vantry_zone_lookup_duration_seconds_bucket{zone=\"bl.example\",le=\"0.005\"} 1\n",
           "vantry_zone_lookup_duration_seconds_bucket{zone=\"bl.example\",le=\"0.025\"} 1\n",
           "vantry_zone_lookup_duration_seconds_bucket{zone=\"bl.example\",le=\"0.05\"} 3\n",
           "vantry_zone_lookup_duration_seconds_bucket{zone=\"bl.example\",le=\"5\"} 3\n",
           "vantry_zone_lookup_duration_seconds_bucket{zone=\"bl.example\",le=\"+Inf\"} 4\n",
           "vantry_zone_lookup_duration_seconds_count{zone=\"bl.example\"} 4\n",
       }) {
    EXPECT_NE(page.find(line), std::string::npos) << line << page;
  }
}

// Scrapes on their own loop thread, the test as a plain blocking client.
class MetricsServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(server_.Listen({asio::ip::address_v4::loopback(), 0}));
    thread_ = std::thread([this] { io_.run(); });
  }
  void TearDown() override {
    io_.stop();
    thread_.join();
  }
  int port() const { return server_.local_endpoint().port(); }

  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> work_{io_.get_executor()};
  MetricsServer server_{io_, [] { return std::string("vantry_up 1\n"); }, 300ms};
  std::thread thread_;
};

TEST_F(MetricsServerTest, SilentScrapersHoldAtMostTheLimitUntilTheirDeadline) {
  std::vector<TcpClient> silent(MetricsServer::kMaxScrapes);
  for (auto& client : silent) ASSERT_TRUE(client.Connect(port()));
  std::this_thread::sleep_for(50ms);
  TcpClient over;
  ASSERT_TRUE(over.Connect(port()));
  EXPECT_EQ(over.ReadToEnd(200ms), "");  // closed at once, not left waiting
  for (auto& client : silent) EXPECT_EQ(client.ReadToEnd(2s), "");
  TcpClient scraper;
  ASSERT_TRUE(scraper.Connect(port()));
  ASSERT_TRUE(scraper.SendAll("GET /metrics HTTP/1.1\r\n\r\n"));
  EXPECT_TRUE(scraper.ReadToEnd(2s).ends_with("\r\n\r\nvantry_up 1\n"));
}

TEST_F(MetricsServerTest, AnOversizedRequestHeadIsRefused) {
  TcpClient client;
  ASSERT_TRUE(client.Connect(port()));
  ASSERT_TRUE(client.SendAll("GET /metrics HTTP/1.1\r\nX: " +
                             std::string(MetricsServer::kMaxRequestHead, 'x') + "\r\n\r\n"));
  EXPECT_TRUE(client.ReadToEnd(2s).starts_with("HTTP/1.1 431 "));
}

}  // namespace
}  // namespace vantry
