#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process_runner.h"
#include "shard/shard_usage.h"

namespace tarvex::shard {
namespace {

using testing::RunResult;
using testing::TempDir;

RunResult runShard(const std::vector<std::string>& arguments) {
  return testing::runProgram(TARVEX_SHARD_BINARY, arguments);
}

TEST(ShardProgramTest, AnswersItsOwnOptionsAndListsDaysWithoutSearching) {
  TempDir dir;
  const RunResult help = runShard({"--dir=x", "--help", "--jobs"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, kShardUsageText);

  const RunResult days = runShard({"--tarvex=" TARVEX_BINARY, "--dir=" + dir.path(),
                                   "--startdate=20241230", "--enddate=20241301", "--list-days"});
  EXPECT_EQ(days.status, 0);
  EXPECT_EQ(days.out, "20241230\n20241231\n");
  EXPECT_EQ(days.err, "");

  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Case mistakes[] = {
      {{"--dir=x", "--jobs"}, "tarvex-shard: option --jobs needs a value\n"},
      {{"--tarvex=" + dir.path() + "/absent", "--dir=x"},
       "tarvex-shard: " + dir.path() + "/absent is not an executable program\n"},
      {{"--tarvex=" TARVEX_BINARY, "--engine=ssh", "--dir=" + dir.path(), "--startdate=20240101",
        "--enddate=20240102"},
       "tarvex-shard: unknown engine \"ssh\" (local, parallel or slurm)\n"},
  };
  for (const Case& c : mistakes) {
    const RunResult result = runShard(c.arguments);
    EXPECT_EQ(result.status, 2) << c.message;
    EXPECT_EQ(result.err, c.message);
    EXPECT_EQ(result.out, "");
  }
}

// No arguments at all is a mistake in tarvex-shard's own command line: its usage text, where its
// other mistakes go, with their status.
TEST(ShardProgramTest, AnswersNoArgumentsWithItsOwnUsageAsAMistake) {
  const RunResult result = runShard({});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, kShardUsageText);
  EXPECT_EQ(result.out, "");
}

// What is no date-range search, or fails tarvex's checks before the first day, is tarvex's to
// answer: the sharded run is then the single run, byte for byte.
TEST(ShardProgramTest, HandsTarvexWhatIsNoDateRangeSearch) {
  TempDir dir;
  const std::string archive = "--dir=" + dir.path();
  const std::vector<std::vector<std::string>> commandLines = {
      {archive, "--startdate=20240101", "--enddate=20240102", "--bogus"},
      {archive, "--startdate=20240230", "--enddate=20240302"},
      {archive, "--startdate=20240302", "--enddate=20240301"},
      {archive, "--startdate=20240101", "--enddate=20240102", "--cidrfile=" + dir.file("absent")},
      {archive, "--startdate=20240101"},
      {"--update=" + dir.file("absent.gz")},
      {archive, "--startdate=20240101", "--enddate=20240102", "--hel"},
  };
  for (const std::vector<std::string>& args : commandLines) {
    std::vector<std::string> sharded{"--tarvex=" TARVEX_BINARY, "--engine=local"};
    sharded.insert(sharded.end(), args.begin(), args.end());
    const RunResult single = testing::runTarvex(args);
    const RunResult result = runShard(sharded);
    EXPECT_EQ(result.status, single.status) << args.back();
    EXPECT_EQ(result.out, single.out) << args.back();
    EXPECT_EQ(result.err, single.err) << args.back();
  }
}

}  // namespace
}  // namespace tarvex::shard
