// What a client, the log and the trace see of each kind of verdict, through the real gateway, real
// name servers (dnsmasq + rbldnsd), a real mail server and clients connecting from chosen loopback
// addresses. The verdicts themselves are worked out in the screening's own test.
#include <gtest/gtest.h>

#include <thread>

#include "dns_fixture.h"
#include "gateway_fixture.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

class Screening : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dns_.ready()) << dns_.error();
    ASSERT_TRUE(sink_.ready());
  }

  // A gateway with the install defaults, our name servers (unless given) and both zones, in
  // place of any earlier one.
  void StartGateway(std::map<std::string, SettingValue> settings = {},
                    std::vector<std::string> exceptions = {},
                    std::vector<std::string> manual = {}) {
    gateway_.reset();
    settings.try_emplace("DNSServers", dns_.DNSServers());
    gateway_ = std::make_unique<GatewayFixture>(
        GatewayFixture::Options{.smtp_port = sink_.port(),
                                .settings = std::move(settings),
                                .zones = {dns::kZone1, dns::kZone2},
                                .exceptions = std::move(exceptions),
                                .manual = std::move(manual)});
    ASSERT_TRUE(gateway_->listening()) << gateway_->Trace();
  }

  std::string Connect(std::string_view peer) {
    std::string got = VisitGateway(gateway_->port(), peer);
    EXPECT_NE(got, "[no connection]");
    return got;
  }

  // The single logged line without its date and time; a refusal by a zone is
  // logged just after the client sees it.
  std::string LoggedVerdict() {
    std::string log = gateway_->WaitForLog(1);
    EXPECT_EQ(CountOccurrences(log, "\r\n"), 1) << log;
    std::string line = log.substr(0, log.find("\r\n"));
    return line.substr(0, line.rfind('|', line.rfind('|') - 1) + 1);
  }

  DnsFixture dns_;
  SmtpSink sink_;
  std::unique_ptr<GatewayFixture> gateway_;
};

TEST_F(Screening, AnExceptionPassesWithItsOwnReportAndNoZoneIsAsked) {
  StartGateway({}, {dns::kListedType2}, {dns::kListedType2});
  EXPECT_TRUE(Connect(dns::kListedType2).starts_with("220 "));
  const std::string report =
      "255|0|OK|127.0.0.12|127.0.0.12|l12.vantry.test|Exception|Manual Exception|";
  EXPECT_EQ(LoggedVerdict(), report);
  EXPECT_TRUE(gateway_->WaitForTrace(
      "\nIncoming connection from 127.0.0.12\nHostname: l12.vantry.test AltIP: 127.0.0.12 \n"
      "127.0.0.12 EXCEPTION. 0\n"))
      << gateway_->Trace();
  EXPECT_EQ(dns_.RbldnsdQueries().find("12.0.0.127"), std::string::npos);
}

TEST_F(Screening, ALocalRefusalIsReportedAndThenRefusedForTheAddressFound) {
  StartGateway({{"BlockAltIP", 0LL}}, {}, {dns::kAltAddress});
  EXPECT_EQ(Connect(dns::kAltPeer), kDefaultRefusal);
  const std::string report =
      "255|0|BL|127.0.0.6|127.0.0.60|alt.vantry.test|Manual Block|Manual Block|";
  EXPECT_EQ(LoggedVerdict(), report);
  const std::string refusal =
      "127.0.0.60 - Blacklisted Socket: 0 BLHost:  System Block  BLType: 127.0.0.100";
  ASSERT_TRUE(gateway_->WaitForTrace(refusal)) << gateway_->Trace();
  EXPECT_LT(gateway_->Trace().find(report), gateway_->Trace().find(refusal));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(gateway_->CountInTrace("|CLOSED|"), 0);  // a refusal is never followed by CLOSED
}

