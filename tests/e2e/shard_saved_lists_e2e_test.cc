// Criteria lists that only tarvex-shard's own process can read as given: a pipe on standard
// input, a process substitution (/dev/fd/N), a named pipe, a regular file reached through
// /dev/stdin. Each is read once and saved in the work directory; every day reads the copy, and
// the result is the single run's byte for byte, messages naming the list as given included.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"
#include "shard_archive.h"

namespace tarvex::testing {
namespace {

namespace fs = std::filesystem;

// Two blocks (one matches), a line that is no block, an AS number list's worth of lines.
const std::string kCidrList = "192.0.2.0/24\n10/8\nno block\n198.51.100.0/24";
const std::string kAsnList = "64510\nAS64510\n";

// Runs `program` with `arguments`, the CIDR list in a named pipe at `fifo` that a writer fills
// once, as a shell's `printf ... >fifo &` would.
RunResult runWithNamedPipe(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& fifo, const RunOptions& options = {}) {
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for the reader
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t written = ::write(fd, kCidrList.data(), kCidrList.size());
    ::close(fd);
  });
  RunResult result = runProgram(program, arguments, options);
  writer.join();
  return result;
}

TEST(ShardSavedListRunTest, AListOnStandardInputIsReadOnceAndEveryDayUsesIt) {
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 4, 3);
  const std::string log = dir.file("days.log");
  writeDayLogger(dir.file("tarvex"), log);
  writeText(dir.file("asns.txt"), kAsnList);
  writeText(dir.file("cidrs-file.txt"), kCidrList);
  const std::vector<std::string> range = {"--dir=" + archive.dir,
                                          "--startdate=" + archive.days.front(),
                                          "--enddate=" + archive.days.back()};
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string input;
  };
  const Case cases[] = {
      {"CIDR list on a pipe", {"--cidrfile=/dev/stdin"}, kCidrList},
      {"both lists on one pipe: the AS number list finds it read",
       {"--cidrfile=/dev/stdin", "--asnfile", "/dev/stdin", "--or"},
       kCidrList},
      {"AS number list on a pipe, report in a file",
       {"--cidrfile=" + archive.cidrs, "--asnfile=/dev/stdin", "--or",
        "--outfile=" + dir.file("report")},
       kAsnList},
      {"through /proc/self/fd", {"--cidrfile=/proc/self/fd/0", "--verbose"}, kCidrList},
      {"an empty pipe", {"--cidrfile=/dev/stdin"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> arguments = joined(c.arguments, range);
    const RunOptions options{.workingDirectory = dir.path(), .standardInput = c.input};
    fs::remove(dir.file("report"));
    const RunResult single = runTarvex(arguments, options);
    const std::string singleReport = readFile(dir.file("report"));
    fs::remove(dir.file("report"));
    fs::remove(log);
    const RunResult sharded =
        runTarvexShard(joined({"--tarvex=" + dir.file("tarvex"), "--jobs=2"}, arguments), options);
    expectSameRun(sharded, single);
    EXPECT_EQ(readFile(dir.file("report")), singleReport);
    EXPECT_EQ(loggedDays(log).size(), archive.days.size());
  }
  // The criteria are the list's lines: a run on the same lines takes up its finished days, one on
  // other lines does not.
  const std::vector<std::string> arguments = joined({"--cidrfile=/dev/stdin"}, range);
  const std::vector<std::string> shardArguments =
      joined({"--tarvex=" + dir.file("tarvex"), "--keep-workdir"}, arguments);
  const RunOptions options{.workingDirectory = dir.path(), .standardInput = kCidrList};
  runTarvexShard(shardArguments, options);
  fs::remove(log);
  expectSameRun(runTarvexShard(shardArguments, options), runTarvex(arguments, options));
  EXPECT_EQ(loggedDays(log), std::vector<std::string>{});
  const RunOptions other{.workingDirectory = dir.path(), .standardInput = "198.51.100.0/24\n"};
  expectSameRun(runTarvexShard(shardArguments, other), runTarvex(arguments, other));
  EXPECT_EQ(loggedDays(log).size(), archive.days.size());
}

TEST(ShardSavedListRunTest, AProcessSubstitutionANamedPipeAndARedirectedFileNameTheListAsGiven) {
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 3, 2);
  writeText(dir.file("cidrs-file.txt"), kCidrList);
  ASSERT_EQ(::mkfifo(dir.file("cidrs.fifo").c_str(), 0600), 0);
  const std::string range = "--dir=" + archive.dir + " --startdate=" + archive.days.front() +
                            " --enddate=" + archive.days.back();
  // Through bash, which makes the pipe of <(...) and the redirection.
  const auto throughBash = [&](const std::string& program, const std::string& list) {
    return runProgram("/bin/bash",
                      {"-c", "exec '" + program + "' --cidrfile " + list + " " + range +
                                 " --outfile=" + dir.file("report")},
                      {.workingDirectory = dir.path()});
  };
  for (const std::string& list :
       {"<(printf '" + kCidrList + "')", std::string("/dev/stdin <cidrs-file.txt")}) {
    SCOPED_TRACE(list);
    const RunResult single = throughBash(TARVEX_BINARY, list);
    const std::string singleReport = readFile(dir.file("report"));
    ASSERT_NE(singleReport, "");
    fs::remove(dir.file("report"));
    expectSameRun(throughBash(TARVEX_SHARD_BINARY, list), single);
    EXPECT_EQ(readFile(dir.file("report")), singleReport);
  }

  const std::vector<std::string> arguments = {"--cidrfile=cidrs.fifo", "--dir=" + archive.dir,
                                              "--startdate=" + archive.days.front(),
                                              "--enddate=" + archive.days.back()};
  const RunResult single = runWithNamedPipe(TARVEX_BINARY, arguments, dir.file("cidrs.fifo"),
                                            {.workingDirectory = dir.path()});
  ASSERT_NE(single.err.find("tarvex: cidrs.fifo:3: not a CIDR block"), std::string::npos)
      << single.err;
  expectSameRun(runWithNamedPipe(TARVEX_SHARD_BINARY, joined({"--engine=local"}, arguments),
                                 dir.file("cidrs.fifo"), {.workingDirectory = dir.path()}),
                single);
}

