// The screening's verdicts, with a hosts file standing in for the name servers: it answers the
// reverse and forward lookups and the zone queries. Behind it a scripted name server says NXDOMAIN,
// but fails for 127.0.0.50's reverse lookup and for fails.test, the name it gives 127.0.0.51.
#include "screen_connection.h"

#include <gtest/gtest.h>

#include "dns_fixture.h"
#include "run_awaitable.h"
#include "temp_dir.h"

namespace vantry {
namespace {

using Lines = std::vector<std::string>;
using Action = ScreeningAction;

// Names resolve both ways, except that alt.test, the name of 127.0.0.6, leads to
// 127.0.0.60. Zone bl1 lists .12 and .60 as type 2 and .20 as type 10; bl2 lists .20 as type 2.
constexpr std::string_view kHosts =
    "127.0.0.5 good.test\n127.0.0.60 alt.test\n127.0.0.6 alt.test\n127.0.0.12 l12.test\n"
    "127.0.0.20 l20.test\n127.0.0.9 evil|host\n127.0.0.10 20.0.0.127.bl1.test\n"
    "127.0.0.2 12.0.0.127.bl1.test 60.0.0.127.bl1.test 20.0.0.127.bl2.test\n";

const HostLists kZones = {
    .RBLHosts = {"bl1.test", "bl2.test"}, .Exceptions = {}, .ManualBlocks = {}};
const HostLists kZonesAndLists = {.RBLHosts = {"bl1.test", "bl2.test"},
                                  .Exceptions = {"127.0.0.8", "127.0.0.12", "127.0.0.50"},
                                  .ManualBlocks = {"127.0.0.8", "127.0.0.5", "127.0.0.60"}};

struct Case {
  const char* name;
  std::string peer;
  std::string verdict;    // "action|HostName|AltIP|BLHost|BLType|blocked_address"
  std::string last_line;  // of the screening's trace
  const HostLists* lists = &kZones;
  void (*change)(ConfigSettings&) = nullptr;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string Describe(const ScreeningVerdict& v) {
  constexpr const char* kActions[] = {"exception", "pass", "local", "zone", "defer"};
  return std::string(kActions[static_cast<int>(v.action)]) + "|" + v.HostName + "|" + v.AltIP +
         "|" + v.BLHost + "|" + v.BLType + "|" + v.blocked_address;
}

class ScreenConnectionTest : public ::testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() {
    dns_ = std::make_unique<testing::HostileDns>(std::vector<std::string>{
        "50=servfail", "51=ptr:fails.test", "fails=servfail", "52=ptr:127.0.0.52"});
  }
  static void TearDownTestSuite() { dns_.reset(); }
  void SetUp() override { ASSERT_TRUE(dns_->ready()) << dns_->error(); }

