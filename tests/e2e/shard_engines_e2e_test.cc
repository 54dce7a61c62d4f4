// What the engines say about the days they run: a day killed or crashed under the local engine
// is named with the signal and nothing else reaches standard error (no shell's job notice); a
// host that GNU parallel cannot reach names the engine's own reason (ssh's) for each of its days;
// and the local engine runs --jobs days at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "process_runner.h"
#include "shard/spawn.h"
#include "shard_archive.h"

namespace tarvex::testing {
namespace {

namespace fs = std::filesystem;

TEST(ShardEnginesTest, ALocalDayKilledOrCrashedIsNamedWithItsSignalAndNothingElse) {
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 3, 2);
  const std::string log = dir.file("days.log");
  struct Case {
    const char* signal;
    std::string reason;
  };
  const Case cases[] = {{"KILL", "tarvex was ended by signal 9 (status 137)"},
                        {"SEGV", "tarvex was ended by signal 11 (status 139)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signal);
    writeDayLogger(dir.file("tarvex"), log,
                   std::string("[ \"$day\" = 20240302 ] && kill -") + c.signal + " $$");
    const std::string work = dir.file(std::string("work-") + c.signal);
    const RunResult result = runTarvexShard(
        joined({"--tarvex=" + dir.file("tarvex"), "--workdir=" + work}, archive.rangeArguments()));
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tarvex-shard: day 20240302 failed: " + c.reason + " (on " + hostName() +
                              ")\ntarvex-shard: no report was written; the finished days are "
                              "kept in " +
                              work +
                              ", and running the same command again searches only the days "
                              "that failed\n");
  }
}

TEST(ShardEnginesTest, AHostParallelCannotReachFailsItsDaysWithTheEnginesReason) {
  if (shard::findOnPath("parallel").empty() || shard::findOnPath("ssh").empty()) {
    GTEST_SKIP() << "needs GNU parallel and ssh, which are not installed";
  }
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 2, 1);
  const RunResult result = runTarvexShard(
      joined({"--engine=parallel", "--sshlogin=unreachable.invalid", "--workdir=" + dir.file("w")},
             archive.rangeArguments()));
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out, "");
  for (const std::string& day : archive.days) {
    EXPECT_NE(result.err.find("tarvex-shard: day " + day +
                              " failed: ssh: Could not resolve hostname unreachable.invalid: "),
              std::string::npos)
        << result.err;
  }
}

// Each day waits until two days have started: the run ends only if they ran at once.
TEST(ShardEnginesTest, TheLocalEngineRunsJobsDaysAtOnce) {
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 4, 2);
  makeDirectories(dir.file("started"));
  writeDayLogger(dir.file("tarvex"), dir.file("days.log"),
                 "touch '" + dir.file("started") +
                     "/'\"$day\"\n"
                     "waited=0\n"
                     "while [ \"$(ls '" +
                     dir.file("started") +
                     "' | wc -l)\" -lt 2 ]; do\n"
                     "  [ $waited -ge 1200 ] && exit 99\n"
                     "  sleep 0.05; waited=$((waited + 1))\n"
                     "done");
  const std::vector<std::string> arguments = archive.rangeArguments();
  expectSameRun(runTarvexShard(joined({"--tarvex=" + dir.file("tarvex"), "--jobs=2"}, arguments),
                               {.workingDirectory = dir.path()}),
                runTarvex(arguments));
}

}  // namespace
}  // namespace tarvex::testing
