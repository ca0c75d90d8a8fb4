#include "chart_counts.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "date_time_text.h"
#include "log_entry.h"

namespace vantry::analyser {
namespace {

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::vector<ChartCount> Sorted(const std::unordered_map<std::string, std::int64_t>& counts,
                               std::size_t limit) {
  std::vector<ChartCount> sorted(counts.begin(), counts.end());
  std::sort(sorted.begin(), sorted.end(), [](const ChartCount& a, const ChartCount& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  if (sorted.size() > limit) sorted.resize(limit);
  return sorted;
}

std::chrono::sys_days Day(const std::string& stored) {
  int y = 0, m = 0, d = 0;
  std::sscanf(stored.c_str(), "%d-%d-%d", &y, &m, &d);
  return std::chrono::year{y} / std::chrono::month{static_cast<unsigned>(m)} /
         std::chrono::day{static_cast<unsigned>(d)};
}

std::string DayText(std::chrono::sys_days day) {
  const std::chrono::year_month_day ymd(day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  return text;
}

}  // namespace

void ChartCounter::Add(const ReportFieldViews& fields) {
  std::optional<std::string> date = LogDateToStored(fields[kDateField]);
  std::optional<std::string> time = LogTimeToStored(fields[kTimeField]);
  if (!date || !time) return;
  const bool passed = SameText(fields[kActionField], "OK");
  const bool refused = SameText(fields[kActionField], "BL");
  if (!passed && !refused) return;
  auto& hour = hours_[{*date, std::stoi(time->substr(0, 2))}];
  (passed ? hour.first : hour.second) += 1;
  ++addresses_[std::string(fields[kIpField])];
  if (refused) {
    ++types_[BlockTypeName(fields[kBlockTypeField])];
    ++zones_[std::string(fields[kBlockSourceField])];
  }
}

ChartCounts ChartCounter::Finish() const {
  ChartCounts counts;
  for (const auto& [key, value] : hours_) {
    counts.passed += value.first;
    counts.refused += value.second;
  }
  if (!hours_.empty()) {
    const auto first = Day(hours_.begin()->first.first);
    const auto last = Day(hours_.rbegin()->first.first);
    counts.hourly = (last - first).count() < 2;
    for (auto day = first; day <= last; day += std::chrono::days{1}) {
      const std::string text = DayText(day);
      const int hours = counts.hourly ? 24 : 1;
      for (int h = 0; h < hours; ++h) {
        ChartBucket bucket;
        char label[8];
        std::snprintf(label, sizeof label, " %02d:00", h);
        bucket.label = counts.hourly ? text + label : text;
        const int from = counts.hourly ? h : 0, to = counts.hourly ? h : 23;
        for (auto it = hours_.lower_bound({text, from});
             it != hours_.end() && it->first.first == text && it->first.second <= to; ++it) {
          bucket.passed += it->second.first;
          bucket.refused += it->second.second;
        }
        counts.timeline.push_back(std::move(bucket));
      }
    }
    if (counts.hourly) {
      // Only the hours the log covers, not the rest of its first and last day.
      const int first_hour = hours_.begin()->first.second;
      const int after_last = 24 - hours_.rbegin()->first.second - 1;
      counts.timeline.erase(counts.timeline.end() - after_last, counts.timeline.end());
      counts.timeline.erase(counts.timeline.begin(), counts.timeline.begin() + first_hour);
    }
  }
  counts.types = Sorted(types_, SIZE_MAX);
  counts.zones = Sorted(zones_, SIZE_MAX);
  counts.top_addresses = Sorted(addresses_, kTopAddresses);
  return counts;
}

std::optional<ChartCounts> CountLogFile(const std::string& path, const std::atomic<bool>* cancel) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  ChartCounter counter;
  std::string line;
  ReportFieldViews fields;
  for (std::size_t n = 0; std::getline(in, line); ++n) {
    if ((n & 0xffff) == 0 && cancel && cancel->load()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (ClassifyLogLine(line, fields) == LineKind::kEntry) counter.Add(fields);
  }
  if (in.bad()) return std::nullopt;
  return counter.Finish();
}

}  // namespace vantry::analyser
