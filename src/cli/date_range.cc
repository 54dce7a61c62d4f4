#include "cli/date_range.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "cli/usage.h"
#include "discovery/archive_days.h"

namespace tarvex {

namespace {

constexpr std::size_t kDateTextLength = 8;
constexpr int kLastYear = 9999;  // the last year that four digits can write

// A day of the proleptic Gregorian calendar, as a date text writes it.
struct CalendarDay {
  int year;
  int month;
  int day;
};

bool isAllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int digitsValue(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool isMonth(int month) {
  return month >= 1 && month <= 12;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// The year, month and day numbers of eight digits, whatever their values.
CalendarDay splitDateText(std::string_view text) {
  return {digitsValue(text.substr(0, 4)), digitsValue(text.substr(4, 2)),
          digitsValue(text.substr(6, 2))};
}

// Eight digits that name a day of the calendar; nothing for any other text.
std::optional<CalendarDay> readDateText(std::string_view text) {
  if (text.size() != kDateTextLength || !isAllDigits(text)) return std::nullopt;
  CalendarDay date = splitDateText(text);
  if (!isMonth(date.month) || date.day < 1 || date.day > daysInMonth(date.year, date.month)) {
    return std::nullopt;
  }
  return date;
}

CalendarDay followingDay(CalendarDay date) {
  if (++date.day > daysInMonth(date.year, date.month)) {
    date.day = 1;
    if (++date.month > 12) {
      date.month = 1;
      ++date.year;
    }
  }
  return date;
}

// The message for a date text of eight digits whose month exists but whose day does not (a
// thirtieth of February, a day 00 or 32); nothing for any other. A month that does not exist
// (00, 13) is left to the walk, which searches its day and then cannot go on.
std::optional<std::string> missingDayMessage(const char* which, const std::string& text) {
  static constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                                "May",       "June",     "July",     "August",
                                                "September", "October",  "November", "December"};
  const CalendarDay date = splitDateText(text);
  if (!isMonth(date.month)) return std::nullopt;
  const int length = daysInMonth(date.year, date.month);
  if (date.day >= 1 && date.day <= length) return std::nullopt;
  return "tarvex: the " + std::string(which) + " date " + text + " is not a day of the calendar (" +
         kMonthNames[date.month - 1] + " " + text.substr(0, 4) + " has " + std::to_string(length) +
         " days)\n";
}

// YYYYMMDD as one number, so that days and date texts of eight digits compare in calendar
// order. A year past 9999 lies after every date text.
long orderKey(const CalendarDay& date) {
  return date.year * 10000L + date.month * 100L + date.day;
}

std::string formatDateText(const CalendarDay& date) {
  char text[36];  // room for any three ints, so the compiler can see that nothing is cut off
  std::snprintf(text, sizeof text, "%04d%02d%02d", date.year, date.month, date.day);
  return text;
}

}  // namespace

std::optional<std::string> nextDay(std::string_view dateText) {
  std::optional<CalendarDay> date = readDateText(dateText);
  if (!date) return std::nullopt;
  CalendarDay next = followingDay(*date);
  if (next.year > kLastYear) return std::nullopt;
  return formatDateText(next);
}

bool checkDateRange(const std::string& start, const std::string& end, OutputPort& out) {
  if (start.size() != kDateTextLength || end.size() != kDateTextLength) {
    out.toStdout("The date format is YYYYMMDD and should be of length 8\n");
    return false;
  }
  if (!isAllDigits(start) || !isAllDigits(end)) {
    out.toStdout("The date format is YYYYMMDD and should be all integers\n");
    return false;
  }
  // A date that is no day would be walked as if it were some other one: refused outright.
  for (const auto& [which, text] : {std::pair{"start", &start}, std::pair{"end", &end}}) {
    if (std::optional<std::string> message = missingDayMessage(which, *text)) {
      out.toStderr(*message);
      return false;
    }
  }
  if (start > end) {
    // The usage text goes through the sink too, so it stays behind the message.
    out.toStdout("Start date must come before end date.\n");
    out.toStdout(kUsageText);
    return false;
  }
  return true;
}

int walkDays(const std::string& start, const std::string& end,
             const std::function<void(const std::string&)>& visitDay, OutputPort& out) {
  visitDay(start);
  if (end == start) return 1;

  // The end date passed the checks but need not be a calendar day (a month 13): the walk then
  // stops at the first day after it instead of waiting for its text forever.
  const long endKey = digitsValue(end);
  std::string current = start;
  int daysWalked = 1;
  for (;;) {
    std::optional<CalendarDay> date = readDateText(current);
    if (!date) {
      out.toStdout("Can not parse:  " + current + "\n");
      return kUnreadableDateStatus;
    }
    CalendarDay next = followingDay(*date);
    if (orderKey(next) > endKey) break;
    current = formatDateText(next);
    visitDay(current);
    ++daysWalked;
    if (current == end) break;
  }
  return daysWalked >= 2 ? 0 : 1;
}

int walkDateRange(const SearchSettings& settings, OutputPort& out) {
  if (!checkDateRange(settings.startDate, settings.endDate, out)) return 1;
  return walkDays(
      settings.startDate, settings.endDate,
      [&](const std::string& day) { scanDay(settings, day, out); }, out);
}

}  // namespace tarvex
