#include "crbl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/co_spawn.hpp>
#include <map>

#include "dns_fixture.h"
#include "run_awaitable.h"

namespace vantry {
namespace {

namespace dns = testing::dns;
using Lines = std::vector<std::string>;

TEST(ZoneAnswer, AcceptedWhenNineOrTenCharactersWith127_0_0AndBlockingOnlyForTypes2To9) {
  for (std::string_view good : {"127.0.0.2", "127.0.0.0", "127.0.0.10", "127.0.0.99"})
    EXPECT_TRUE(IsAcceptedResponse(good)) << good;
  for (std::string_view bad :
       {"127.0.0.100", "127.0.0.127", "127.0.1.2", "10.0.0.2", "", "127.0.0."}) {
    EXPECT_FALSE(IsAcceptedResponse(bad)) << '"' << bad << '"';
  }
  // Of the accepted answers, only the one-character types 2 to 9 can block.
  EXPECT_EQ(std::string(ListingType("127.0.0.10")) + "|" + std::string(ListingType("nodot")),
            "10|nodot");
  EXPECT_EQ(BlockingTypeNumber(ListingType("127.0.0.2")) + BlockingTypeNumber("9"), 11);
  for (std::string_view other : {"1", "0", "10", "99", "", "a", "22"})
    EXPECT_EQ(BlockingTypeNumber(other), 0) << '"' << other << '"';
}

TEST(ZoneQuery, ReversesIPv4OctetsAndIPv6Nibbles) {
  EXPECT_EQ(ReverseIP("192.0.2.10"), "10.2.0.192.");
  EXPECT_EQ(ReverseIP(""), "....");
  EXPECT_EQ(ReverseIP("2001:db8::1"),
            "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.");
  EXPECT_EQ(ReverseIP("2001:DB8:0:0::a:Bc"), ReverseIP("2001:db8::a:bc"));
}

// Every zone is asked at once, yet the first zone in list order with an accepted answer decides:
// an earlier zone's late answer wins over a later zone's early one, and once an earlier zone has
// decided, the later ones' answers are not waited for.
TEST(Crbl, TheFirstZoneInListOrderDecidesWhicheverAnswersFirst) {
  struct Case {
    const char* name;
    std::string first, second;  // the zones' behaviours for 127.0.0.40
    std::string event;
  };
  const std::string ip = "127.0.0.40";
  for (const Case& c : std::vector<Case>{
           {"earlier slow listing", "a:127.0.0.2@300", "a:127.0.0.3", ip + "|z1.test|127.0.0.2"},
           {"earlier slow, not listing", "a:10.0.0.1@300", "a:127.0.0.3",
            ip + "|z2.test|127.0.0.3"},
           {"later slow", "a:127.0.0.2", "a:127.0.0.3@300", ip + "|z1.test|127.0.0.2"},
           {"later slow, earlier not listing", "nxdomain", "a:127.0.0.3@300",
            ip + "|z2.test|127.0.0.3"},
       }) {
    testing::HostileDns server({"40.0.0.127.z1.test=" + c.first, "40.0.0.127.z2.test=" + c.second});
    ASSERT_TRUE(server.ready()) << server.error();
    asio::io_context io;
    Resolver resolver(io, ResolverOptions{.dns_servers = server.DNSServers()});
    ConfigSettings settings;
    settings.BlockT3 = true;
    const std::vector<std::string> zones{"z1.test", "z2.test"};
    RBLResult record;
    CRBL crbl(
        resolver, settings, zones, [&](std::int32_t) { return &record; }, nullptr);
    Lines events;
    crbl.evBlackListed = [&](std::int32_t, const std::string& address, const std::string& host,
                             const std::string& type) {
      events.push_back(address + "|" + host + "|" + type);
    };
    crbl.evNotListed = [&](std::int32_t) { events.push_back("not listed"); };
    testing::RunAwaitable(io, crbl.CheckRBL(ip, 0));
    EXPECT_EQ(events, Lines{c.event}) << c.name;
    // Decided by the first zone while the slow second one is still out.
    EXPECT_EQ(resolver.in_flight(), c.name == std::string("later slow") ? 1u : 0u) << c.name;
    const ZoneCounters& first = crbl.zone_counters().at("z1.test");
    EXPECT_EQ(first.lookups, 1u) << c.name;
    EXPECT_EQ(first.listings_by_type.count("2"), c.first.starts_with("a:127.0.0.2") ? 1u : 0u)
        << c.name;
  }
}

// The checker against real rbldnsd zones through dnsmasq. The verdict of each answer kind, with
// its trace, is checked end to end through the gateway; this test covers what the gateway hides.
TEST(Crbl, ChecksOfDifferentSlotsRunConcurrentlyAndEachGetItsOwnVerdictTraceAndRecord) {
  testing::DnsFixture servers;
  ASSERT_TRUE(servers.ready()) << servers.error();
  asio::io_context io;
  Resolver resolver(io, ResolverOptions{.dns_servers = servers.DNSServers()});
  ConfigSettings settings;
  settings.BlockT4 = true;
  std::vector<std::string> zones{dns::kZone1, dns::kZone2};
  std::vector<RBLResult> results(8);
  Lines trace;
  std::multimap<std::int32_t, std::string> events;  // slot: "ip|zone|code" or "not listed"
  CRBL crbl(
      resolver, settings, zones,
      [&](std::int32_t index) {
        return index >= 0 && index < std::ssize(results) ? &results[index] : nullptr;
      },
      [&](std::string_view line) { trace.emplace_back(line); });
  crbl.evBlackListed = [&](std::int32_t index, const std::string& ip, const std::string& host,
                           const std::string& type) {
    events.emplace(index, ip + "|" + host + "|" + type);
  };
  crbl.evNotListed = [&](std::int32_t index) { events.emplace(index, "not listed"); };
  const std::vector<std::string_view> peers = {dns::kListedType2, dns::kGoodPeer,
                                               dns::kListedType127, dns::kListedType4,
                                               dns::kListedOtherNet};
  int finished = 0;
  for (std::int32_t slot = 0; slot < std::ssize(peers); ++slot) {
    asio::co_spawn(io, crbl.CheckRBL(std::string(peers[slot]), slot),
                   [&, slot](std::exception_ptr e) {
                     EXPECT_FALSE(e);
                     ++finished;
                     // The slot's event has run by the time its check completes.
                     EXPECT_EQ(events.count(slot), 1u) << slot;
                   });
  }
  ASSERT_TRUE(testing::RunUntil(io, [&] { return finished == std::ssize(peers); }));
  EXPECT_EQ(events, (decltype(events){{0, "127.0.0.12|bl1.vantry.test|127.0.0.2"},
                                      {1, "not listed"},
                                      {2, "127.0.0.27|bl2.vantry.test|127.0.0.4"},
                                      {3, "127.0.0.14|bl1.vantry.test|127.0.0.4"},
                                      {4, "not listed"}}));
  // An answer from another network is neither accepted nor traced.
  EXPECT_EQ(results[4].Response + results[4].BLHost, "");
  std::ranges::sort(trace);
  EXPECT_EQ(trace, (Lines{"Response: bl1.vantry.test says: 127.0.0.2 9",
                          "Response: bl1.vantry.test says: 127.0.0.4 9",
                          "Response: bl2.vantry.test says: 127.0.0.4 9", "Type 127.0.0.2",
                          "Type 127.0.0.4", "Type 127.0.0.4"}));
  // An unlisted address goes on to every zone, in list order.
  std::string queries = servers.RbldnsdQueries();
  std::size_t first = queries.find("5.0.0.127.bl1.vantry.test");
  ASSERT_NE(first, std::string::npos) << queries;
  EXPECT_NE(queries.find("5.0.0.127.bl2.vantry.test", first), std::string::npos) << queries;
}

}  // namespace
}  // namespace vantry
