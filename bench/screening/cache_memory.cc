// The memory a full DNS answer cache costs: 100,000 entries shaped as the screening fills it (zone
// queries of distinct clients, half of them listed, the rest "no such name"), and the process's
// resident size before and after. Then a flood of 200,000 more distinct entries: the size stays.
//   cache_memory [entries]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "dns_cache.h"

namespace {

long RssKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

void Fill(vantry::DnsCache& cache, int from, int count) {
  for (int i = from; i < from + count; ++i) {
    const std::string name = std::to_string(i & 255) + "." + std::to_string((i >> 8) & 255) + "." +
                             std::to_string((i >> 16) & 255) + ".10.zen.blocklist.example.org";
    vantry::LookupResult result;
    if (i % 2 == 0) result = {.text = "127.0.0.2", .addresses = {"127.0.0.2"}};
    cache.Store(vantry::DnsCache::Key(1, name), result, std::chrono::seconds(3600));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
  const long before = RssKib();
  vantry::DnsCache cache(static_cast<std::size_t>(entries));
  Fill(cache, 0, entries);
  const long full = RssKib();
  Fill(cache, entries, 200000);
  const long flooded = RssKib();
  std::printf("cache entries: %zu of %d\n", cache.size(), entries);
  std::printf(
      "RSS before: %.1f MiB, full: %.1f MiB (%.0f bytes per entry), after a flood of "
      "200000 more: %.1f MiB   target < 64 MiB\n",
      before / 1024.0, full / 1024.0, (full - before) * 1024.0 / entries, flooded / 1024.0);
  return 0;
}
