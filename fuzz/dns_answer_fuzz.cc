// Answers from any name server: the first four bytes are the address a
// reverse lookup asked about, the rest is the answer as c-ares hands it over.

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dns_answer.h"
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
  return 0;
}
