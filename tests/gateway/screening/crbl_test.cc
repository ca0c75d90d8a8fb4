#include "crbl.h"

#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "dns_fixture.h"
#include "run_awaitable.h"

namespace vantry {
namespace {

namespace dns = testing::dns;
using Lines = std::vector<std::string>;

TEST(ReverseIP, ReversesTheFourPiecesEachFollowedByADot) {
  EXPECT_EQ(ReverseIP("1.2.3.4"), "4.3.2.1.");
  EXPECT_EQ(ReverseIP("192.168.10.200"), "200.10.168.192.");
  EXPECT_EQ(ReverseIP(""), "....");
  EXPECT_EQ(ReverseIP("10.0.0"), ".0.0.10.");
  EXPECT_EQ(ReverseIP("1.2.3.4") + "zone.test", "4.3.2.1.zone.test");
}

TEST(AcceptedResponse, OnlyNineOrTenCharactersContaining127_0_0) {
  for (std::string_view good : {"127.0.0.2", "127.0.0.0", "127.0.0.10", "127.0.0.99"}) {
    EXPECT_TRUE(IsAcceptedResponse(good)) << good;
  }
  for (std::string_view bad :
       {"127.0.0.100", "127.0.0.127", "127.0.1.2", "10.0.0.2", "", "127.0.0."}) {
    EXPECT_FALSE(IsAcceptedResponse(bad)) << '"' << bad << '"';
  }
}

TEST(TypeDispatch, OnlyTheOneCharacterTypes2To9Block) {
  EXPECT_EQ(ListingType("127.0.0.2"), "2");
  EXPECT_EQ(ListingType("127.0.0.10"), "10");
  EXPECT_EQ(ListingType("nodot"), "nodot");
  EXPECT_EQ(ListingType(""), "");
  EXPECT_EQ(BlockingTypeNumber("2"), 2);
  EXPECT_EQ(BlockingTypeNumber("9"), 9);
  for (std::string_view other : {"1", "0", "10", "99", "", "a", "22"}) {
    EXPECT_EQ(BlockingTypeNumber(other), 0) << '"' << other << '"';
  }
}

struct Event {
  std::string kind;
  std::int32_t index;
  std::string ip, host, type;
  bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << e.kind << "(" << e.index << "," << e.ip << "," << e.host << "," << e.type << ")";
}

// One checker against real rbldnsd zones through dnsmasq.
class CrblTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dns_.ready()) << dns_.error(); }

  CRBL& Checker() {
    if (!crbl_) {
      resolver_ =
          std::make_unique<Resolver>(io_, ResolverOptions{.dns_servers = dns_.DNSServers()});
      crbl_ = std::make_unique<CRBL>(*resolver_, settings_, zones_, results_,
                                     [this](std::string_view line) { trace_.emplace_back(line); });
      crbl_->evBlackListed = [this](std::int32_t index, const std::string& ip,
                                    const std::string& host, const std::string& type) {
        events_.push_back({"BlackListed", index, ip, host, type});
      };
      crbl_->evNotListed = [this](std::int32_t index) {
        events_.push_back({"NotListed", index, "", "", ""});
      };
    }
    return *crbl_;
  }

  // Runs CheckRBL and returns the events that had run by the time it completed.
  std::vector<Event> Check(std::string ip, std::int32_t index) {
    std::vector<Event> seen;
    testing::RunAwaitable(io_, [&]() -> asio::awaitable<void> {
      co_await Checker().CheckRBL(ip, index);
      seen = events_;
    }());
    return seen;
  }

  static Event Listed(std::int32_t index, std::string_view ip, std::string_view zone,
                      std::string type) {
    return {"BlackListed", index, std::string(ip), std::string(zone), std::move(type)};
  }
  static Event NotListed(std::int32_t index) { return {"NotListed", index, "", "", ""}; }

  testing::DnsFixture dns_;
  asio::io_context io_;
  ConfigSettings settings_;
  std::vector<std::string> zones_{std::string(dns::kZone1), std::string(dns::kZone2)};
  std::vector<RBLResult> results_ = std::vector<RBLResult>(8);
  std::unique_ptr<Resolver> resolver_;
  std::unique_ptr<CRBL> crbl_;
  Lines trace_;
  std::vector<Event> events_;
};

TEST_F(CrblTest, Type2WithBlockT2OnIsBlackListed) {
  settings_.BlockT2 = true;
  EXPECT_EQ(Check(std::string(dns::kListedType2), 3),
            std::vector<Event>{Listed(3, dns::kListedType2, dns::kZone1, "127.0.0.2")});
  EXPECT_EQ(trace_, (Lines{"Response: bl1.vantry.test says: 127.0.0.2 9", "Type 127.0.0.2"}));
  EXPECT_EQ(results_[3].IP, dns::kListedType2);
  EXPECT_EQ(results_[3].Response, "127.0.0.2");
  EXPECT_EQ(results_[3].BLHost, dns::kZone1);
}

TEST_F(CrblTest, Type2WithBlockT2OffIsNotListedAfterTheSameTrace) {
  settings_.BlockT2 = false;
  EXPECT_EQ(Check(std::string(dns::kListedType2), 1), std::vector<Event>{NotListed(1)});
  EXPECT_EQ(trace_, (Lines{"Response: bl1.vantry.test says: 127.0.0.2 9", "Type 127.0.0.2"}));
  EXPECT_EQ(results_[1].Response, "127.0.0.2");
}

