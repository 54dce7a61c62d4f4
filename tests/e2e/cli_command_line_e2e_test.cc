// The command line run as a process: usage, rejected options, the choice of input mode, the
// output file and the exit statuses of the endings that need no dump content.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex::testing {
namespace {

const std::string kUsage = readFile(std::string(TARVEX_SOURCE_DIR) + "/tests/golden/usage.txt");
const std::string kBinary = TARVEX_BINARY;
const std::string kNoSuchFile = "Error statting file: No such file or directory\n";

bool exists(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0;
}

TEST(CommandLineTest, UsageTextIsExact) {
  ASSERT_EQ(kUsage.size(), 1025u);
  RunResult run = runTarvex({});
  EXPECT_EQ(run.out, kUsage);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 1);
}

// Each rejected argument gets getopt_long's own diagnostic, then the usage text, and stops the
// parse: nothing after it is looked at, nothing is opened.
TEST(CommandLineTest, RejectedArgumentsStopTheRun) {
  struct Case {
    std::vector<std::string> arguments;
    std::string diagnostic;
  };
  const std::vector<Case> cases = {
      {{"--update", "f", "--bogus", "--help"}, "unrecognized option '--bogus'"},
      {{"-a", "x"}, "invalid option -- 'a'"},
      {{"--verbose=1", "--update", "f"}, "option '--verbose' doesn't allow an argument"},
      {{"--or=yes"}, "option '--or' doesn't allow an argument"},
      {{"--update"}, "option '--update' requires an argument"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.begin(), {"--outfile", dir.file("out")});
    RunResult run = runTarvex(arguments, {.workingDirectory = dir.path()});
    EXPECT_EQ(run.err, kBinary + ": " + c.diagnostic + "\n") << c.diagnostic;
    EXPECT_EQ(run.out, kUsage) << c.diagnostic;
    EXPECT_EQ(run.status, 1) << c.diagnostic;
    EXPECT_FALSE(exists(dir.file("out"))) << c.diagnostic;
  }
}

TEST(CommandLineTest, HelpWinsAfterTheWholeLineWasReadAndOpensNothing) {
  TempDir dir;
  RunResult run = runTarvex({"--outfile", dir.file("o"), "--update", dir.file("f"), "--verbose",
                             "--cidrfile", dir.file("missing"), "--help"});
  EXPECT_EQ(run.out, kUsage);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(exists(dir.file("o")));
}

TEST(CommandLineTest, OutfileAloneIsCreatedEmptyAndTheUsageFollows) {
  TempDir dir;
  writeText(dir.file("o"), "old content\n");
  RunResult run = runTarvex({"--outfile", dir.file("o")});
  EXPECT_EQ(run.out, kUsage);
  EXPECT_EQ(run.status, 1);
  ASSERT_TRUE(exists(dir.file("o")));
  EXPECT_EQ(readFile(dir.file("o")), "");
}

TEST(CommandLineTest, DatesWithoutADirectoryAreNoInputMode) {
  RunResult run = runTarvex({"--startdate", "20240101", "--enddate", "20240102"});
  EXPECT_EQ(run.out, kUsage);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 1);
}

// With --verbose every scanned path is named on standard error before it is opened, so the
// order of the scans is visible even for files that do not exist.
TEST(CommandLineTest, UpdateFilesAreScannedInCommandLineOrderAndWinOverOtherModes) {
  TempDir dir;
  RunResult run = runTarvex(
      {"--verbose", "--update", "b", "--file", dir.file("list"), "--update", "a", "--update", "b",
       "--startdate", "20240102", "--enddate", "20240101", "--dir", dir.path()},
      {.workingDirectory = dir.path()});
  EXPECT_EQ(run.err, "tarvex: --file " + dir.file("list") +
                         " is not used: only the --update dumps are searched\n"
                         "b\nCan not open b\na\nCan not open a\nb\nCan not open b\n");
  EXPECT_EQ(run.out, kNoSuchFile + kNoSuchFile + kNoSuchFile);
  EXPECT_EQ(run.status, 1);
}

