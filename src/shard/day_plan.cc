#include "shard/day_plan.h"

#include "cli/date_range.h"
#include "shard/message_capture.h"

namespace tarvex::shard {

std::optional<DayPlan> planDays(const std::string& start, const std::string& end) {
  MessageCapture messages;
  if (!checkDateRange(start, end, messages)) return std::nullopt;
  DayPlan plan;
  plan.status = walkDays(
      start, end, [&](const std::string& day) { plan.days.push_back(day); }, messages);
  plan.trailer = messages.stdoutText;
  return plan;
}

}  // namespace tarvex::shard
