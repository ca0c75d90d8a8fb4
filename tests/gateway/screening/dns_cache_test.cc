#include "dns_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace vantry {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;

// Appends each value as 16 bits, most significant byte first.
void Put16(Bytes& out, std::initializer_list<std::uint32_t> values) {
  for (std::uint32_t value : values)
    out.insert(out.end(), {std::uint8_t(value >> 8), std::uint8_t(value)});
}

// An answer to "x.test A": A records with the given TTLs, then an SOA (TTL, minimum) when given.
Bytes Message(const std::vector<std::uint32_t>& a_ttls,
              std::optional<std::pair<std::uint32_t, std::uint32_t>> soa = std::nullopt) {
  Bytes out = {0x12, 0x34, 0x81, 0x80};
  Put16(out, {1, static_cast<std::uint32_t>(a_ttls.size()), soa ? 1u : 0u, 0});
  out.insert(out.end(), {1, 'x', 4, 't', 'e', 's', 't', 0});
  Put16(out, {1, 1});
  for (std::uint32_t ttl : a_ttls) {
    out.insert(out.end(), {0xC0, 0x0C});
    Put16(out, {1, 1, ttl >> 16, ttl, 4});
    out.insert(out.end(), {127, 0, 0, 2});
  }
  if (soa) {
    const auto [ttl, minimum] = *soa;
    out.insert(out.end(), {0xC0, 0x0E, 0, 6, 0, 1});  // "test" SOA IN
    Put16(out, {ttl >> 16, ttl, 22});
    out.insert(out.end(), {0, 0});  // root as both names
    Put16(out, {0, 1, 0, 60, 0, 60, 0, 60, minimum >> 16, minimum});
  }
  return out;
}

TEST(AnswerLifetime, LowestTtlOfTheRecordsOrTheSoaMinimumCapped) {
  struct Case {
    const char* name;
    Bytes message;
    std::optional<std::chrono::seconds> lifetime;
  };
  Bytes cut = Message({300, 300});
  cut.resize(cut.size() - 3);
  const Case cases[] = {
      {"one record", Message({300}), 300s},
      {"records with different TTLs", Message({600, 60, 900}), 60s},
      {"TTL 0 is not kept", Message({300, 0}), std::nullopt},
      {"TTL 2^31-1 capped at a day", Message({0x7FFFFFFF}), 86400s},
      {"TTL with the top bit counts as 0", Message({0x80000000}), std::nullopt},
      {"negative: SOA minimum", Message({}, {{900, 120}}), 120s},
      {"negative: SOA TTL when lower", Message({}, {{30, 120}}), 30s},
      {"negative: capped at an hour", Message({}, {{86400, 86400}}), 3600s},
      {"negative without SOA is not kept", Message({}), std::nullopt},
      {"cut short", cut, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(AnswerLifetime(c.message), c.lifetime) << c.name;
}

LookupResult Text(std::string text) { return LookupResult{.text = std::move(text)}; }

TEST(DnsCache, KeepsUntilExpiryWithoutLetterCaseAndDropsTheLeastRecentlyUsed) {
  const auto t0 = DnsCache::Clock::time_point();
  DnsCache cache(2);
  const std::string a = DnsCache::Key(1, "A.Test"), b = DnsCache::Key(1, "b.test"),
                    c = DnsCache::Key(1, "c.test");
  EXPECT_EQ(a, DnsCache::Key(1, "a.test"));
  EXPECT_NE(a, DnsCache::Key(28, "a.test"));
  cache.Store(a, Text("127.0.0.2"), 10s, t0);
  cache.Store(b, Text(""), 100s, t0);
  ASSERT_TRUE(cache.Find(a, t0 + 9s));  // a is now the more recent
  cache.Store(c, Text("127.0.0.3"), 100s, t0);
  EXPECT_FALSE(cache.Find(b, t0));
  EXPECT_EQ(cache.Find(c, t0)->text, "127.0.0.3");
  EXPECT_EQ(cache.Find(a, t0 + 9s)->text, "127.0.0.2");
  EXPECT_FALSE(cache.Find(a, t0 + 10s));  // expired, and dropped
  EXPECT_EQ(cache.size(), 1u);
  const DnsCacheCounters counted = cache.counters();
  EXPECT_EQ(counted.hits, 3u);
  EXPECT_EQ(counted.misses, 2u);
  EXPECT_EQ(counted.entries, 1u);

  DnsCache off(0);
  off.Store(a, Text("127.0.0.2"), 10s, t0);
  EXPECT_FALSE(off.Find(a, t0));
}

}  // namespace
}  // namespace vantry
