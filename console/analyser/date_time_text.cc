#include "date_time_text.h"

#include <cstdio>
#include <vector>

#include "sql_text.h"

namespace vantry::analyser {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits "12/05/2003" into its digit runs; fails on anything but digits and
// the one separator, and on runs longer than max_digits (no overflow).
bool SplitNumbers(std::string_view text, char separator, size_t count, std::vector<int>* out) {
  out->clear();
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    std::string_view part =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty() || part.size() > 4) return false;
    int value = 0;
    for (char c : part) {
      if (!IsDigit(c)) return false;
      value = value * 10 + (c - '0');
    }
    out->push_back(value);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return out->size() == count;
}

bool ValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int limit = kDays[month - 1];
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && leap) limit = 29;
  return day <= limit;
}

std::optional<TimeOfDay> ParseClock(std::string_view text, bool twelve_hour) {
  std::vector<int> parts;
  if (twelve_hour && text.find(':') == std::string_view::npos) {
    if (!SplitNumbers(text, ':', 1, &parts)) return std::nullopt;
  } else if (!SplitNumbers(text, ':', 2, &parts) && !SplitNumbers(text, ':', 3, &parts)) {
    return std::nullopt;
  }
  // Minutes and seconds are always written with two digits.
  size_t first_colon = text.find(':');
  if (first_colon != std::string_view::npos) {
    std::string_view rest = text.substr(first_colon + 1);
    size_t second_colon = rest.find(':');
    if (rest.substr(0, second_colon).size() != 2) return std::nullopt;
    if (second_colon != std::string_view::npos && rest.substr(second_colon + 1).size() != 2) {
      return std::nullopt;
    }
  }
  TimeOfDay time{parts[0], parts.size() > 1 ? parts[1] : 0, parts.size() > 2 ? parts[2] : 0};
  if (time.minute > 59 || time.second > 59) return std::nullopt;
  if (text.substr(0, first_colon).size() > 2) return std::nullopt;
  if (twelve_hour ? time.hour > 12 : time.hour > 23) return std::nullopt;
  return time;
}

}  // namespace

std::optional<std::string> LogDateToStored(std::string_view text) {
  std::vector<int> parts;
  if (!SplitNumbers(text, '-', 3, &parts)) return std::nullopt;
  if (text.find('-') != 4 || text.substr(text.rfind('-') + 1).size() > 2) return std::nullopt;
  if (text.substr(5, text.rfind('-') - 5).size() > 2) return std::nullopt;
  if (!ValidDate(parts[0], parts[1], parts[2])) return std::nullopt;
  return FormatStoredDate({parts[0], parts[1], parts[2]});
}

std::optional<std::string> LogTimeToStored(std::string_view text) {
  auto time = ParseClock(text, false);
  if (!time) return std::nullopt;
  return FormatStoredTime(*time);
}

std::optional<CivilDate> ParseUserDate(std::string_view raw) {
  std::string_view text = TrimSpacesAndTabs(raw);
  std::vector<int> parts;
  if (SplitNumbers(text, '/', 3, &parts) || SplitNumbers(text, '-', 3, &parts)) {
    if (text.size() >= 5 && (text[4] == '-' || text[4] == '/') && parts[0] > 31) {
      CivilDate iso{parts[0], parts[1], parts[2]};
      if (ValidDate(iso.year, iso.month, iso.day)) return iso;
      return std::nullopt;
    }
    CivilDate us{parts[2], parts[0], parts[1]};
    // Only four-digit years: a two-digit year would need a century guess.
    size_t year_start = text.find_last_of("/-") + 1;
    if (text.size() - year_start != 4) return std::nullopt;
    if (ValidDate(us.year, us.month, us.day)) return us;
  }
  return std::nullopt;
}

std::optional<TimeOfDay> ParseUserTime(std::string_view raw) {
  std::string text = AsciiLower(TrimSpacesAndTabs(raw));
  bool am = false;
  bool pm = false;
  if (text.size() >= 2 && (text.ends_with("am") || text.ends_with("pm"))) {
    pm = text.ends_with("pm");
    am = !pm;
    text.resize(text.size() - 2);
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  auto time = ParseClock(text, am || pm);
  if (!time) return std::nullopt;
  if (am || pm) {
    if (time->hour == 0) return std::nullopt;  // "0:30 AM" is no 12-hour time.
    if (time->hour == 12) time->hour = 0;
    if (pm) time->hour += 12;
  }
  return time;
}

std::string FormatDialogDate(const CivilDate& date) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", date.month, date.day, date.year);
  return buffer;
}

std::string FormatDialogTime(const TimeOfDay& time) {
  int hour = time.hour % 12;
  if (hour == 0) hour = 12;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d:%02d %s", hour, time.minute,
                time.hour < 12 ? "AM" : "PM");
  return buffer;
}

std::string FormatStoredDate(const CivilDate& date) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.year, date.month, date.day);
  return buffer;
}

std::string FormatStoredTime(const TimeOfDay& time) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", time.hour, time.minute, time.second);
  return buffer;
}

std::optional<std::string> AccessLiteralToStored(std::string_view raw) {
  std::string_view inside = TrimSpacesAndTabs(raw);
  if (auto date = ParseUserDate(inside)) return FormatStoredDate(*date);
  if (auto time = ParseUserTime(inside)) return FormatStoredTime(*time);
  size_t blank = inside.find(' ');
  if (blank != std::string_view::npos) {
    auto date = ParseUserDate(inside.substr(0, blank));
    auto time = ParseUserTime(inside.substr(blank + 1));
    if (date && time) return FormatStoredDate(*date) + " " + FormatStoredTime(*time);
  }
  return std::nullopt;
}

std::string DisplayDate(std::string_view stored) {
  if (stored.size() >= 10 && LogDateToStored(stored.substr(0, 10))) {
    return std::string(stored.substr(0, 10));
  }
  return std::string(stored);
}

std::string DisplayTime(std::string_view stored) {
  if (stored.size() == 8 && LogTimeToStored(stored)) return std::string(stored.substr(0, 5));
  return std::string(stored);
}

}  // namespace vantry::analyser
