// Dates and times as a log, a dialog or a typed query holds them: whatever is
// read once reads back the same from each form it is written in.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "date_time_text.h"
#include "fuzz_check.h"

namespace {

namespace a = vantry::analyser;

bool Same(const a::CivilDate& x, const a::CivilDate& y) {
  return x.year == y.year && x.month == y.month && x.day == y.day;
}

bool Same(const a::TimeOfDay& x, const a::TimeOfDay& y) {
  return x.hour == y.hour && x.minute == y.minute && x.second == y.second;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  if (auto stored = a::LogDateToStored(text)) {
    FUZZ_CHECK(stored->size() == 10 && a::LogDateToStored(*stored) == stored);
    FUZZ_CHECK(a::DisplayDate(*stored) == *stored);
  }
  if (auto stored = a::LogTimeToStored(text)) {
    FUZZ_CHECK(stored->size() == 8 && a::LogTimeToStored(*stored) == stored);
    FUZZ_CHECK(a::DisplayTime(*stored) == stored->substr(0, 5));
    FUZZ_CHECK(a::LogTimeToStored(a::DisplayTime(*stored)) == stored->substr(0, 5) + ":00");
  }
  if (auto date = a::ParseUserDate(text)) {
    FUZZ_CHECK(date->month >= 1 && date->month <= 12 && date->day >= 1 && date->day <= 31);
    auto dialog = a::ParseUserDate(a::FormatDialogDate(*date));
    FUZZ_CHECK(dialog && Same(*dialog, *date));
    FUZZ_CHECK(a::LogDateToStored(a::FormatStoredDate(*date)) == a::FormatStoredDate(*date));
  }
  if (auto time = a::ParseUserTime(text)) {
    FUZZ_CHECK(time->hour >= 0 && time->hour <= 23 && time->minute >= 0 && time->minute <= 59 &&
               time->second >= 0 && time->second <= 59);
    auto stored = a::ParseUserTime(a::FormatStoredTime(*time));
    FUZZ_CHECK(stored && Same(*stored, *time));
    // The dialog's form has no seconds.
    auto dialog = a::ParseUserTime(a::FormatDialogTime(*time));
    FUZZ_CHECK(dialog && dialog->hour == time->hour && dialog->minute == time->minute &&
               dialog->second == 0);
  }
  if (auto literal = a::AccessLiteralToStored(text)) {
    // A date, a time, or both with one blank between them, each in its stored form.
    const std::string& s = *literal;
    FUZZ_CHECK(s.size() == 8 || s.size() == 10 || s.size() == 19);
    if (s.size() != 8) FUZZ_CHECK(a::LogDateToStored(s.substr(0, 10)) == s.substr(0, 10));
    if (s.size() != 10)
      FUZZ_CHECK(a::LogTimeToStored(s.substr(s.size() - 8)) == s.substr(s.size() - 8));
  }
  a::DisplayDate(text);
  a::DisplayTime(text);
  return 0;
}
