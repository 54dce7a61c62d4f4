// The progress line appears only when standard error is a terminal (here a pseudo-terminal made
// by script(1)), updates itself in place and is wiped at the end; through pipes nothing of it
// shows.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include "mrt_builder.h"
#include "process_runner.h"
#include "small_dump.h"

namespace tarvex {
namespace {

using namespace tarvex::testing;

// A list file that is a FIFO: two paths at once, the rest after a pause long enough for the
// progress line to be drawn.
class SlowList {
 public:
  explicit SlowList(const std::string& path) : path_(path) {
    mkfifo(path.c_str(), 0600);
    feeder_ = std::thread([this] {
      int fd = open(path_.c_str(), O_WRONLY);
      if (fd < 0) return;
      std::string lines = smallDump() + "\n" + smallDump() + "\n";
      (void)!write(fd, lines.data(), lines.size());
      std::this_thread::sleep_for(std::chrono::milliseconds(700));
      (void)!write(fd, lines.data(), lines.size());
      close(fd);
    });
  }
  ~SlowList() { feeder_.join(); }

 private:
  std::string path_;
  std::thread feeder_;
};

TEST(ProgressLineTest, ShownOnATerminalAndNeverInAPipe) {
  if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "script(1) is not installed";
  TempDir dir;
  const std::string expectedReport = runTarvex({"--or", "--update", smallDump()}).out;
  std::string fourTimes = expectedReport + expectedReport + expectedReport + expectedReport;

  {
    SlowList list(dir.file("list"));
    std::string command = std::string(TARVEX_BINARY) + " --or --file " + dir.file("list") +
                          " --outfile " + dir.file("report");
    RunResult run = runProgram("/usr/bin/script", {"-qec", command, "/dev/null"});
    EXPECT_EQ(run.status, 1);
    std::regex progress(
        "\r\033\\[Ktarvex: [0-9]+/[0-9]+ files  [0-9.]+ [kMG]?B  [0-9]+ matches  "
        "0:00:0[0-9]");
    EXPECT_TRUE(std::regex_search(run.out, progress)) << run.out;
    // The line is wiped at the end: the terminal is left with nothing after the last wipe.
    EXPECT_TRUE(run.out.size() >= 4 && run.out.substr(run.out.size() - 4) == "\r\033[K") << run.out;
    EXPECT_TRUE(readFile(dir.file("report")) == fourTimes);
  }
  {
    SlowList list(dir.file("list2"));
    RunResult run = runTarvex({"--or", "--file", dir.file("list2")});
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(run.out == fourTimes);
  }
}

// Report lines and messages written to the same terminal never run into the line: each is
// preceded by a wipe when the line is showing, so every report line arrives whole.
TEST(ProgressLineTest, OutputOnTheSameTerminalWipesTheLineFirst) {
  if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "script(1) is not installed";
  TempDir dir;
  SlowList list(dir.file("list"));
  std::string command = std::string(TARVEX_BINARY) + " --or --verbose --file " + dir.file("list");
  RunResult run = runProgram("/usr/bin/script", {"-qec", command, "/dev/null"});
  // Take out every progress line (wipe, text up to the next wipe or newline-free end); what is
  // left must be the report and the path lines, terminal line ends aside.
  std::string cleaned =
      std::regex_replace(run.out, std::regex("\r\033\\[K(tarvex: [^\r\n]*)?"), "");
  cleaned = std::regex_replace(cleaned, std::regex("\r\n"), "\n");
  std::string one =
      runTarvex({"--or", "--verbose", "--update", smallDump()}, {.mergeStreams = true}).out;
  EXPECT_TRUE(cleaned == one + one + one + one);
}

}  // namespace
}  // namespace tarvex
