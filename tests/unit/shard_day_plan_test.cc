#include <gtest/gtest.h>

#include <string>

#include "shard/day_plan.h"

namespace tarvex::shard {
namespace {

TEST(ShardDayPlanTest, WalksTheDaysTarvexWalks) {
  struct Case {
    const char* start;
    const char* end;
    std::size_t days;
    const char* last;
    int status;
    const char* trailer;
  };
  const Case cases[] = {
      {"20240226", "20240303", 7, "20240303", 0, ""},
      {"20240228", "20240301", 3, "20240301", 0, ""},  // through a leap day
      {"20230227", "20230301", 3, "20230301", 0, ""},
      {"20231231", "20240101", 2, "20240101", 0, ""},
      {"20240229", "20240229", 1, "20240229", 1, ""},  // one day ends as a one-day run
      {"20230228", "20230330", 31, "20230330", 0, ""},
      {"20150101", "20251231", 4018, "20251231", 0, ""},
      {"18991231", "19010101", 367, "19010101", 0, ""},
      {"19991231", "20010101", 368, "20010101", 0, ""},
      // An end date in a month 13 ends the walk at the first day after it.
      {"99990101", "99991301", 365, "99991231", 0, ""},
      {"99991230", "99991301", 2, "99991231", 0, ""},
      {"20241201", "20241301", 31, "20241231", 0, ""},
      // A start date in a month that does not exist is searched, then the walk cannot go on.
      {"20241301", "20241302", 1, "20241301", 255, "Can not parse:  20241301\n"},
      {"20240015", "20240101", 1, "20240015", 255, "Can not parse:  20240015\n"},
  };
  for (const Case& c : cases) {
    const std::optional<DayPlan> plan = planDays(c.start, c.end);
    ASSERT_TRUE(plan) << c.start << "-" << c.end;
    EXPECT_EQ(plan->days.size(), c.days) << c.start << "-" << c.end;
    EXPECT_EQ(plan->days.front(), c.start) << c.start << "-" << c.end;
    EXPECT_EQ(plan->days.back(), c.last) << c.start << "-" << c.end;
    EXPECT_EQ(plan->status, c.status) << c.start << "-" << c.end;
    EXPECT_EQ(plan->trailer, c.trailer) << c.start << "-" << c.end;
  }
}

TEST(ShardDayPlanTest, ListsTheDaysInCalendarOrder) {
  const std::optional<DayPlan> plan = planDays("20240227", "20240302");
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->days,
            (std::vector<std::string>{"20240227", "20240228", "20240229", "20240301", "20240302"}));
}

TEST(ShardDayPlanTest, LeavesDatesThatFailTarvexsChecksToTarvex) {
  const std::pair<const char*, const char*> refused[] = {
      {"20230230", "20230330"},  // a thirtieth of February
      {"20240226", "20240231"}, {"20240300", "20240301"}, {"20230229", "20230301"},
      {"20240230", "20240101"}, {"20240302", "20240301"},  // start after end
      {"2024030", "20240301"},  {"2024-301", "20240301"}, {"", "20240301"},
  };
  for (const auto& [start, end] : refused) {
    EXPECT_EQ(planDays(start, end), std::nullopt) << start << "-" << end;
  }
}

}  // namespace
}  // namespace tarvex::shard