TEST(CommandLineTest, ListModeWinsOverDatesWhichAreThenNotChecked) {
  TempDir dir;
  writeText(dir.file("list"), "");
  RunResult run = runTarvex({"--file", dir.file("list"), "--startdate", "2024", "--enddate",
                             "20240101", "--dir", dir.path()});
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "tarvex: " + dir.file("list") + ": the dump list is empty; nothing is searched\n");
  EXPECT_EQ(run.status, 1);
}

TEST(CommandLineTest, MissingDumpGivesBothMessagesAndTheRunGoesOn) {
  TempDir dir;
  writeFile(dir.file("empty.mrt"), {});
  RunResult run = runTarvex({"--update", "missing.gz", "--update", "empty.mrt", "--verbose"},
                            {.workingDirectory = dir.path()});
  EXPECT_EQ(run.out, kNoSuchFile);
  EXPECT_EQ(run.err,
            "missing.gz\nCan not open missing.gz\nempty.mrt\n"
            "tarvex: empty.mrt: the file is empty (0 bytes); nothing in it can be searched\n");
  EXPECT_EQ(run.status, 1);
}

// One announcement of 203.0.113.0/24, as the report line shows it.
const std::string kAnnouncementLine =
    "900|A|192.0.2.1|AS64500|192.0.2.2|AS64501|203.0.113.0/24|64500 64510\n";

std::string writeOneAnnouncement(const TempDir& dir) {
  SimpleUpdate update;
  update.announced = {"203.0.113.0/24"};
  writeFile(dir.file("dump.gz"), updateRecord(update), Compression::kGzip);
  return dir.file("dump.gz");
}

TEST(CommandLineTest, ReportGoesToTheOutfileOrToStandardOutputWhenTheValueIsEmpty) {
  TempDir dir;
  std::string dump = writeOneAnnouncement(dir);

  RunResult toFile = runTarvex({"--outfile", dir.file("o"), "--update", dump});
  EXPECT_EQ(toFile.out, "");
  EXPECT_EQ(toFile.status, 1);
  EXPECT_EQ(readFile(dir.file("o")), kAnnouncementLine);

  RunResult emptyValue = runTarvex({"--outfile", dir.file("o"), "--outfile=", "--update", dump});
  EXPECT_EQ(emptyValue.out, kAnnouncementLine);
  EXPECT_EQ(emptyValue.err, "");
  EXPECT_EQ(emptyValue.status, 1);
}

TEST(CommandLineTest, ATextOptionGivenTwiceKeepsItsLastValue) {
  TempDir dir;
  std::string dump = writeOneAnnouncement(dir);
  writeText(dir.file("cidr"), "203.0.113.0/24\n");
  RunResult run = runTarvex(
      {"--cidrfile", dir.file("missing"), "--cidrfile", dir.file("cidr"), "--update", dump});
  EXPECT_EQ(run.out, kAnnouncementLine);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 1);
}

// An output file that cannot be opened would lose every report line: the run stops before any
// criteria file or dump is opened.
TEST(CommandLineTest, UnwritableOutfileEndsTheRunBeforeAnythingIsOpened) {
  TempDir dir;
  makeDirectories(dir.file("a-directory"));
  struct Case {
    std::string path;
    std::string reason;
  };
  for (const Case& c : {Case{dir.file("no-such-dir/out"), "No such file or directory"},
                        Case{dir.file("a-directory"), "Is a directory"}}) {
    RunResult run = runTarvex({"--outfile", c.path, "--cidrfile", dir.file("missing-cidr"),
                               "--update", dir.file("missing-dump"), "--verbose"});
    EXPECT_EQ(run.err, "tarvex: cannot open output file " + c.path + ": " + c.reason + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
  }
}

}  // namespace
}  // namespace tarvex::testing
