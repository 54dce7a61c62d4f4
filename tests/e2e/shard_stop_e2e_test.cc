// A tarvex-shard run stopped midway, by SIGTERM (`kill PID`), or by SIGINT or SIGHUP to its
// process group (Ctrl-C at a terminal, the end of the terminal's session): the engine and every day
// it started stop, no day's tarvex is left running, the run says it was stopped and ends with
// status 3, and a re-run searches exactly the days that were not finished. A day that never ends is
// made of a named pipe as one of its dumps, whose writer the test holds open without writing, so no
// timing decides the order.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "process_runner.h"
#include "shard/spawn.h"
#include "shard_archive.h"

namespace tarvex::testing {
namespace {

namespace fs = std::filesystem;

// A file of /proc read whole; empty when its process has gone meanwhile.
std::string procText(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return text;
}

// The processes other than this one that are not zombies: (pid, command line with blanks for
// its NULs).
std::vector<std::pair<int, std::string>> otherProcesses() {
  std::vector<std::pair<int, std::string>> processes;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const int pid = std::stoi(name);
    if (pid == ::getpid()) continue;
    const std::string status = procText(entry.path() / "stat");
    const std::size_t close = status.rfind(')');
    if (close == std::string::npos || close + 2 >= status.size() || status[close + 2] == 'Z') {
      continue;
    }
    std::string words = procText(entry.path() / "cmdline");
    std::replace(words.begin(), words.end(), '\0', ' ');
    processes.emplace_back(pid, words);
  }
  return processes;
}

// The command lines of the processes other than this one that have `path` open.
std::vector<std::string> holdersOf(const std::string& path) {
  std::vector<std::string> holders;
  for (const auto& [pid, words] : otherProcesses()) {
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
      if (fs::read_symlink(fd.path(), error) == path) holders.push_back(words);
    }
  }
  return holders;
}

// Whether a process whose command line names `text` has `path` open. A child of this test
// holds the test's own descriptors between fork and exec, still under the test's command line:
// only a process started for the test's directory is one of the run's.
bool heldByOneNaming(const std::string& path, const std::string& text) {
  for (const std::string& words : holdersOf(path)) {
    if (words.find(text) != std::string::npos) return true;
  }
  return false;
}

// The processes still running whose command line names `text` (the test's directory).
std::vector<std::string> processesNaming(const std::string& text) {
  std::vector<std::string> found;
  for (const auto& [pid, words] : otherProcesses()) {
    if (words.find(text) != std::string::npos) found.push_back(words);
  }
  return found;
}

// Waits until `ready` holds, for at most a minute; false when it never did.
template <typename Ready>
bool waitFor(Ready ready) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

struct Stop {
  const char* name;
  int signal;
  bool group;  // to the process group, as a terminal sends Ctrl-C
};

void stopMidwayAndRerun(const std::vector<std::string>& engine, const Stop& stop) {
  SCOPED_TRACE(stop.name);
  TempDir dir;
  const ShardArchive archive = makeShardArchive(dir.path(), 5, 3);
  const std::string log = dir.file("days.log");
  const std::string work = dir.file("work");
  writeDayLogger(dir.file("tarvex"), log);
  // The third day's dump becomes a named pipe that never ends.
  const std::string slowDump = archive.dump("20240303");
  const std::string dumpBytes = readFile(slowDump);
  fs::remove(slowDump);
  ASSERT_EQ(::mkfifo(slowDump.c_str(), 0600), 0);
  const int writer = ::open(slowDump.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);

  const std::vector<std::string> arguments =
      joined(joined({"--tarvex=" + dir.file("tarvex"), "--workdir=" + work}, engine),
             archive.rangeArguments());
  ChildProcess sharded(TARVEX_SHARD_BINARY, arguments, {.ownProcessGroup = true});
  ASSERT_TRUE(waitFor([&] { return heldByOneNaming(slowDump, dir.path()); }))
      << "no day opened the named pipe";
  ASSERT_EQ(::kill(stop.group ? -sharded.pid() : sharded.pid(), stop.signal), 0);
  const ChildResult stopped = sharded.finish();
  ::close(writer);
  EXPECT_EQ(stopped.status, 3);
  EXPECT_EQ(stopped.out, "");
  EXPECT_EQ(stopped.err, std::string("tarvex-shard: stopped by ") + stop.name +
                             "; no report was written; the finished days are kept in " + work +
                             ", and running the same command again searches only the days that "
                             "are missing\n");
  EXPECT_EQ(processesNaming(dir.path()), std::vector<std::string>{});

  std::set<std::string> missing(archive.days.begin(), archive.days.end());
  for (const auto& entry : fs::directory_iterator(work + "/days")) {
    missing.erase(entry.path().filename().string());
  }
  EXPECT_TRUE(missing.count("20240303"));
  fs::remove(slowDump);
  writeText(slowDump, dumpBytes);
  fs::remove(log);
  const RunResult rerun = runTarvexShard(arguments);
  expectSameRun(rerun, runTarvex(archive.rangeArguments()));
  const std::vector<std::string> searched = loggedDays(log);
  EXPECT_EQ(std::set<std::string>(searched.begin(), searched.end()), missing);
  EXPECT_EQ(searched.size(), missing.size());
}

const Stop kStops[] = {
    {"SIGTERM", SIGTERM, false}, {"SIGINT", SIGINT, true}, {"SIGHUP", SIGHUP, true}};

TEST(ShardStopTest, TheLocalEngineStopsEveryDayItStarted) {
  for (const Stop& stop : kStops) stopMidwayAndRerun({"--engine=local", "--jobs=2"}, stop);
}

TEST(ShardStopTest, GnuParallelStopsEveryDayItStarted) {
  if (shard::findOnPath("parallel").empty()) {
    GTEST_SKIP() << "needs GNU parallel, which is not installed";
  }
  for (const Stop& stop : kStops) stopMidwayAndRerun({"--engine=parallel", "--jobs=2"}, stop);
}

}  // namespace
}  // namespace tarvex::testing