  static inline std::unique_ptr<testing::HostileDns> dns_;
};

TEST_P(ScreenConnectionTest, GivesTheVerdictOfTheFirstTestThatDecides) {
  const Case& c = GetParam();
  ConfigSettings settings;
  if (c.change) c.change(settings);
  testing::TempDir dir;
  testing::WriteFileText(dir.path() / "hosts", kHosts);
  asio::io_context io;
  Resolver resolver(io, {.dns_servers = dns_->DNSServers(), .hosts_file = dir.File("hosts")});
  RBLResult record;
  ScreeningStatus status = ScreeningStatus::kBlacklisted;  // left over from an earlier client
  Lines trace, refusals;
  CRBL checker(
      resolver, settings, c.lists->RBLHosts,
      [&](std::int32_t index) { return index == 3 ? &record : nullptr; },
      [&](std::string_view line) { trace.emplace_back(line); });
  // What the gateway's handlers do to the status, which the screening reads.
  checker.evNotListed = [&](std::int32_t) { status = AfterNotListed(status); };
  checker.evBlackListed = [&](std::int32_t index, const std::string& ip, const std::string& zone,
                              const std::string& code) {
    EXPECT_EQ(index, 3);
    status = ScreeningStatus::kBlacklisted;
    refusals.push_back(ip + "|" + zone + "|" + code);
  };
  const ScreeningSetup setup{.resolver = resolver,
                             .settings = settings,
                             .lists = *c.lists,
                             .checker = checker,
                             .say = [&](std::string_view line) { trace.emplace_back(line); }};

  ScreeningVerdict verdict = testing::RunAwaitable(io, ScreenConnection(setup, 3, c.peer, status));
  EXPECT_EQ(Describe(verdict), c.verdict);
  // A zone's refusal was made by the checker, for the address it listed.
  const bool by_zone = verdict.action == Action::kRefusedByZone;
  EXPECT_EQ(refusals,
            by_zone ? Lines{verdict.blocked_address + "|" + verdict.BLHost + "|" + verdict.BLType}
                    : Lines{});
  EXPECT_EQ(status == ScreeningStatus::kBlacklisted, by_zone);
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace.back(), c.last_line);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Verdicts, ScreenConnectionTest, ::testing::Values(
    Case{"Pass", "127.0.0.5", "pass|good.test|127.0.0.5|||", "127.0.0.5 is OK. 3\r\n"},
    Case{"ExceptionBeforeManualBlockAndNoHost", "127.0.0.8",
         "exception||127.0.0.8|Manual Exception|127.0.0.200|", "127.0.0.8 EXCEPTION. 3\r\n",
         &kZonesAndLists},
    Case{"ExceptionBeforeTheZones", "127.0.0.12",
         "exception|l12.test|127.0.0.12|Manual Exception|127.0.0.200|",
         "127.0.0.12 EXCEPTION. 3\r\n", &kZonesAndLists},
    Case{"ExceptionsOffWhenNotAboveZeroAndNoHost", "127.0.0.8", "local||127.0.0.8|No Host|127.0.0.150|127.0.0.8",
         "Hostname:  AltIP: 127.0.0.8 ", &kZonesAndLists,
         [](ConfigSettings& s) { s.UseExceptions = -1; }},
    Case{"AltIPBeforeManualBlock", "127.0.0.6",
         "local|alt.test|127.0.0.60|ALT IP|127.0.0.155|127.0.0.6",
         "Hostname: alt.test AltIP: 127.0.0.60 ", &kZonesAndLists},
    Case{"NeutralisedNameThatLeadsNowhere", "127.0.0.9",
         "local|evil_host||ALT IP|127.0.0.155|127.0.0.9", "Hostname: evil_host AltIP:  "},
    Case{"NoHostOffWhenNotAboveZero", "127.0.0.8", "pass||127.0.0.8|||",
         "127.0.0.8 is OK. 3\r\n", &kZones, [](ConfigSettings& s) { s.BlockNoHost = -1; }},
    Case{"ManualBlockOfThePeer", "127.0.0.5",
         "local|good.test|127.0.0.5|Manual Block|127.0.0.100|127.0.0.5",
         "Hostname: good.test AltIP: 127.0.0.5 ", &kZonesAndLists},
    Case{"ManualBlockOfTheAltIP", "127.0.0.6",
         "local|alt.test|127.0.0.60|Manual Block|127.0.0.100|127.0.0.60",
         "Hostname: alt.test AltIP: 127.0.0.60 ", &kZonesAndLists,
         [](ConfigSettings& s) { s.BlockAltIP = 0; }},
    Case{"ManualBlocksOff", "127.0.0.5", "pass|good.test|127.0.0.5|||", "127.0.0.5 is OK. 3\r\n",
         &kZonesAndLists, [](ConfigSettings& s) { s.UseManual = 0; }},
    Case{"ListedPeer", "127.0.0.12", "zone|l12.test|127.0.0.12|bl1.test|127.0.0.2|127.0.0.12",
         "Type 127.0.0.2"},
    Case{"ListedAltIP", "127.0.0.6", "zone|alt.test|127.0.0.60|bl1.test|127.0.0.2|127.0.0.60",
         "Type 127.0.0.2", &kZones, [](ConfigSettings& s) { s.BlockAltIP = 0; }},
    Case{"ListedWithATypeNotBlocked", "127.0.0.12", "pass|l12.test|127.0.0.12|||",
         "127.0.0.12 is OK. 3\r\n", &kZones, [](ConfigSettings& s) { s.BlockT2 = false; }},
    Case{"TheFirstAcceptedAnswerDecides", "127.0.0.20", "pass|l20.test|127.0.0.20|||",
         "127.0.0.20 is OK. 3\r\n"},
    Case{"AnAddressAsTheNameIsNoName", "127.0.0.52",
         "local||127.0.0.52|No Host|127.0.0.150|127.0.0.52", "Hostname:  AltIP: 127.0.0.52 "},
    // A lookup that got no answer defers only where its answer would decide.
    Case{"FailedReverseLookup", "127.0.0.50",
         "defer||127.0.0.50|DNS Failure|127.0.0.150|127.0.0.50", "Hostname:  AltIP: 127.0.0.50 "},
    Case{"FailedReverseLookupWithOnlyAltIPOn", "127.0.0.50",
         "defer||127.0.0.50|DNS Failure|127.0.0.150|127.0.0.50", "Hostname:  AltIP: 127.0.0.50 ",
         &kZones, [](ConfigSettings& s) { s.BlockNoHost = 0; }},
    Case{"FailedReverseLookupWithBothTestsOff", "127.0.0.50", "pass||127.0.0.50|||",
         "127.0.0.50 is OK. 3\r\n", &kZones,
         [](ConfigSettings& s) { s.BlockNoHost = s.BlockAltIP = 0; }},
    Case{"FailedReverseLookupOfAnException", "127.0.0.50",
         "exception||127.0.0.50|Manual Exception|127.0.0.200|", "127.0.0.50 EXCEPTION. 3\r\n",
         &kZonesAndLists},
    Case{"FailedForwardLookup", "127.0.0.51",
         "defer|fails.test||DNS Failure|127.0.0.150|127.0.0.51", "Hostname: fails.test AltIP:  "},
    Case{"FailedForwardLookupWithAltIPOff", "127.0.0.51", "pass|fails.test||||",
         "127.0.0.51 is OK. 3\r\n", &kZones, [](ConfigSettings& s) { s.BlockAltIP = 0; }}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// IPv6 peers against real name servers: the PTR under ip6.arpa, the AAAA record back, and the
// zone asked with the nibble-reversed address.
TEST(ScreenConnectionIPv6, ListedAndUnlistedPeersGetTheirVerdicts) {
  namespace dns = testing::dns;
  testing::DnsFixture servers;
  ASSERT_TRUE(servers.ready()) << servers.error();
  asio::io_context io;
  Resolver resolver(io, {.dns_servers = servers.DNSServers(), .hosts_file = ""});
  ConfigSettings settings;
  const HostLists lists = {
      .RBLHosts = {dns::kZone1, dns::kZone6}, .Exceptions = {}, .ManualBlocks = {}};
  RBLResult record;
  ScreeningStatus status = ScreeningStatus::kUnchecked;
  CRBL checker(
      resolver, settings, lists.RBLHosts, [&](std::int32_t) { return &record; }, nullptr);
  checker.evNotListed = [&](std::int32_t) { status = AfterNotListed(status); };
  checker.evBlackListed = [&](std::int32_t, const std::string&, const std::string&,
                              const std::string&) { status = ScreeningStatus::kBlacklisted; };
  const ScreeningSetup setup{
      .resolver = resolver, .settings = settings, .lists = lists, .checker = checker, .say = {}};
  auto screen = [&](const std::string& peer) {
    return Describe(testing::RunAwaitable(io, ScreenConnection(setup, 0, peer, status)));
  };
  EXPECT_EQ(screen(dns::kGoodPeer6), "pass|" + dns::kGoodHost6 + "|" + dns::kGoodPeer6 + "|||");
  EXPECT_EQ(screen(dns::kListedPeer6), "zone|l6-12.vantry.test|" + dns::kListedPeer6 + "|" +
                                           dns::kZone6 + "|127.0.0.2|" + dns::kListedPeer6);
}

}  // namespace
}  // namespace vantry
