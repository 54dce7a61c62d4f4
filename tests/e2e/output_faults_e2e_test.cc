// Faults of the output: a write of a report line that fails (a full device, a file size limit, an
// I/O error, a closed descriptor) and a reader that goes away. A failed write ends the run at once
// with one "tarvex: " message and status 1, and leaves the lines written before it intact, with
// no piece of the line that failed. A reader that goes away ends the run quietly, also when
// tarvex has nothing more to write for a long time. Standard streams that are closed at start
// never let a message into the report file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "mrt_builder.h"
#include "process_runner.h"
#include "report_checks.h"
#include "small_dump.h"

namespace tarvex::testing {
namespace {

const std::string kBinary = TARVEX_BINARY;

// A dump of one announcement, which gives exactly one report line under --or.
std::string writeOneLineDump(const TempDir& dir) {
  SimpleUpdate update;
  update.announced = {"192.0.2.0/24"};
  std::string path = dir.file("one.gz");
  writeFile(path, updateRecord(update), Compression::kGzip);
  return path;
}

TEST(OutputFaultTest, AFailedWriteEndsTheRunAndKeepsTheLinesBefore) {
  ASSERT_GT(smallDumpReport().size(), 50000u);
  const std::size_t kLimit = 10000;  // falls inside a line
  ASSERT_NE(smallDumpReport()[kLimit - 1], '\n');
  struct Case {
    const char* name;
    bool toOutfile;    // --outfile, else standard output
    std::string path;  // the file written; empty for a closed standard output
    std::optional<rlim_t> sizeLimit;
    std::string reason;
  };
  TempDir dir;
  const std::vector<Case> cases = {
      {"full device as --outfile", true, "/dev/full", {}, "No space left on device"},
      {"full device as standard output", false, "/dev/full", {}, "No space left on device"},
      {"size limit on --outfile", true, dir.file("limited"), kLimit, "File too large"},
      {"size limit on standard output", false, dir.file("limited"), kLimit, "File too large"},
      {"closed standard output", false, "", {}, "Bad file descriptor"},
      // The process's own memory, written at address 0, which nothing maps: an I/O error.
      {"I/O error on --outfile", true, "/proc/self/mem", {}, "Input/output error"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"--or", "--update", smallDump(), "--update",
                                          dir.file("never-reached")};
    ChildOptions options;
    options.fileSizeLimit = c.sizeLimit;
    if (c.toOutfile) {
      arguments.insert(arguments.end(), {"--outfile", c.path});
    } else if (c.path.empty()) {
      options.closeStdout = true;
    } else {
      options.stdoutPath = c.path;
    }
    ChildResult result = ChildProcess(kBinary, arguments, options).finish();
    const std::string name = c.toOutfile ? c.path : "standard output";
    // One message, and nothing after it: the second dump is never opened.
    EXPECT_EQ(result.err, "tarvex: cannot write report to " + name + ": " + c.reason + "\n")
        << c.name;
    EXPECT_EQ(result.status, 1) << c.name;
    EXPECT_EQ(result.out, "") << c.name;
    if (c.sizeLimit) {
      EXPECT_TRUE(sameReport(readFile(c.path), wholeLinesWithin(smallDumpReport(), *c.sizeLimit)))
          << c.name;
    }
  }
}

// With standard output or standard error closed at start, the --outfile file must not take the
// closed stream's place: the messages of the run would land between the report lines.
TEST(OutputFaultTest, ClosedStandardStreamsNeverMixMessagesIntoTheReport) {
  TempDir dir;
  for (bool closeStdout : {true, false}) {
    const std::string out = dir.file(closeStdout ? "no-stdout" : "no-stderr");
    ChildOptions options;
    options.closeStdout = closeStdout;
    options.closeStderr = !closeStdout;
    // A missing dump first: its messages go to both standard streams.
    ChildResult result = ChildProcess(kBinary,
                                      {"--or", "--update", dir.file("missing"), "--update",
                                       smallDump(), "--outfile", out},
                                      options)
                             .finish();
    EXPECT_EQ(result.status, 1) << out;
    EXPECT_TRUE(sameReport(readFile(out), smallDumpReport())) << out;
    if (closeStdout) {
      EXPECT_EQ(result.err, "Can not open " + dir.file("missing") + "\n");
    }
  }
}

struct ReaderCase {
  const char* name;
  bool sigpipeIgnored;  // the parent ignored SIGPIPE (trap '' PIPE, some language runtimes)
  int linesRead;        // lines the reader takes before it goes away
  bool waitsOnInput;    // after its dump, tarvex reads a standard input that never ends
};

// However the reader leaves, tarvex ends at once and says nothing. When it is waiting for input
// that never comes it has no line to write that would fail, so only noticing the reader's
// departure ends it; a run that hangs is killed by `finish` and fails the test.
TEST(OutputFaultTest, AReaderThatGoesAwayEndsTheRunQuietly) {
  TempDir dir;
  const std::string oneLine = writeOneLineDump(dir);
  const std::vector<ReaderCase> cases = {
      {"head -1, more lines to come", false, 1, false},
      {"head -1, more lines to come, SIGPIPE ignored", true, 1, false},
      {"reader leaves while tarvex waits for input", false, 1, true},
      {"reader leaves while tarvex waits for input, SIGPIPE ignored", true, 1, true},
      {"reader leaves before the first line", false, 0, true},
      {"reader leaves before the first line, SIGPIPE ignored", true, 0, true},
  };
  const std::string oneLineReport = runTarvex({"--or", "--update", oneLine}).out;
  ASSERT_EQ(std::count(oneLineReport.begin(), oneLineReport.end(), '\n'), 1);
  const std::string firstLine = smallDumpReport().substr(0, smallDumpReport().find('\n') + 1);
  for (const ReaderCase& c : cases) {
    std::vector<std::string> arguments = {"--or", "--update",
                                          c.waitsOnInput ? oneLine : smallDump()};
    if (c.waitsOnInput) arguments.insert(arguments.end(), {"--update", "-"});
    ChildOptions options;
    options.ignoreSigpipe = c.sigpipeIgnored;
    options.holdStdinOpen = c.waitsOnInput;
    ChildProcess child(kBinary, arguments, options);
    for (int i = 0; i < c.linesRead; ++i) {
      EXPECT_EQ(child.readStdoutLine(), c.waitsOnInput ? oneLineReport : firstLine) << c.name;
    }
    child.closeStdout();
    ChildResult result = child.finish(20);
    EXPECT_FALSE(result.killed) << c.name << ": still running after its reader left";
    EXPECT_EQ(result.err, "") << c.name;
    EXPECT_EQ(result.status, 1) << c.name;
  }
}

// The same for a named pipe given as --outfile: its reader leaves while tarvex waits for input.
TEST(OutputFaultTest, AReaderOfANamedPipeOutfileThatGoesAwayEndsTheRun) {
  TempDir dir;
  const std::string oneLine = writeOneLineDump(dir);
  const std::string fifo = dir.file("report.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Opened first and without waiting, so that tarvex's open for writing finds a reader.
  int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  ChildOptions options;
  options.holdStdinOpen = true;
  ChildProcess child(kBinary, {"--or", "--update", oneLine, "--update", "-", "--outfile", fifo},
                     options);
  std::string got;
  for (int tries = 0; tries < 600 && got.find('\n') == std::string::npos; ++tries) {
    pollfd ready{reader, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[512];
    ssize_t count = read(reader, buffer, sizeof buffer);
    if (count > 0) got.append(buffer, static_cast<std::size_t>(count));
  }
  EXPECT_EQ(got, runTarvex({"--or", "--update", oneLine}).out);
  close(reader);
  ChildResult result = child.finish(20);
  EXPECT_FALSE(result.killed) << "still running after the reader of its report left";
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
}

// A named pipe as --outfile waits for its reader as an input pipe waits for its writer: within
// the bound the report reaches a reader that comes late; after it the run ends with a message,
// before any list is read or dump searched.
TEST(OutputFaultTest, ANamedPipeOutfileWaitsForItsReaderWithinABound) {
  TempDir dir;
  const std::string oneLine = writeOneLineDump(dir);
  const std::string fifo = dir.file("report.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ChildProcess late(kBinary, {"--or", "--update", oneLine, "--outfile", fifo});
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(readFile(fifo), runTarvex({"--or", "--update", oneLine}).out);
  ChildResult served = late.finish(20);
  EXPECT_EQ(served.err, "");
  EXPECT_EQ(served.status, 1);

  ChildResult alone = ChildProcess(kBinary, {"--or", "--cidrfile", "no-such-list", "--update",
                                             oneLine, "--outfile", fifo})
                          .finish(30);
  EXPECT_FALSE(alone.killed);
  EXPECT_EQ(alone.err, "tarvex: cannot open output file " + fifo +
                           ": no reader opened the named pipe within 10 seconds\n");
  EXPECT_EQ(alone.out, "");
  EXPECT_EQ(alone.status, 1);
}

// When the report goes to a file, standard output carries only messages; a reader of it that
// leaves must not end the run, nor cost the report a line.
TEST(OutputFaultTest, AReaderOfMessagesThatGoesAwayLeavesTheReportWhole) {
  TempDir dir;
  const std::string out = dir.file("out");
  for (bool sigpipeIgnored : {false, true}) {
    ChildOptions options;
    options.ignoreSigpipe = sigpipeIgnored;
    ChildProcess child(kBinary,
                       {"--or", "--update", smallDump(), "--update", dir.file("missing"),
                        "--update", smallDump(), "--outfile", out},
                       options);
    child.closeStdout();  // "Error statting file" for the missing dump goes to standard output
    ChildResult result = child.finish();
    EXPECT_EQ(result.err, "Can not open " + dir.file("missing") + "\n") << sigpipeIgnored;
    EXPECT_EQ(result.status, 1) << sigpipeIgnored;
    EXPECT_TRUE(sameReport(readFile(out), smallDumpReport() + smallDumpReport())) << sigpipeIgnored;
  }
}

}  // namespace
}  // namespace tarvex::testing
