#pragma once

#include <chrono>
#include <cstddef>
#include <list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "resolver.h"
#include "zone_counters.h"

namespace vantry {

/// The longest a positive answer is kept, whatever TTL it carries: a record
/// claiming 68 years (2^31-1 s) would otherwise outlive every zone change.
inline constexpr std::chrono::seconds kMaxPositiveLifetime{24 * 3600};
/// The longest "no such name / no such record" is kept (the zone's SOA minimum, at most this).
inline constexpr std::chrono::seconds kMaxNegativeLifetime{3600};

/// How long a DNS answer (the raw message) may be kept: for one with answer records the lowest
/// TTL among them, for one without the lesser of the SOA's TTL and minimum in its authority
/// section; each capped as above. Nothing for a lifetime of 0, a negative answer without an SOA,
/// or a message that cannot be read.
std::optional<std::chrono::seconds> AnswerLifetime(std::span<const unsigned char> message);

/// Lookup results by query (type and name, without letter case), each until its lifetime ends,
/// at most `capacity` of them: storing one more drops the least recently used. Capacity 0 keeps
/// nothing.
class DnsCache {
 public:
  using Clock = std::chrono::steady_clock;

  explicit DnsCache(std::size_t capacity) : capacity_(capacity) {}

  /// The key of a query: "type:name", lower-cased.
  static std::string Key(int type, std::string_view name);

  /// The stored result for key, if it has not expired; counts a hit or a miss.
  std::optional<LookupResult> Find(const std::string& key, Clock::time_point now = Clock::now());
  /// Keeps result under key for lifetime (replacing any older one).
  void Store(const std::string& key, const LookupResult& result, std::chrono::seconds lifetime,
             Clock::time_point now = Clock::now());

  std::size_t capacity() const { return capacity_; }
  std::size_t size() const { return entries_.size(); }
  DnsCacheCounters counters() const;

 private:
  struct Entry {
    std::string key;
    LookupResult result;
    Clock::time_point expiry;
  };
  using Order = std::list<Entry>;

  void Drop(Order::iterator entry);

  std::size_t capacity_;
  // Most recently used first.
  Order order_;
  std::unordered_map<std::string_view, Order::iterator> entries_;
  std::uint64_t hits_ = 0;
  std::uint64_t misses_ = 0;
};

}  // namespace vantry