// The merge job of a detached Slurm run is tarvex-shard again, on a node of its own: a list it
// can be handed again (through its standard input or a descriptor) goes to it from its copy;
// another is refused before anything is submitted.
TEST(ShardSavedListRunTest, ADetachedRunRefusesAListItsMergeJobCouldNotReadAgain) {
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 2, 1);
  makeDirectories(dir.file("bin"));
  writeText(dir.file("bin/sbatch"),
            "#!/bin/sh\necho submitted >>'" + dir.file("sbatch.log") + "'\nexit 1\n");
  fs::permissions(dir.file("bin/sbatch"), fs::perms::owner_all);
  ASSERT_EQ(::mkfifo(dir.file("cidrs.fifo").c_str(), 0600), 0);
  const std::vector<std::string> range = {"--dir=" + archive.dir, "--startdate=20240301",
                                          "--enddate=20240302"};
  const std::string path = "PATH=" + dir.file("bin") + ":" + std::getenv("PATH");
  // Nothing opens the named pipe: it is refused before it is read.
  const RunResult refused =
      runTarvexShard(joined({"--engine=slurm", "--detach", "--cidrfile=cidrs.fifo"}, range),
                     {.workingDirectory = dir.path(), .environment = {path}});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err,
            "tarvex-shard: --detach cannot hand the merge job the --cidrfile cidrs.fifo, which is "
            "no regular file: save the list in one first\n");
  EXPECT_FALSE(fs::exists(dir.file("sbatch.log")));
}

}  // namespace
}  // namespace tarvex::testing