TEST_F(Screening, AZoneRefusesBeforeTheListingIsReported) {
  StartGateway();
  EXPECT_EQ(Connect(dns::kListedType2), kDefaultRefusal);
  EXPECT_EQ(LoggedVerdict(),
            "255|0|BL|127.0.0.12|127.0.0.12|l12.vantry.test|Type 2|bl1.vantry.test|");
  ASSERT_TRUE(gateway_->WaitForTrace("255|0|BL|")) << gateway_->Trace();
  const std::string trace = gateway_->Trace();
  std::size_t type = trace.find("Type 127.0.0.2\n");
  std::size_t refusal =
      trace.find("127.0.0.12 - Blacklisted Socket: 0 BLHost: bl1.vantry.test BLType: 127.0.0.2");
  EXPECT_LT(trace.find("Response: bl1.vantry.test says: 127.0.0.2 9\n"), type);
  EXPECT_LT(type, refusal);
  EXPECT_LT(refusal, trace.find("255|0|BL|"));
}

TEST_F(Screening, RefusalTextFollowsTheBlockMessageSettings) {
  // UseBlockMsg is on for anything but 0.
  StartGateway({{"UseBlockMsg", -1LL}});
  EXPECT_EQ(Connect(dns::kNoPtrPeer), kDefaultRefusal);
  StartGateway({{"UseBlockMsg", 0LL}});
  EXPECT_EQ(Connect(dns::kNoPtrPeer), "");
  StartGateway({{"BlockMsg", std::string()}});
  std::string got = Connect(dns::kNoPtrPeer);
  EXPECT_EQ(got.substr(0, 6), "550 \r\n");
  EXPECT_EQ(CountOccurrences(got, "\r\n"), 3);
}

TEST_F(Screening, NoAnswerFromTheNameServersDefersTheClientUnlessNoAnswerWouldDecide) {
  HostileDns failing({"5=servfail"});  // the good peer's reverse lookup
  ASSERT_TRUE(failing.ready()) << failing.error();
  const std::string stopped = "127.0.0.1:" + std::to_string(FreePort());
  const std::string report = "255|0|BL|127.0.0.5|127.0.0.5||No Hostname|DNS Failure|";
  for (const std::string& servers : {stopped, failing.DNSServers()}) {
    StartGateway({{"DNSServers", servers}});
    EXPECT_EQ(Connect(dns::kGoodPeer), "421 4.4.3 Temporary DNS failure, try again later\r\n");
    EXPECT_EQ(LoggedVerdict(), report) << servers;
  }
  StartGateway({{"DNSServers", stopped}, {"BlockNoHost", 0LL}, {"BlockAltIP", 0LL}});
  EXPECT_TRUE(Connect(dns::kGoodPeer).starts_with("220 "));
}

TEST_F(Screening, ClientsThatLeaveAtOnceEachGetExactlyOneVerdict) {
  // One address opens them all, faster than they end.
  StartGateway({{"BlockNoHost", 0LL}, {"BlockAltIP", 0LL}, {"MaxPerIP", 0LL}});
  // Batches below the slot count: a request finding every slot busy is dropped unreported.
  constexpr int kBatch = 200, kBatches = 5;
  // A close that crosses the mail server's greeting is a reset; either way each ends once.
  auto ended = [&] {
    const std::string trace = gateway_->Trace();
    return CountOccurrences(trace, "|CLOSED|") + CountOccurrences(trace, "wsin socket: ");
  };
  for (int batch = 1; batch <= kBatches; ++batch) {
    for (int i = 0; i < kBatch; ++i) {
      TcpClient client;
      ASSERT_TRUE(client.Connect(gateway_->port(), dns::kGoodPeer));
    }
    for (int i = 0; i < 600 && ended() < batch * kBatch; ++i) std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(CountOccurrences(gateway_->LogText(), "|OK|127.0.0.5|"), kBatch * kBatches);
  EXPECT_EQ(ended(), kBatch * kBatches);
  // Every slot came back: a normal session still completes.
  EXPECT_TRUE(Connect(dns::kGoodPeer).starts_with("220 "));
}

}  // namespace
}  // namespace vantry::testing
