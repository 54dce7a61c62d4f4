// The thread plan: what a run of one file and a run of many files start, and the bound on the
// threads of a run for any core count.
#include "base/thread_plan.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(ThreadPlanTest, PlansForTypicalMachines) {
  struct Case {
    unsigned cores;
    bool manyFiles;
    ThreadPlan plan;  // files at once, decode plain, decode compressed, bzip2
  };
  const Case cases[] = {
      {0, false, {1, 1, 1, 0}},  {1, false, {1, 1, 1, 0}}, {1, true, {1, 1, 1, 0}},
      {2, false, {1, 2, 1, 2}},  {2, true, {2, 1, 1, 0}},  {4, false, {1, 4, 3, 4}},
      {4, true, {4, 1, 1, 0}},   {8, false, {1, 4, 3, 8}}, {8, true, {4, 2, 1, 2}},
      {64, false, {1, 4, 3, 8}}, {64, true, {4, 4, 3, 8}},
  };
  for (const Case& c : cases) {
    const ThreadPlan plan = planThreads(c.cores, c.manyFiles);
    EXPECT_EQ(plan.filesAtOnce, c.plan.filesAtOnce) << c.cores << " " << c.manyFiles;
    EXPECT_EQ(plan.decodeWorkersPlain, c.plan.decodeWorkersPlain) << c.cores << " " << c.manyFiles;
    EXPECT_EQ(plan.decodeWorkersCompressed, c.plan.decodeWorkersCompressed)
        << c.cores << " " << c.manyFiles;
    EXPECT_EQ(plan.bzip2Workers, c.plan.bzip2Workers) << c.cores << " " << c.manyFiles;
  }
}

// Four bzip2 files on an eight-core machine once started some 55 threads; the plan keeps any
// run within 2 × cores + 11.
TEST(ThreadPlanTest, ThreadsStayWithinTheBound) {
  for (unsigned cores = 1; cores <= 512; ++cores) {
    for (bool manyFiles : {false, true}) {
      const ThreadPlan plan = planThreads(cores, manyFiles);
      EXPECT_LE(plan.maxThreads(), 2 * cores + 11) << cores << " " << manyFiles;
      EXPECT_GE(plan.decodeWorkers(true), 1u);
    }
  }
  EXPECT_EQ(planThreads(8, true).maxThreads(), 27u);
}

}  // namespace
}  // namespace tarvex
