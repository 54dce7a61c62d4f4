#include "base/thread_plan.h"

#include <algorithm>

namespace tarvex {

ThreadPlan planThreads(unsigned cores, bool manyFiles) {
  cores = std::max(cores, 1u);
  ThreadPlan plan;
  // Every scan holds up to a dozen MiB of read-ahead (memory_budgets.h), so four at once fill a
  // larger machine while memory stays bounded whatever its size.
  plan.filesAtOnce = manyFiles && cores >= 2 ? std::min(cores, 4u) : 1;
  const unsigned share = std::max(cores / plan.filesAtOnce, 1u);
  plan.decodeWorkersPlain = std::min(share, 4u);
  plan.decodeWorkersCompressed = std::max(std::min(share, 4u) - 1, 1u);
  plan.bzip2Workers = share >= 2 ? std::min(share, 8u) : 0;
  return plan;
}

}  // namespace tarvex
