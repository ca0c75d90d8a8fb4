// Answers from any name server: the first four bytes are the address a
// reverse lookup asked about, the rest is the answer as c-ares hands it over,
// which the cache also reads for how long to keep it.

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dns_answer.h"
#include "dns_cache.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < sizeof(in_addr)) return 0;
  in_addr address{};
  std::memcpy(&address, data, sizeof address);
  // A copy of exactly the answer's size, so a read past its end is caught.
  const std::vector<unsigned char> answer(data + sizeof address, data + size);
  const int length = static_cast<int>(answer.size());

  const std::string first_a = vantry::ParseFirstA(answer.data(), length);
  if (!first_a.empty()) {
    in_addr parsed{};
    FUZZ_CHECK(inet_pton(AF_INET, first_a.c_str(), &parsed) == 1);
  }
  for (const std::string& address : vantry::ParseAaaa(answer.data(), length)) {
    in6_addr parsed{};
    FUZZ_CHECK(inet_pton(AF_INET6, address.c_str(), &parsed) == 1);
  }
  const std::string name = vantry::ParsePtr(answer.data(), length, address);
  FUZZ_CHECK(name.size() <= 255);
  // Whatever the TTLs say, an answer is kept for a while, at most a day, or not at all.
  if (const auto lifetime = vantry::AnswerLifetime(answer)) {
    FUZZ_CHECK(lifetime->count() > 0 && *lifetime <= std::chrono::hours(24));
  }
  return 0;
}
