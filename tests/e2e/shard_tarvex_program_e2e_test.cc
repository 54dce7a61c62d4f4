// The tarvex that tarvex-shard runs: a program that is not tarvex is refused before anything is
// searched, and a day whose tarvex ended on one of its fatal errors (a report it could not write,
// a list it could not open, an output file it could not open) fails by name, although tarvex
// ends such a run with the status of a one-day search. A re-run without the fault searches only
// that day and gives the single run's result.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "process_runner.h"
#include "shard_archive.h"

namespace tarvex::testing {
namespace {

namespace fs = std::filesystem;

TEST(ShardTarvexProgramTest, AProgramThatIsNotTarvexIsRefusedBeforeAnyDay) {
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 2, 1);
  writeText(dir.file("wrapper"), "#!/bin/sh\necho 'wrapper: no tarvex here' >&2\nexit 1\n");
  writeText(dir.file("usage-only"), "#!/bin/sh\nexec '" TARVEX_BINARY "' --help\n");
  for (const char* name : {"wrapper", "usage-only"}) {
    fs::permissions(dir.file(name), fs::perms::owner_all);
  }
  struct Case {
    std::string program;
    std::string message;
  };
  const Case cases[] = {
      {"/bin/false", "/bin/false is not tarvex: its --help does not print tarvex's usage text"},
      {dir.file("wrapper"),
       dir.file("wrapper") + " is not tarvex: its --help does not print tarvex's usage text"},
      {dir.path(), dir.path() + " is a directory, not the tarvex program"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const RunResult result =
        runTarvexShard(joined({"--tarvex=" + c.program}, archive.rangeArguments()),
                       {.workingDirectory = dir.path()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "tarvex-shard: " + c.message + "\n");
    EXPECT_EQ(result.out, "");
  }
  // A stand-in whose every answer is tarvex's usage text passes the check; its days do not.
  const RunResult usage =
      runTarvexShard(joined({"--tarvex=" + dir.file("usage-only")}, archive.rangeArguments()),
                     {.workingDirectory = dir.path()});
  EXPECT_EQ(usage.status, 3);
  EXPECT_NE(usage.err.find("tarvex-shard: day 20240301 failed: tarvex printed its usage text\n"),
            std::string::npos)
      << usage.err;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    if (entry.path().filename().string().starts_with("tarvex-shard.")) {
      fs::remove_all(entry.path());
    }
  }
}

TEST(ShardTarvexProgramTest, ADayWhoseTarvexEndedOnAFatalErrorFailsByName) {
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 4, 3);
  const std::string log = dir.file("days.log");
  struct Case {
    const char* name;
    std::string fault;  // shell text run before tarvex on the day
    bool outfile;
    std::string message;  // the day's failure
  };
  const Case cases[] = {
      {"its report cannot be written", "exec >/dev/full", false,
       "tarvex: cannot write report to standard output: No space left on device"},
      {"a criteria list it cannot open", "cd /", false, "Couldn't open file cidrs.txt"},
      {"an output file it cannot open",
       "for word; do shift; case $word in --outfile=*) word=--outfile=/nonexistent/report;; esac; "
       "set -- \"$@\" \"$word\"; done",
       true, "tarvex: cannot open output file /nonexistent/report: No such file or directory"},
  };
  const std::string day = "20240303";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The fault strikes the day whose flag file exists.
    writeDayLogger(dir.file("tarvex"), log,
                   "if [ -e '" + dir.file("fault-") + "'\"$day\" ]; then\n" + c.fault + "\nfi");
    writeText(dir.file("fault-" + day), "");
    fs::remove(log);
    std::vector<std::string> arguments = {"--cidrfile=cidrs.txt", "--dir=" + archive.dir,
                                          "--startdate=" + archive.days.front(),
                                          "--enddate=" + archive.days.back()};
    if (c.outfile) arguments.push_back("--outfile=" + dir.file("report"));
    const std::vector<std::string> sharded =
        joined({"--tarvex=" + dir.file("tarvex"), "--workdir=" + dir.file("work")}, arguments);
    const RunResult failed = runTarvexShard(sharded, {.workingDirectory = dir.path()});
    EXPECT_EQ(failed.status, 3);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "tarvex-shard: day " + day + " failed: " + c.message +
                              "\ntarvex-shard: no report was written; the finished days are kept "
                              "in " +
                              dir.file("work") +
                              ", and running the same command again searches only the days that "
                              "failed\n");
    EXPECT_FALSE(fs::exists(dir.file("report")));

    fs::remove(dir.file("fault-" + day));
    fs::remove(log);
    const RunResult single = runTarvex(arguments, {.workingDirectory = dir.path()});
    const std::string singleReport = readFile(dir.file("report"));
    fs::remove(dir.file("report"));
    expectSameRun(runTarvexShard(sharded, {.workingDirectory = dir.path()}), single);
    EXPECT_EQ(readFile(dir.file("report")), singleReport);
    EXPECT_EQ(loggedDays(log), std::vector<std::string>{day});
  }
}

}  // namespace
}  // namespace tarvex::testing
