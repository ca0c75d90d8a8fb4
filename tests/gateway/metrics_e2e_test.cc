// A running gateway's metrics, scraped over HTTP after real sessions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "child_process.h"
#include "dns_fixture.h"
#include "gateway_fixture.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace vantry::testing {
namespace {

// The value of the sample `series` (name and labels as written), or -1 when it is missing.
long long Sample(const std::string& page, const std::string& series) {
  const std::string start = series + " ";
  for (std::size_t at = page.find(start); at != std::string::npos; at = page.find(start, at + 1)) {
    if (at == 0 || page[at - 1] == '\n') return std::stoll(page.substr(at + start.size()));
  }
  return -1;
}

std::string Scrape(int port) {
  TcpClient client;
  if (!client.Connect(port)) return "[no connection]";
  client.SendAll("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  return client.ReadToEnd(5s);
}

// The exposition format as Prometheus itself reads it.
void ExpectPromtoolAccepts(const std::string& page) {
  if (access("/usr/bin/promtool", X_OK) != 0) GTEST_SKIP() << "no promtool";
  TempDir dir;
  WriteFileText(dir.File("page.txt"), page);
  std::string output;
  EXPECT_EQ(
      RunCommand({"sh", "-c", "promtool check metrics < " + dir.File("page.txt")}, {}, &output), 0)
      << output;
  EXPECT_EQ(output, "");
}

TEST(GatewayMetrics, AScrapeCountsPassedRefusedTurnedAwayAndIdleSessions) {
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  GatewayFixture::Options options = RelayOnlyOptions(sink.port());
  const int metrics_port = FreePort();
  options.settings["MetricsListen"] = "127.0.0.1:" + std::to_string(metrics_port);
  options.settings["MaxPerIP"] = 1LL;
  options.settings["IdleTimeout"] = 1LL;
  options.manual = {"127.0.0.2"};
  GatewayFixture gateway(options);
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  {
    TcpClient passed;
    ASSERT_TRUE(passed.Connect(gateway.port()));
    ASSERT_TRUE(passed.ReadUntil("\r\n").starts_with("220 ")) << gateway.Trace();
    ASSERT_TRUE(passed.SendAll("QUIT\r\n"));
    ASSERT_TRUE(passed.ReadUntil("\r\n").starts_with("221 "));
    TcpClient refused;
    ASSERT_TRUE(refused.Connect(gateway.port(), "127.0.0.2"));
    refused.ReadToEnd(5s);
  }
  TcpClient held;
  ASSERT_TRUE(held.Connect(gateway.port(), "127.0.0.3"));
  ASSERT_TRUE(held.ReadUntil("\r\n").starts_with("220 "));
  TcpClient over;
  ASSERT_TRUE(over.Connect(gateway.port(), "127.0.0.3"));
  ASSERT_TRUE(over.ReadToEnd(5s).starts_with("421 "));
  EXPECT_EQ(Sample(Scrape(metrics_port), "vantry_slots_in_use"), 1);

  ASSERT_TRUE(gateway.WaitForTrace("Closing idle socket")) << gateway.Trace();
  const std::string response = Scrape(metrics_port);
  ASSERT_TRUE(response.starts_with("HTTP/1.1 200 OK\r\n")) << response;
  const std::string page = response.substr(response.find("\r\n\r\n") + 4);
  EXPECT_EQ(Sample(page, R"(vantry_connections_total{verdict="OK",block_type=""})"), 2) << page;
  EXPECT_EQ(CountOccurrences(page, "vantry_connections_total{verdict=\"BL\""), 1) << page;
  EXPECT_EQ(Sample(page, "vantry_per_address_refusals_total"), 1);
  EXPECT_EQ(Sample(page, "vantry_idle_timeouts_total"), 1);
  EXPECT_EQ(Sample(page, R"(vantry_relayed_bytes_total{direction="to_mail_server"})"), 6) << page;
  EXPECT_GT(Sample(page, R"(vantry_relayed_bytes_total{direction="to_client"})"), 8);
  EXPECT_EQ(Sample(page, "vantry_slots_in_use"), 0);
  EXPECT_GT(Sample(page, "vantry_start_time_seconds"), 1'600'000'000);

  ExpectPromtoolAccepts(page);
}

// The screening's own counters, read from the zones and the resolver at each scrape.
TEST(GatewayMetrics, ZoneLookupsListingsAndTheDnsCacheReachThePage) {
  DnsFixture dns;
  ASSERT_TRUE(dns.ready()) << dns.error();
  SmtpSink sink;
  ASSERT_TRUE(sink.ready());
  const int metrics_port = FreePort();
  GatewayFixture gateway(GatewayFixture::Options{
      .smtp_port = sink.port(),
      .settings = {{"DNSServers", dns.DNSServers()},
                   {"MetricsListen", "127.0.0.1:" + std::to_string(metrics_port)}},
      .zones = {dns::kZone1}});
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  for (const std::string& peer : {dns::kGoodPeer, dns::kListedType2}) {
    TcpClient client;
    ASSERT_TRUE(client.Connect(gateway.port(), peer));
    client.ReadUntil("\r\n");  // the greeting or the refusal: the verdict is in
  }
  const std::string response = Scrape(metrics_port);
  const std::string page = response.substr(response.find("\r\n\r\n") + 4);
  const std::string zone = "zone=\"" + dns::kZone1 + "\"";
  EXPECT_EQ(Sample(page, "vantry_zone_lookups_total{" + zone + "}"), 2) << page;
  EXPECT_EQ(Sample(page, "vantry_zone_listings_total{" + zone + ",type=\"2\"}"), 1) << page;
  EXPECT_EQ(Sample(page, "vantry_zone_lookup_duration_seconds_count{" + zone + "}"), 2) << page;
  EXPECT_GT(Sample(page, "vantry_dns_cache_misses_total"), 0) << page;
  ExpectPromtoolAccepts(page);
}

TEST(GatewayMetrics, AMetricsListenThatIsNoAddressStopsTheGatewayWithOneLine) {
  GatewayFixture::Options options = RelayOnlyOptions(FreePort());
  options.settings["MetricsListen"] = "localhost:9466";
  options.wait_until_listening = false;
  GatewayFixture gateway(options);
  EXPECT_EQ(gateway.process().Wait(10s), 1);
  EXPECT_EQ(gateway.CountInTrace("Cannot serve metrics on \"localhost:9466\": "), 1)
      << gateway.Trace();
  EXPECT_EQ(gateway.CountInTrace(" sockets listening "), 0);
}

}  // namespace
}  // namespace vantry::testing
