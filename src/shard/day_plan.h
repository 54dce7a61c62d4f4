// The days of a date range, as tarvex walks them: its own date checks and its own walk
// (cli/date_range.h), run without searching anything. Each day becomes one tarvex run.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvex::shard {

struct DayPlan {
  std::vector<std::string> days;  // date texts in walk order
  int status = 1;                 // the single run's exit status once every day is searched
  std::string trailer;            // what the single run writes on standard output after the days
};

/// The walk of the range from `start` to `end`; nothing when the dates fail tarvex's checks
/// (tarvex then answers with its own message).
std::optional<DayPlan> planDays(const std::string& start, const std::string& end);

}  // namespace tarvex::shard
