// A merged report that cannot be written: a full device, a closed standard output, a file size
// limit, a reader that goes away. tarvex-shard says and ends as the single run does (tarvex's own
// "cannot write report" message, status 1, the whole lines written before the fault and no part
// of the line that failed), and it keeps the work directory, so that nothing searched is lost: a
// re-run merges the days without searching them again.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "process_runner.h"
#include "report_checks.h"
#include "shard_archive.h"

namespace tarvex::testing {
namespace {

namespace fs = std::filesystem;

struct Faulty {
  const char* name;
  std::string outfile;  // --outfile, or empty for standard output
  ChildOptions child;   // where standard output goes and the file size limit
  std::string written;  // the file that receives the report, to compare; empty: none
  std::string reason;   // the end of tarvex's message
  bool oneDay = false;  // a range of one day, which ends with status 1 as such a fault
};

TEST(ShardReportFaultTest, AReportThatCannotBeWrittenEndsAsTheSingleRunAndKeepsTheDays) {
  TempDir dir;
  // Five days of 60 lines (about 4.4 KB each): each day's files fit within the size limit below,
  // the merged report does not.
  const ShardArchive archive = makeShardArchive(dir.path(), 5, 60);
  const std::string log = dir.file("days.log");
  writeDayLogger(dir.file("tarvex"), log);
  const rlim_t kLimit = 10000;
  const std::string limited = dir.file("limited");
  const std::vector<Faulty> cases = {
      {"standard output on a full device",
       "",
       {.stdoutPath = "/dev/full"},
       "",
       "standard output: No space left on device"},
      {"--outfile on a full device", "/dev/full", {}, "", "/dev/full: No space left on device"},
      {"standard output closed",
       "",
       {.closeStdout = true},
       "",
       "standard output: Bad file descriptor"},
      {"standard output under a file size limit",
       "",
       {.stdoutPath = limited, .fileSizeLimit = kLimit},
       limited,
       "standard output: File too large"},
      {"--outfile under a file size limit",
       limited,
       {.fileSizeLimit = kLimit},
       limited,
       limited + ": File too large"},
      {"a day's report on a full device",
       "",
       {.stdoutPath = "/dev/full"},
       "",
       "standard output: No space left on device",
       true},
  };
  ASSERT_GT(runTarvex(archive.rangeArguments()).out.size(), 2 * kLimit);
  for (const Faulty& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> range = archive.rangeArguments();
    if (c.oneDay) range.back() = "--enddate=" + archive.days.front();
    const RunResult whole = runTarvex(range);
    std::vector<std::string> arguments = range;
    if (!c.outfile.empty()) arguments.push_back("--outfile=" + c.outfile);
    const ChildResult single = ChildProcess(TARVEX_BINARY, arguments, c.child).finish();
    const std::string singleReport = c.written.empty() ? "" : readFile(c.written);
    ASSERT_EQ(single.status, 1);
    ASSERT_NE(single.err.find("tarvex: cannot write report to " + c.reason + "\n"),
              std::string::npos)
        << single.err;
    if (!c.written.empty()) {
      EXPECT_TRUE(wholeLinesOf(singleReport, whole.out));
    }

    fs::remove_all(dir.file("work"));
    fs::remove(log);
    const std::vector<std::string> shardOptions = {"--tarvex=" + dir.file("tarvex"),
                                                   "--workdir=" + dir.file("work")};
    const ChildResult sharded =
        ChildProcess(TARVEX_SHARD_BINARY, joined(shardOptions, arguments), c.child).finish();
    EXPECT_EQ(sharded.status, single.status);
    EXPECT_EQ(sharded.err, single.err);
    EXPECT_TRUE(sameReport(sharded.out, single.out));
    if (!c.written.empty()) {
      EXPECT_TRUE(sameReport(readFile(c.written), singleReport));
    }

    // Every day is kept, and merged again without a search.
    EXPECT_EQ(loggedDays(log).size(), c.oneDay ? 1 : archive.days.size());
    fs::remove(log);
    std::vector<std::string> rerunArguments = joined(shardOptions, range);
    if (!c.outfile.empty()) rerunArguments.push_back("--outfile=" + dir.file("report"));
    const RunResult rerun = runTarvexShard(rerunArguments);
    EXPECT_EQ(rerun.status, whole.status);
    EXPECT_EQ(rerun.err, whole.err);
    EXPECT_TRUE(
        sameReport(c.outfile.empty() ? rerun.out : readFile(dir.file("report")), whole.out));
    EXPECT_EQ(loggedDays(log), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(dir.file("work")));
  }
}

// A reader that leaves ends the merge quietly with tarvex's status for it, as it ends tarvex; the
// days stay for a re-run.
TEST(ShardReportFaultTest, AReaderThatLeavesEndsTheMergeQuietlyAndKeepsTheDays) {
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 3, 2000);
  const std::vector<std::string> arguments =
      joined({"--workdir=" + dir.file("work")}, archive.rangeArguments());
  ChildProcess sharded(TARVEX_SHARD_BINARY, arguments, {.stdoutPipeSize = 4096});
  const std::string first = sharded.readStdoutLine();
  EXPECT_NE(first, "");
  sharded.closeStdout();
  const ChildResult result = sharded.finish();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "tarvex: " + archive.cidrs +
                            ":2: not a CIDR block (Unexpected character 'n'); line ignored\n");
  for (const std::string& day : archive.days) {
    EXPECT_TRUE(fs::is_directory(dir.file("work/days/" + day))) << day;
  }
}

}  // namespace
}  // namespace tarvex::testing
