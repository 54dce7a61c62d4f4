// Faults of the dump files themselves: paths that are missing, are directories, loop, are too
// long or cannot be read, and files that change while tarvex reads them. Each ends in the
// messages of the dump file scan (or in silence where there is nothing to say), and the run goes
// on with the next file; nothing hangs, and a file cut short while it is read is never taken
// for a whole one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "mrt_builder.h"
#include "process_runner.h"
#include "report_checks.h"
#include "small_dump.h"

namespace tarvex::testing {
namespace {

const std::string kBinary = TARVEX_BINARY;
const std::string kMissing = "Error statting file: No such file or directory\n";

// How one input ends when it is scanned with --or: what it adds to standard output before the
// next file's report, and to standard error.
struct InputCase {
  const char* name;
  std::string path;
  std::string out;
  std::string err;
  bool listOnly = false;  // too long for a command-line argument (the kernel allows 128 KiB)
};

// Builds the inputs of the table in `dir`.
std::vector<InputCase> inputCases(const TempDir& dir) {
  makeDirectories(dir.file("a-directory"));
  std::filesystem::create_symlink("loop", dir.file("loop"));
  std::filesystem::create_symlink("ping", dir.file("pong"));
  std::filesystem::create_symlink("pong", dir.file("ping"));
  std::filesystem::create_symlink("nowhere", dir.file("dangling"));
  writeText(dir.file("empty"), "");
  writeFile(dir.file("empty.gz"), {}, Compression::kGzip);
  // A path of a megabyte, as a list file line of that length would give.
  const std::string longPath = dir.path() + "/" + std::string(1 << 20, 'x');
  const std::string loop = "Error statting file: Too many levels of symbolic links\n";
  return {
      {"missing", dir.file("missing"), kMissing, "Can not open " + dir.file("missing") + "\n"},
      {"directory", dir.file("a-directory"), "", "Can not open " + dir.file("a-directory") + "\n"},
      {"symlink to itself", dir.file("loop"), loop, "Can not open " + dir.file("loop") + "\n"},
      {"symlink cycle", dir.file("ping"), loop, "Can not open " + dir.file("ping") + "\n"},
      {"dangling symlink", dir.file("dangling"), kMissing,
       "Can not open " + dir.file("dangling") + "\n"},
      {"path of a megabyte", longPath, "Error statting file: File name too long\n",
       "Can not open " + longPath + "\n", true},
      {"empty file", dir.file("empty"), "",
       "tarvex: " + dir.file("empty") +
           ": the file is empty (0 bytes); nothing in it can be searched\n"},
      {"empty gzip file", dir.file("empty.gz"), "", ""},
  };
}

TEST(InputFaultTest, EachKindOfInputEndsInItsMessagesAndTheRunGoesOn) {
  ASSERT_GT(smallDumpReport().size(), 50000u);
  TempDir dir;
  const std::vector<InputCase> cases = inputCases(dir);
  std::string list, allOut, allErr;
  for (const InputCase& c : cases) {
    list += c.path + "\n" + smallDump() + "\n";
    allOut += c.out + smallDumpReport();
    allErr += c.err;
    if (c.listOnly) continue;
    RunResult run = runTarvex({"--or", "--update", c.path, "--update", smallDump()});
    EXPECT_TRUE(sameReport(run.out, c.out + smallDumpReport())) << c.name;
    EXPECT_EQ(run.err, c.err) << c.name;
    EXPECT_EQ(run.status, 1) << c.name;
  }
  // All of them in one list: each fault stays with its own file.
  writeText(dir.file("list"), list);
  RunResult run = runTarvex({"--or", "--file", dir.file("list")});
  EXPECT_TRUE(sameReport(run.out, allOut));
  EXPECT_EQ(run.err, allErr);
  EXPECT_EQ(run.status, 1);
}

// A file that exists but cannot be read gets only the "Can not open" line, in every mode. Root
// reads anything, so the run is made as an unprivileged user.
TEST(InputFaultTest, UnreadableDumpsAreReportedAndSkipped) {
  TempDir dir;
  chmod(dir.path().c_str(), 0755);
  const std::string updates = dir.file("archive/c/2024.01/UPDATES");
  makeDirectories(updates);
  const std::string locked = updates + "/updates.20240101.0000.gz";
  const std::string sound = updates + "/updates.20240101.0005.gz";
  writeFile(locked, {}, Compression::kGzip);
  std::filesystem::copy_file(smallDump(), sound);
  chmod(locked.c_str(), 0);
  for (const std::string& path :
       {updates, dir.path() + "/archive/c/2024.01", dir.file("archive/c"), dir.file("archive")}) {
    chmod(path.c_str(), 0755);
  }
  writeText(dir.file("list"), locked + "\n" + sound + "\n");
  chmod(dir.file("list").c_str(), 0644);
  const std::vector<std::vector<std::string>> modes = {
      {"--update", locked, "--update", sound},
      {"--file", dir.file("list")},
      {"--startdate", "20240101", "--enddate", "20240101", "--dir", dir.file("archive")},
  };
  for (std::vector<std::string> arguments : modes) {
    arguments.push_back("--or");
    std::optional<RunResult> run = runTarvexWithoutPrivileges(arguments);
    if (!run) GTEST_SKIP() << "no way to run without privileges";
    EXPECT_TRUE(sameReport(run->out, smallDumpReport())) << arguments[0];
    EXPECT_EQ(run->err, "Can not open " + locked + "\n") << arguments[0];
    EXPECT_EQ(run->status, 1) << arguments[0];
  }
}

// A plain dump of `records` UPDATE records of `recordSize` bytes each, one announcement each, at
// times 1000, 1001, ... so that every report line is different. With `longLines` the size is
// reached mostly with a long AS path, so that every report line is about twice the record's size;
// otherwise with an optional transitive attribute that the decoder passes over.
Bytes paddedDump(std::size_t records, std::size_t recordSize, bool longLines = false) {
  auto record = [](std::size_t index, std::size_t pathLength, std::size_t padding) {
    SimpleUpdate update;
    update.time = static_cast<std::uint32_t>(1000 + index);
    update.announced = {"10." + std::to_string(index / 256 % 256) + "." +
                        std::to_string(index % 256) + ".0/24"};
    update.path = {{kAsSequence, std::vector<std::uint32_t>(pathLength, 4200000000u)}};
    update.extraAttributes = attribute(0xd0, 99, Bytes(padding, 0));
    return updateRecord(update);
  };
  // One AS path segment holds at most 255 numbers.
  std::size_t pathLength = longLines ? std::min<std::size_t>(255, recordSize / 4) : 2;
  while (pathLength > 1 && record(0, pathLength, 0).size() > recordSize) --pathLength;
  const std::size_t bare = record(0, pathLength, 0).size();
  Bytes dump;
  dump.reserve(records * recordSize);
  for (std::size_t i = 0; i < records; ++i) {
    append(dump, record(i, pathLength, recordSize - bare));
  }
  return dump;
}

// What happens to a file that changes while tarvex reads it. The test holds tarvex up by not
// reading its output: with the pipe full, tarvex blocks in a write early in the file, the test
// changes the file, then lets it go on.
struct ChangeCase {
  const char* name;
  void (*change)(const std::string& path);
  bool cutShort;  // the report stops early, with a warning naming the file
};

const ChangeCase kChanges[] = {
    // The data of an unlinked file stays readable to whoever has it open.
    {"unlinked", [](const std::string& path) { unlink(path.c_str()); }, false},
    {"truncated to nothing", [](const std::string& path) { truncate(path.c_str(), 0); }, true},
    {"truncated to a third",
     [](const std::string& path) {
       truncate(path.c_str(), static_cast<off_t>(std::filesystem::file_size(path) / 3));
     },
     true},
};

void expectChangeHandled(std::size_t recordSize) {
  // 48 MiB: the reader reads ahead of the report by about a dozen MiB at most, so a third of the
  // file is still unread when the first report lines are held up.
  const std::size_t records = (48u << 20) / recordSize;
  const Bytes dump = paddedDump(records, recordSize);
  TempDir dir;
  const std::string whole = dir.file("whole.mrt");
  writeFile(whole, dump);
  const RunResult full = runTarvex({"--or", "--update", whole});
  ASSERT_EQ(static_cast<std::size_t>(std::count(full.out.begin(), full.out.end(), '\n')), records);
  for (const ChangeCase& c : kChanges) {
    const std::string path = dir.file(std::string("changing.") + std::to_string(recordSize));
    writeFile(path, dump);
    ChildOptions options;
    options.stdoutPipeSize = 4096;
    // One file alone: a run of several scans the files ahead of the report, and could have read
    // all of this one before it is changed.
    ChildProcess child(kBinary, {"--or", "--update", path}, options);
    ASSERT_TRUE(child.waitUntilBlockedOnStdout()) << c.name;
    c.change(path);
    ChildResult result = child.finish();
    EXPECT_FALSE(result.killed) << c.name;
    EXPECT_EQ(result.status, full.status) << c.name;
    if (c.cutShort) {
      EXPECT_TRUE(wholeLinesOf(result.out, full.out)) << c.name;
      EXPECT_LT(result.out.size(), full.out.size()) << c.name;
      EXPECT_EQ(result.err.rfind("tarvex: " + path + ": ", 0), 0u) << c.name << ": " << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << c.name;
    } else {
      EXPECT_TRUE(sameReport(result.out, full.out)) << c.name;
      EXPECT_EQ(result.err, "") << c.name;
    }
  }
}

TEST(InputFaultTest, FilesThatChangeWhileTheyAreRead) {
  // A record size that no buffer size is a multiple of: a cut always falls inside a record.
  expectChangeHandled(997);
}

// A file that shrinks while it is read can end exactly between two records at the point the
// reader has reached; the bytes read then look whole. Records of 1 KiB put every buffer boundary
// on a record boundary: only the file's size at the start tells the cut.
TEST(InputFaultTest, AFileCutAtARecordBoundaryWhileReadIsNotTakenForWhole) {
  expectChangeHandled(1024);
}

// Date mode lists the day's files before it scans the first; a file deleted in between is
// reported as missing, and the files after it are still scanned. The two files ahead of it have
// report lines of about 2 KiB each, megabytes of them: with the report held up, the scans of
// those two wait for the writer long before they end, so no scan has opened the third file yet.
TEST(InputFaultTest, AFileThatVanishesAfterTheDayWasListed) {
  TempDir dir;
  const std::string updates = dir.file("archive/c/2024.01/UPDATES");
  makeDirectories(updates);
  // Plain MRT under a compressed name: the format is told by the first bytes.
  const std::string first = updates + "/updates.20240101.0000.gz";
  const std::string second = updates + "/updates.20240101.0005.gz";
  const std::string vanishing = updates + "/updates.20240101.0010.gz";
  const std::string last = updates + "/updates.20240101.0015.gz";
  writeFile(first, paddedDump(6000, 997, true));
  std::filesystem::copy_file(first, second);
  std::filesystem::copy_file(smallDump(), vanishing);
  std::filesystem::copy_file(smallDump(), last);
  const std::string firstReport = runTarvex({"--or", "--update", first}).out;
  ASSERT_GT(firstReport.size(), 10u << 20);
  ChildOptions options;
  options.stdoutPipeSize = 4096;
  ChildProcess child(
      kBinary,
      {"--or", "--startdate", "20240101", "--enddate", "20240101", "--dir", dir.file("archive")},
      options);
  ASSERT_TRUE(child.waitUntilBlockedOnStdout());
  unlink(vanishing.c_str());
  ChildResult result = child.finish();
  EXPECT_TRUE(sameReport(result.out, firstReport + firstReport + kMissing + smallDumpReport()));
  EXPECT_EQ(result.err, "Can not open " + vanishing + "\n");
  EXPECT_EQ(result.status, 1);
}

// A named pipe that nobody writes and a device would hold the run for ever: the open of the one
// waits for a writer, and /dev/zero yields empty records without end. A device is no dump; a
// pipe gets a few seconds to find its writer. Either is then refused like a directory, and the
// run goes on. A pipe with a writer, as process substitution makes, is read like a file.
TEST(InputFaultTest, PipesAndDevices) {
  TempDir dir;
  const std::string lonely = dir.file("lonely");
  const std::string fed = dir.file("fed");
  ASSERT_EQ(mkfifo(lonely.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(fed.c_str(), 0600), 0);
  for (const std::string& path : {lonely, std::string("/dev/zero"), std::string("/dev/null")}) {
    ChildResult result =
        ChildProcess(kBinary, {"--or", "--update", path, "--update", smallDump()}).finish(30);
    EXPECT_FALSE(result.killed) << path;
    EXPECT_TRUE(sameReport(result.out, smallDumpReport())) << path;
    EXPECT_EQ(result.err, "Can not open " + path + "\n") << path;
    EXPECT_EQ(result.status, 1) << path;
  }
  // The writer opens the pipe only once tarvex waits on it, and writes the dump slowly.
  ChildResult result = ChildProcess("/bin/sh", {"-c",
                                                "(sleep 1; (cat \"$2\"; sleep 1) > \"$1\") & "
                                                "exec \"$0\" --or --update \"$1\" --update \"$2\"",
                                                kBinary, fed, smallDump()})
                           .finish(30);
  EXPECT_TRUE(sameReport(result.out, smallDumpReport() + smallDumpReport()));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);

  // The pipe already holds a whole small dump when tarvex opens it: the first byte, read to
  // learn that a writer is there, must not go missing.
  const std::string small = dir.file("small.mrt");
  writeFile(small, paddedDump(40, 997));
  const std::string fullPipe = dir.file("full-pipe");
  ASSERT_EQ(mkfifo(fullPipe.c_str(), 0600), 0);
  result =
      ChildProcess("/bin/sh", {"-c",
                               "exec 3<>\"$1\"; cat \"$2\" >&3; "
                               "\"$0\" --or --update \"$1\" 3>&- & sleep 1; exec 3>&-; wait $!",
                               kBinary, fullPipe, small})
          .finish(30);
  EXPECT_TRUE(sameReport(result.out, runTarvex({"--or", "--update", small}).out));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
}

// A pipe that a shell hands over as /dev/stdin or /dev/fd/N had its writer from the start: it is
// read at once, not waited for, and one that ends empty is an empty dump, not one that cannot be
// opened ten seconds later.
TEST(InputFaultTest, ShellPipesAreReadWithoutWaiting) {
  for (const char* script : {"true | \"$0\" --or --update /dev/stdin --update \"$1\"",
                             "cat \"$1\" | \"$0\" --or --update /dev/stdin --update /dev/null"}) {
    ChildResult result = ChildProcess("/bin/sh", {"-c", script, kBinary, smallDump()}).finish(30);
    const bool empty = std::string_view(script).starts_with("true");
    EXPECT_TRUE(sameReport(result.out, smallDumpReport())) << script;
    EXPECT_EQ(result.err, empty ? "tarvex: /dev/stdin: the file is empty (0 bytes); nothing in it "
                                  "can be searched\n"
                                : "Can not open /dev/null\n")
        << script;
    EXPECT_EQ(result.status, 1) << script;
  }
}

// Standard input can be read once: the first "-" of a run reads it, whichever mode names it, and
// any later one is named and not searched, so the report does not depend on which scan would
// have won the race for it.
TEST(InputFaultTest, StandardInputIsReadOnce) {
  TempDir dir;
  // Enough records that two readers of standard input would each get a part.
  const std::string dump = dir.file("dump.gz");
  Bytes records;
  for (std::uint32_t i = 0; i < 2000; ++i) {
    SimpleUpdate update;
    update.time = 900 + i;
    update.announced = {"10." + std::to_string(i % 256) + ".0.0/16"};
    append(records, updateRecord(update));
  }
  writeFile(dump, records, Compression::kGzip);
  const std::string report = runTarvex({"--or", "--update", dump}).out;
  writeText(dir.file("dumps.txt"), "-\n" + dump + "\n-\n");
  const std::string once =
      "tarvex: -: standard input is read once, and was searched before; not "
      "searched again\n";
  const std::string expected = report + report;
  struct Case {
    const char* name;
    std::string shellCommand;
  };
  const Case cases[] = {
      {"--update from a file", "\"$0\" --or --update - --update - --update \"$1\" <\"$1\""},
      {"--update from a pipe", "cat \"$1\" | \"$0\" --or --update - --update - --update \"$1\""},
      {"--file", "cat \"$1\" | \"$0\" --or --file \"$2\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChildResult result =
        ChildProcess("/bin/sh", {"-c", c.shellCommand, kBinary, dump, dir.file("dumps.txt")})
            .finish(60);
    EXPECT_TRUE(sameReport(result.out, expected));
    EXPECT_EQ(result.err, once);
    EXPECT_EQ(result.status, 1);
  }
}

}  // namespace
}  // namespace tarvex::testing