TEST_F(CrblTest, FirstAcceptedAnswerStopsTheWalkEvenWhenItDoesNotBlock) {
  EXPECT_EQ(Check(std::string(dns::kListedType10), 0), std::vector<Event>{NotListed(0)});
  EXPECT_EQ(trace_, (Lines{"Response: bl1.vantry.test says: 127.0.0.10 10",
                           "Type not listed, 127.0.0.10"}));
  EXPECT_EQ(results_[0].BLHost, dns::kZone1);
  std::string queries = dns_.RbldnsdQueries();
  EXPECT_NE(queries.find("20.0.0.127.bl1.vantry.test"), std::string::npos) << queries;
  EXPECT_EQ(queries.find("20.0.0.127.bl2.vantry.test"), std::string::npos) << queries;
}

TEST_F(CrblTest, AnAnswerOutside127_0_0_0To99IsSkippedAndTheNextZoneDecides) {
  settings_.BlockT4 = true;
  EXPECT_EQ(Check(std::string(dns::kListedType127), 2),
            std::vector<Event>{Listed(2, dns::kListedType127, dns::kZone2, "127.0.0.4")});
  EXPECT_EQ(trace_, (Lines{"Response: bl2.vantry.test says: 127.0.0.4 9", "Type 127.0.0.4"}));
}

TEST_F(CrblTest, AnotherNetworkIsNotAcceptedAndNotTraced) {
  EXPECT_EQ(Check(std::string(dns::kListedOtherNet), 4), std::vector<Event>{NotListed(4)});
  EXPECT_TRUE(trace_.empty());
  EXPECT_EQ(results_[4].Response, "");
  EXPECT_EQ(results_[4].BLHost, "");
}

TEST_F(CrblTest, AnUnlistedAddressAsksEveryZoneInOrder) {
  EXPECT_EQ(Check(std::string(dns::kGoodPeer), 5), std::vector<Event>{NotListed(5)});
  EXPECT_TRUE(trace_.empty());
  std::string queries = dns_.RbldnsdQueries();
  std::size_t first = queries.find("5.0.0.127.bl1.vantry.test");
  std::size_t second = queries.find("5.0.0.127.bl2.vantry.test");
  ASSERT_NE(first, std::string::npos) << queries;
  ASSERT_NE(second, std::string::npos) << queries;
  EXPECT_LT(first, second);
}

TEST_F(CrblTest, NoZonesMeansNotListedWithoutTrace) {
  zones_.clear();
  EXPECT_EQ(Check(std::string(dns::kListedType2), 6), std::vector<Event>{NotListed(6)});
  EXPECT_TRUE(trace_.empty());
  EXPECT_EQ(results_[6].IP, dns::kListedType2);
}

TEST_F(CrblTest, AnUnreachableServerListsNothing) {
  resolver_ = std::make_unique<Resolver>(
      io_, ResolverOptions{.dns_servers = dns_.DeadDNSServers(), .timeout_ms = 200, .tries = 1});
  CRBL crbl(*resolver_, settings_, zones_, results_, nullptr);
  int not_listed = 0;
  crbl.evNotListed = [&](std::int32_t) { ++not_listed; };
  testing::RunAwaitable(io_, crbl.CheckRBL(std::string(dns::kListedType2), 0));
  EXPECT_EQ(not_listed, 1);
}

TEST_F(CrblTest, ManualBlockRaisesSystemBlockAtOnceAndKeepsTheAddress) {
  Checker().ManualBlock("5.6.7.8", 3);
  EXPECT_EQ(events_, std::vector<Event>{Listed(3, "5.6.7.8", " System Block ", "127.0.0.100")});
  EXPECT_EQ(results_[3].IP, "5.6.7.8");
  EXPECT_TRUE(trace_.empty());
}

TEST_F(CrblTest, ConcurrentChecksOfDifferentSlotsKeepTheirOwnRecords) {
  settings_.BlockT4 = true;
  Checker();
  const std::vector<std::string> peers = {
      std::string(dns::kListedType2), std::string(dns::kGoodPeer), std::string(dns::kListedType127),
      std::string(dns::kListedType4)};
  int finished = 0;
  for (std::size_t slot = 0; slot < peers.size(); ++slot) {
    asio::co_spawn(io_, crbl_->CheckRBL(peers[slot], static_cast<std::int32_t>(slot)),
                   [&](std::exception_ptr) { ++finished; });
  }
  io_.run_for(std::chrono::seconds(20));
  ASSERT_EQ(finished, 4);
  ASSERT_EQ(events_.size(), 4u);
  std::sort(events_.begin(), events_.end(),
            [](const Event& a, const Event& b) { return a.index < b.index; });
  EXPECT_EQ(events_, (std::vector<Event>{Listed(0, dns::kListedType2, dns::kZone1, "127.0.0.2"),
                                         NotListed(1),
                                         Listed(2, dns::kListedType127, dns::kZone2, "127.0.0.4"),
                                         Listed(3, dns::kListedType4, dns::kZone1, "127.0.0.4")}));
  EXPECT_EQ(results_[1].Response, "");
  EXPECT_EQ(results_[2].BLHost, dns::kZone2);
}

}  // namespace
}  // namespace vantry
