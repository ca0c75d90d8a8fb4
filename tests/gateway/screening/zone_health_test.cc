#include "zone_health.h"

#include <gtest/gtest.h>

#include <thread>

#include "dns_fixture.h"
#include "gateway_fixture.h"
#include "run_awaitable.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace vantry {
namespace {

using Lines = std::vector<std::string>;

const std::string kHealthy = "ok.vantry.test";
const std::string kEverything = "all.vantry.test";
const std::string kRefusing = "refuse.vantry.test";
const std::string kDead = "dead.vantry.test";
const std::string kSix = "v6.vantry.test";  // an IPv6 zone

class ZoneHealthTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testing::DnsRecords records = testing::StandardDnsRecords();
    records.zones = {{kHealthy, {{"127.0.0.2", "127.0.0.2"}, {"127.0.0.12", "127.0.0.2"}}},
                     {kEverything, {{"0.0.0.0/0", "127.0.0.2"}}},
                     {kRefusing, {{"0.0.0.0/0", "127.255.255.254"}}},
                     {kDead, {{"127.0.0.9", "127.0.0.2"}}},
                     {kSix, {{"::ffff:7f00:2", "127.0.0.2"}}}};
    dns_ = std::make_unique<testing::DnsFixture>(records);
  }
  static void TearDownTestSuite() { dns_.reset(); }
  void SetUp() override { ASSERT_TRUE(dns_->ready()) << dns_->error(); }

  static inline std::unique_ptr<testing::DnsFixture> dns_;
};

// Each kind of zone is found out; a zone that lists everything is left out of the screening, the
// others are kept; the probes go past the cache, so a second round asks the servers again.
TEST_F(ZoneHealthTest, ProbesTellEachKindOfZoneAndTheScreeningSkipsOnlyOneListingEverything) {
  asio::io_context io;
  Resolver resolver(io, {.dns_servers = dns_->DNSServers(), .cache_size = 100});
  const std::vector<std::string> zones = {kEverything, kHealthy, kRefusing, kDead, kSix};
  ConfigSettings settings;
  RBLResult record;
  Lines trace, events;
  CRBL checker(
      resolver, settings, zones, [&](std::int32_t) { return &record; },
      [&](std::string_view line) { trace.emplace_back(line); });
  checker.evNotListed = [&](std::int32_t) { events.push_back("not listed"); };
  checker.evBlackListed = [&](std::int32_t, const std::string& ip, const std::string& zone,
                              const std::string&) { events.push_back(ip + "|" + zone); };
  ZoneHealth health(
      io, resolver, zones, [&](std::string_view line) { trace.emplace_back(line); }, &checker);
  std::vector<ZoneProbe> probes = testing::RunAwaitable(io, health.ProbeAll());
  ASSERT_EQ(probes.size(), 5u);
  std::string states;
  for (const ZoneProbe& probe : probes) {
    states += probe.zone + "=" + std::string(ZoneStateName(probe.state)) + " ";
    EXPECT_GT(probe.round_trip_ms, 0) << probe.zone;
  }
  EXPECT_EQ(states, kEverything + "=lists everything " + kHealthy + "=healthy " + kRefusing +
                        "=refusing " + kDead + "=not working " + kSix + "=healthy ");
  EXPECT_EQ(trace,
            (Lines{"Zone " + kEverything +
                       " unhealthy: lists 127.0.0.1 (127.0.0.2); skipped until healthy again",
                   "Zone " + kRefusing +
                       " unhealthy: answers 127.255.255.254 (refuses our queries); kept",
                   "Zone " + kDead + " not working: does not list 127.0.0.2; kept"}));
  EXPECT_TRUE(checker.IsSkipped(kEverything));
  EXPECT_FALSE(checker.IsSkipped(kRefusing));

  // Unchanged states are not traced again, and nothing came from the cache.
  trace.clear();
  testing::RunAwaitable(io, health.ProbeAll());
  EXPECT_EQ(trace, Lines{});
  EXPECT_EQ(resolver.cache_counters().hits, 0u);

  // Not refused by the zone that lists everybody, which is not even asked; listed by the next.
  for (const char* peer : {"127.0.0.5", "127.0.0.12"})
    testing::RunAwaitable(io, checker.CheckRBL(peer, 0));
  EXPECT_EQ(events, (Lines{"not listed", "127.0.0.12|" + kHealthy}));
  EXPECT_EQ(checker.zone_counters().count(kEverything), 0u);
  EXPECT_EQ(checker.zone_counters().at(kHealthy).lookups, 2u);
}

