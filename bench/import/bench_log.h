#pragma once

// Synthetic activity logs in the gateway's format for the analyser benchmarks,
// plus a scratch folder that removes itself.

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace vantry::bench {

/// A fresh folder under $TMPDIR, removed on destruction.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantry-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// Writes `lines` log lines (CR LF) with about `addresses` distinct connecting
/// addresses, 70% passed and 30% blocked, spread over the year 2003.
inline void WriteBenchLog(const std::filesystem::path& file, std::int64_t lines,
                          int addresses = 50000) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (!out) std::abort();
  std::mt19937_64 random(20030614);
  static const char* kZones[] = {"zen.bl.test", "dnsbl.test", "spam.rbl.test"};
  char line[256];
  for (std::int64_t i = 0; i < lines; ++i) {
    // Skewed so some addresses are frequent and the hits ranking has work to do.
    std::uint64_t r = random();
    int a = static_cast<int>((r % addresses) * ((r >> 20) % 4 == 0 ? 1 : 0) +
                             ((r >> 32) % 1000) * ((r >> 20) % 4 != 0 ? 1 : 0));
    int o3 = a / 250, o4 = a % 250 + 1;
    bool blocked = (r >> 40) % 10 < 3;
    int month = static_cast<int>((r >> 44) % 12) + 1;
    int day = static_cast<int>((r >> 48) % 28) + 1;
    int hour = static_cast<int>((r >> 53) % 24);
    int minute = static_cast<int>((r >> 58) % 60);
    bool named = o4 % 3 != 0;
    char host[64] = "";
    if (named) std::snprintf(host, sizeof host, "host%d-%d.example.net", o3, o4);
    if (blocked) {
      std::snprintf(line, sizeof line,
                    "255|%d|BL|10.%d.%d.%d|%s|%s|Type %d|%s|2003-%02d-%02d|%02d:%02d\r\n",
                    static_cast<int>(i % 256), o3 / 250, o3 % 250, o4, named ? "" : "", host,
                    2 + static_cast<int>(r % 3), kZones[r % 3], month, day, hour, minute);
    } else {
      std::snprintf(line, sizeof line,
                    "255|%d|OK|10.%d.%d.%d|10.%d.%d.%d|%s|||2003-%02d-%02d|%02d:%02d\r\n",
                    static_cast<int>(i % 256), o3 / 250, o3 % 250, o4, o3 / 250, o3 % 250, o4, host,
                    month, day, hour, minute);
    }
    std::fputs(line, out);
  }
  std::fclose(out);
}

/// Seconds since start.
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace vantry::bench
