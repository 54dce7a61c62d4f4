// The run's thread plan, worked out once from the core count (base/thread_plan.h says what the
// plan holds).
#pragma once

#include "base/thread_plan.h"

namespace tarvex {

/// The plan for a machine of `cores` cores (0 counts as 1). A run of one file gives it every
/// core: one decode worker per core (at most 4) for an uncompressed dump, one fewer for a
/// compressed one, whose decompression keeps a core busy, and one bzip2 worker per core (at most
/// 8). A run of `manyFiles` scans up to four files at once and shares the cores among them the
/// same way, so a run has at most 2 × cores + 11 threads whatever the core count.
ThreadPlan planThreads(unsigned cores, bool manyFiles);

}  // namespace tarvex