// The state is traced again when it changes back, and the screening takes the zone back.
TEST_F(ZoneHealthTest, AZoneThatRecoversIsTracedAndTakenBack) {
  testing::DnsRecords records;
  records.zones = {{"flip.vantry.test", {{"0.0.0.0/0", "127.0.0.2"}}}};
  testing::DnsFixture servers(records);
  ASSERT_TRUE(servers.ready()) << servers.error();
  asio::io_context io;
  Resolver resolver(io, {.dns_servers = servers.RbldnsdServers()});
  const std::vector<std::string> zones = {"flip.vantry.test"};
  ConfigSettings settings;
  CRBL checker(
      resolver, settings, zones, [](std::int32_t) { return nullptr; }, nullptr);
  Lines trace;
  ZoneHealth health(
      io, resolver, zones, [&](std::string_view line) { trace.emplace_back(line); }, &checker);
  testing::RunAwaitable(io, health.ProbeAll());
  EXPECT_TRUE(checker.IsSkipped(zones[0]));
  servers.RewriteZone(0, {zones[0], {{"127.0.0.2/32", "127.0.0.2"}}});
  EXPECT_TRUE(testing::RunUntil(io, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    testing::RunAwaitable(io, health.ProbeAll());
    return health.StateOf(zones[0]) == ZoneState::kHealthy;
  }));
  EXPECT_FALSE(checker.IsSkipped(zones[0]));
  ASSERT_EQ(trace.size(), 2u);
  EXPECT_EQ(trace[1], "Zone flip.vantry.test healthy again");
}

// A zone that answers its probes but never a real query stays healthy; its silence counts as a
// timeout and blocks nobody.
TEST(ZoneHealth, AZoneAnsweringOnlyItsProbesIsHealthyAndItsTimeoutsAreCounted) {
  const std::string zone = "flaky.test";
  testing::HostileDns server({"2.0.0.127." + zone + "=a:127.0.0.2", "77=silent"});
  ASSERT_TRUE(server.ready()) << server.error();
  asio::io_context io;
  Resolver resolver(io, {.dns_servers = server.DNSServers(), .timeout_ms = 200, .tries = 1});
  ZoneHealth health(io, resolver, {zone}, nullptr, nullptr);
  EXPECT_EQ(testing::RunAwaitable(io, health.ProbeAll()).at(0).state, ZoneState::kHealthy);
  ConfigSettings settings;
  RBLResult record;
  const std::vector<std::string> zones = {zone};
  CRBL checker(
      resolver, settings, zones, [&](std::int32_t) { return &record; }, nullptr);
  int not_listed = 0;
  checker.evNotListed = [&](std::int32_t) { ++not_listed; };
  testing::RunAwaitable(io, checker.CheckRBL("127.0.0.77", 0));
  EXPECT_EQ(not_listed, 1);
  EXPECT_EQ(checker.zone_counters().at(zone).timeouts, 1u);
}

// The gateway states its cache at start and probes its zones, and only those, from the start on.
TEST_F(ZoneHealthTest, TheGatewayTracesItsCacheAndProbesItsZonesAtStart) {
  testing::GatewayFixture gateway(
      {.smtp_port = testing::FreePort(),
       .settings = {{"DNSServers", dns_->DNSServers()}, {"DNSCacheSize", 5000LL}},
       .zones = {kHealthy, kEverything}});
  ASSERT_TRUE(gateway.listening()) << gateway.Trace();
  EXPECT_TRUE(gateway.WaitForTrace("Zone " + kEverything + " unhealthy: ")) << gateway.Trace();
  EXPECT_EQ(gateway.CountInTrace("DNS cache: 5000 entries\n"), 1) << gateway.Trace();
  EXPECT_EQ(gateway.CountInTrace("Zone " + kHealthy) + gateway.CountInTrace("Zone " + kRefusing), 0)
      << gateway.Trace();
}

// vantrysvc -zones against the configured zones: a table, and whether all are healthy.
TEST_F(ZoneHealthTest, ZonesSwitchPrintsATableAndExitsOneUnlessAllAreHealthy) {
  for (const auto& [zones, status] : std::vector<std::pair<std::string, int>>{
           {kHealthy + "\r\n", 0}, {kHealthy + "\r\n" + kEverything + "\r\n", 1}}) {
    testing::TempDir dir;
    testing::WriteSettingsFile(dir.File("registry.reg"), dir.path().string(),
                               {{"DNSServers", dns_->DNSServers()}});
    testing::WriteFileText(dir.File("rbl.cfg"), zones);
    std::string output;
    EXPECT_EQ(testing::RunCommand({testing::BuiltProgram("vantrysvc"), "-zones"},
                                  {{"VANTRY_REGISTRY", dir.File("registry.reg")},
                                   {"VANTRY_MAILSLOT", "vantry-zones-test"}},
                                  &output),
              status)
        << output;
    auto row = [&output](const std::string& zone) {
      const std::size_t at = output.find("\n" + zone + " ");
      return at == std::string::npos ? std::string()
                                     : output.substr(at + 1, output.find('\n', at + 1) - at - 1);
    };
    EXPECT_EQ(output.rfind("ZONE", 0), 0u) << output;
    EXPECT_NE(row(kHealthy).find(" healthy "), std::string::npos) << output;
    EXPECT_EQ(row(kEverything).find(" lists everything  lists 127.0.0.1") != std::string::npos,
              status == 1)
        << output;
  }
}

}  // namespace
}  // namespace vantry
