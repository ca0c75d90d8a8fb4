#include "dns_cache.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace vantry {
namespace {

constexpr std::uint16_t kTypeSoa = 6;
constexpr std::size_t kHeaderSize = 12;

// A bounds-checked reader over one DNS message.
class MessageReader {
 public:
  explicit MessageReader(std::span<const unsigned char> message) : message_(message) {}

  bool ok() const { return ok_; }
  std::size_t offset() const { return offset_; }

  std::uint16_t U16At(std::size_t at) {
    if (at + 2 > message_.size()) return Fail(), 0;
    return static_cast<std::uint16_t>(message_[at] << 8 | message_[at + 1]);
  }
  std::uint16_t U16() {
    std::uint16_t value = U16At(offset_);
    offset_ += 2;
    return value;
  }
  std::uint32_t U32At(std::size_t at) {
    return static_cast<std::uint32_t>(U16At(at)) << 16 | U16At(at + 2);
  }
  std::uint32_t U32() {
    std::uint32_t value = U32At(offset_);
    offset_ += 4;
    return value;
  }
  void Skip(std::size_t bytes) {
    offset_ += bytes;
    if (offset_ > message_.size()) Fail();
  }
  // Past a name here; a compression pointer ends it.
  void SkipName() {
    while (ok_) {
      if (offset_ >= message_.size()) return Fail();
      const unsigned char length = message_[offset_];
      if ((length & 0xC0) == 0xC0) return Skip(2);
      if ((length & 0xC0) != 0) return Fail();
      Skip(1u + length);
      if (length == 0) return;
    }
  }

 private:
  void Fail() { ok_ = false; }

  std::span<const unsigned char> message_;
  std::size_t offset_ = kHeaderSize;
  bool ok_ = true;
};

// RFC 2181: a TTL with the top bit set counts as zero.
std::uint32_t Ttl(std::uint32_t raw) { return raw > 0x7FFFFFFFu ? 0 : raw; }

}  // namespace

std::optional<std::chrono::seconds> AnswerLifetime(std::span<const unsigned char> message) {
  if (message.size() < kHeaderSize) return std::nullopt;
  MessageReader reader(message);
  const std::uint16_t questions = reader.U16At(4);
  const std::uint16_t answers = reader.U16At(6);
  const std::uint16_t authorities = reader.U16At(8);
  for (int i = 0; i < questions && reader.ok(); ++i) {
    reader.SkipName();
    reader.Skip(4);
  }
  std::optional<std::uint32_t> lowest;
  for (int i = 0; i < answers && reader.ok(); ++i) {
    reader.SkipName();
    reader.Skip(4);  // type, class
    const std::uint32_t ttl = Ttl(reader.U32());
    reader.Skip(reader.U16());
    if (reader.ok()) lowest = std::min(lowest.value_or(ttl), ttl);
  }
  if (!reader.ok()) return std::nullopt;
  std::chrono::seconds lifetime{0};
  if (answers > 0) {
    if (!lowest) return std::nullopt;
    lifetime = std::min<std::chrono::seconds>(std::chrono::seconds(*lowest), kMaxPositiveLifetime);
  } else {
    std::optional<std::uint32_t> negative;
    for (int i = 0; i < authorities && reader.ok() && !negative; ++i) {
      reader.SkipName();
      const std::uint16_t type = reader.U16();
      reader.Skip(2);
      const std::uint32_t ttl = Ttl(reader.U32());
      const std::uint16_t length = reader.U16();
      const std::size_t rdata = reader.offset();
      reader.Skip(length);
      // The minimum is the last field of the SOA's data.
      if (reader.ok() && type == kTypeSoa && length >= 20) {
        negative = std::min(ttl, Ttl(reader.U32At(rdata + length - 4)));
      }
    }
    if (!reader.ok() || !negative) return std::nullopt;
    lifetime =
        std::min<std::chrono::seconds>(std::chrono::seconds(*negative), kMaxNegativeLifetime);
  }
  if (lifetime.count() <= 0) return std::nullopt;
  return lifetime;
}

std::string DnsCache::Key(int type, std::string_view name) {
  std::string key = std::to_string(type) + ":";
  for (char c : name) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

std::optional<LookupResult> DnsCache::Find(const std::string& key, Clock::time_point now) {
  auto found = entries_.find(key);
  if (found == entries_.end()) {
    ++misses_;
    return std::nullopt;
  }
  Order::iterator entry = found->second;
  if (entry->expiry <= now) {
    Drop(entry);
    ++misses_;
    return std::nullopt;
  }
  order_.splice(order_.begin(), order_, entry);
  ++hits_;
  return entry->result;
}

void DnsCache::Store(const std::string& key, const LookupResult& result,
                     std::chrono::seconds lifetime, Clock::time_point now) {
  if (capacity_ == 0 || lifetime.count() <= 0) return;
  if (auto found = entries_.find(key); found != entries_.end()) Drop(found->second);
  while (entries_.size() >= capacity_) Drop(std::prev(order_.end()));
  order_.push_front(Entry{.key = key, .result = result, .expiry = now + lifetime});
  // The map's key views the entry's own text, which a list node never moves.
  entries_.emplace(order_.front().key, order_.begin());
}

void DnsCache::Drop(Order::iterator entry) {
  entries_.erase(entry->key);
  order_.erase(entry);
}

DnsCacheCounters DnsCache::counters() const {
  return {.hits = hits_, .misses = misses_, .entries = entries_.size()};
}

}  // namespace vantry
