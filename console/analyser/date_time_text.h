#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantry::analyser {

/// A calendar date, checked against the month lengths (leap years included).
struct CivilDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

/// A time of day, 00:00:00 to 23:59:59.
struct TimeOfDay {
  int hour = 0;
  int minute = 0;
  int second = 0;
};

/// The log's date field "yyyy-mm-dd" (one-digit month and day tolerated) as
/// stored in the table: "yyyy-mm-dd". Empty when it is no real date.
std::optional<std::string> LogDateToStored(std::string_view text);
/// The log's time field "hh:mm" (one-digit hour, optional seconds tolerated)
/// as stored in the table: "hh:mm:ss". Empty when it is no real time.
std::optional<std::string> LogTimeToStored(std::string_view text);

/// A date as typed in the date dialog or an Access literal: m/d/yyyy (the
/// dialog's own form), m-d-yyyy, or yyyy-mm-dd.
std::optional<CivilDate> ParseUserDate(std::string_view text);
/// A time as typed: h:mm AM/PM (the dialog's own form, seconds optional,
/// blank before AM/PM optional, "h AM" too) or 24-hour hh:mm[:ss].
std::optional<TimeOfDay> ParseUserTime(std::string_view text);

/// The dialog's stored date form "mm/dd/yyyy".
std::string FormatDialogDate(const CivilDate& date);
/// The dialog's stored time form "h:mm AM/PM" (no leading zero on the hour).
std::string FormatDialogTime(const TimeOfDay& time);

/// The storage forms "yyyy-mm-dd" and "hh:mm:ss", which compare as text in
/// date and time order.
std::string FormatStoredDate(const CivilDate& date);
std::string FormatStoredTime(const TimeOfDay& time);

/// The inside of an Access "#...#" literal in storage form: a date, a time,
/// or a date followed by a time ("yyyy-mm-dd hh:mm:ss"). Empty when unreadable.
std::optional<std::string> AccessLiteralToStored(std::string_view inside);

/// Report tables show dates as yyyy-mm-dd and times as hh:mm (24-hour);
/// anything else stored in the column is shown unchanged.
std::string DisplayDate(std::string_view stored);
std::string DisplayTime(std::string_view stored);

}  // namespace vantry::analyser
