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
