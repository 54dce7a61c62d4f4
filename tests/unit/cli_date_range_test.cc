// The date range of the command line: the next day of a YYYYMMDD text, against the calendar.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/date_range.h"

namespace tarvex {
namespace {

std::string dateText(std::chrono::year_month_day date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

TEST(NextDayTest, AgreesWithTheCalendarOnEveryDayOfFourCenturies) {
  using namespace std::chrono;
  // 1900 and 2100 are common years, 2000 a leap year; the range holds every kind of month end.
  const sys_days last{year{2300} / January / 1};
  for (sys_days day{year{1900} / January / 1}; day < last; day += days{1}) {
    const std::string today = dateText(year_month_day{day});
    ASSERT_EQ(nextDay(today), dateText(year_month_day{day + days{1}})) << today;
  }
}

TEST(NextDayTest, CrossesMonthAndYearEnds) {
  struct Case {
    const char* text;
    const char* next;
  };
  const Case cases[] = {
      {"20240229", "20240301"}, {"20230228", "20230301"},
      {"20240430", "20240501"}, {"20241231", "20250101"},
      {"00001231", "00010101"}, {"00000228", "00000229"},  // year 0 is a leap year
      {"99991230", "99991231"},
  };
  for (const Case& c : cases) EXPECT_EQ(nextDay(c.text), std::string(c.next)) << c.text;
}

TEST(NextDayTest, RejectsTextsThatAreNotDates) {
  for (const char* text :
       {"20241301", "20240001", "20240100", "20240132", "20249999", "2024011", "202401011", "",
        "2024-1-1", "2024010a", " 2024010", "20240101 ", "99991231",
        // days past the end of their month
        "20240230", "20240231", "20230229", "20240431", "21000229"}) {
    EXPECT_EQ(nextDay(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace tarvex
