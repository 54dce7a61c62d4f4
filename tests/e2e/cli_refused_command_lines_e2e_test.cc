// Command lines that used to be taken at their word although they could not mean what they say,
// run through the real binary: dates whose day does not exist, arguments that no option takes
// (a shell glob after one --update), archive directories that are not there, an output file that
// is one of the run's inputs, and standard streams closed at start.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "child_process.h"
#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex::testing {
namespace {

const std::string kUsage = readFile(std::string(TARVEX_SOURCE_DIR) + "/tests/golden/usage.txt");
const std::string kBinary = TARVEX_BINARY;
const std::string kDayHeader = "Building list of files...\n";

// The report line of an announcement of `prefix` made by `writeAnnouncement`.
std::string announcementLine(const std::string& prefix) {
  return "900|A|192.0.2.1|AS64500|192.0.2.2|AS64501|" + prefix + "|64500 64510\n";
}

void writeAnnouncement(const std::string& path, const std::string& prefix) {
  SimpleUpdate update;
  update.announced = {prefix};
  writeFile(path, updateRecord(update), Compression::kGzip);
}

std::string operandWarning(const std::string& operand) {
  return "tarvex: " + operand +
         " is not an option's value and is not searched (each dump needs its own --update)\n";
}

std::string dirWarning(const std::string& dir, const std::string& reason) {
  return "tarvex: --dir " + dir + ": " + reason + "; nothing is searched there\n";
}

std::string refusal(const std::string& outfile, const std::string& input) {
  return "tarvex: the output file " + outfile + " is the " + input +
         "; refused, so that it is not emptied\n";
}

// ---------------------------------------------------------------------------------------------
// Dates whose day does not exist in their month.

// An archive with a dump for each of 28 and 29 February and 1 March 2024, each announcing a
// prefix of its own, so that a day that is searched shows in the report as well as in the
// verbose "Building list of files..." lines.
class CalendarDayArchive {
 public:
  CalendarDayArchive() {
    for (const char* day : {"20240228", "20240229", "20240301"}) {
      const std::string text = day;
      const std::string dir =
          temp_.file("archive/c/" + text.substr(0, 4) + "." + text.substr(4, 2) + "/UPDATES");
      makeDirectories(dir);
      writeAnnouncement(dir + "/updates." + text + ".1200.gz", prefixOf(text));
    }
  }

  static std::string prefixOf(const std::string& day) {
    return "10." + std::to_string(std::stoi(day.substr(6, 2))) + ".0.0/16";
  }

  RunResult walk(const std::string& start, const std::string& end) const {
    return runTarvex({"--or", "--verbose", "--startdate", start, "--enddate", end, "--dir",
                      temp_.file("archive")});
  }

 private:
  TempDir temp_;
};

TEST(CalendarDayTest, ADateWhoseDayDoesNotExistIsRefusedBeforeAnyDayIsSearched) {
  const std::string kLength = "The date format is YYYYMMDD and should be of length 8\n";
  const std::string kDigits = "The date format is YYYYMMDD and should be all integers\n";
  struct Case {
    const char* start;
    const char* end;
    std::string out;
    std::string err;
  };
  auto notADay = [](const char* which, const char* date, const char* month) {
    return std::string("tarvex: the ") + which + " date " + date +
           " is not a day of the calendar (" + month + ")\n";
  };
  const Case cases[] = {
      {"20240230", "20240302", "", notADay("start", "20240230", "February 2024 has 29 days")},
      {"20240230", "20240301", "", notADay("start", "20240230", "February 2024 has 29 days")},
      {"20240228", "20240230", "", notADay("end", "20240230", "February 2024 has 29 days")},
      {"20240228", "20240231", "", notADay("end", "20240231", "February 2024 has 29 days")},
      {"20230229", "20230301", "", notADay("start", "20230229", "February 2023 has 28 days")},
      {"19000229", "19000301", "", notADay("start", "19000229", "February 1900 has 28 days")},
      {"20240300", "20240301", "", notADay("start", "20240300", "March 2024 has 31 days")},
      {"20240228", "20240300", "", notADay("end", "20240300", "March 2024 has 31 days")},
      {"20240132", "20240301", "", notADay("start", "20240132", "January 2024 has 31 days")},
      {"20240228", "20240299", "", notADay("end", "20240299", "February 2024 has 29 days")},
      {"20240431", "20240501", "", notADay("start", "20240431", "April 2024 has 30 days")},
      // Only the first date that fails is named; the check comes before the order check.
      {"20240230", "20240231", "", notADay("start", "20240230", "February 2024 has 29 days")},
      {"20240230", "20240101", "", notADay("start", "20240230", "February 2024 has 29 days")},
      {"20240301", "20240230", "", notADay("end", "20240230", "February 2024 has 29 days")},
      // ... and after the length and digit checks.
      {"2024023", "20240230", kLength, ""},
      {"2024023x", "20240230", kDigits, ""},
      {"20240230", "2024030x", kDigits, ""},
  };
  CalendarDayArchive archive;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " " + c.end);
    RunResult result = archive.walk(c.start, c.end);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.status, 1);
  }
}

TEST(CalendarDayTest, TheDaysAroundTheRefusedOnesAreStillWalked) {
  CalendarDayArchive archive;
  RunResult leap = archive.walk("20240229", "20240301");
  EXPECT_EQ(leap.out, announcementLine(CalendarDayArchive::prefixOf("20240229")) +
                          announcementLine(CalendarDayArchive::prefixOf("20240301")));
  EXPECT_EQ(leap.status, 0);
}

// A month that does not exist is no calendar check's business: the start day is searched, then
// the walk cannot go on.
TEST(CalendarDayTest, MonthsZeroAndThirteenKeepTheirWalk) {
  CalendarDayArchive archive;
  for (const char* start : {"20241301", "20241300", "20240000", "20240015"}) {
    SCOPED_TRACE(start);
    RunResult result = archive.walk(start, "20241302");
    EXPECT_EQ(result.err, kDayHeader);
    EXPECT_EQ(result.out, std::string("Can not parse:  ") + start + "\n");
    EXPECT_EQ(result.status, 255);
  }
  RunResult monthThirteenEnd = archive.walk("20240229", "20241300");
  EXPECT_EQ(monthThirteenEnd.status, 0);
  EXPECT_EQ(monthThirteenEnd.out, announcementLine(CalendarDayArchive::prefixOf("20240229")) +
                                      announcementLine(CalendarDayArchive::prefixOf("20240301")));
}

// ---------------------------------------------------------------------------------------------
// Arguments that are no option's value.

struct OperandCase {
  const char* name;
  std::vector<std::string> arguments;  // relative to a directory holding dumps a, b and c
  std::string out;
  std::string err;
  int status;
};

TEST(OperandTest, EveryArgumentThatNoOptionTakesIsNamedAndNotSearched) {
  TempDir dir;
  makeDirectories(dir.file("g"));
  for (const char* name : {"a", "b", "c"}) {
    writeAnnouncement(dir.file(std::string("g/") + name + ".gz"),
                      std::string("10.") + std::to_string(name[0] - 'a') + ".0.0/16");
  }
  const std::string lineA = announcementLine("10.0.0.0/16");
  const std::string lineB = announcementLine("10.1.0.0/16");
  const std::vector<OperandCase> cases = {
      {"a shell glob after one --update",
       {"--or", "--update", "g/a.gz", "g/b.gz", "g/c.gz"},
       lineA,
       operandWarning("g/b.gz") + operandWarning("g/c.gz"),
       1},
      {"operands before, between and after the options",
       {"g/c.gz", "--update", "g/a.gz", "-", "--update", "g/b.gz", "stray"},
       lineA + lineB,
       operandWarning("g/c.gz") + operandWarning("-") + operandWarning("stray"),
       1},
      {"after --, which is not named itself, while a second -- is an operand",
       {"--update", "g/a.gz", "--", "g/b.gz", "--verbose", "--"},
       lineA,
       operandWarning("g/b.gz") + operandWarning("--verbose") + operandWarning("--"),
       1},
      {"a lone --", {"--update", "g/a.gz", "--"}, lineA, "", 1},
      {"no input mode: the usage text follows", {"g/a.gz"}, kUsage, operandWarning("g/a.gz"), 1},
      {"a rejected option: getopt_long's message and the usage text only",
       {"g/a.gz", "--bogus", "--update", "g/b.gz"},
       kUsage,
       kBinary + ": unrecognized option '--bogus'\n",
       1},
      {"--help: the usage text only", {"g/a.gz", "--help"}, kUsage, "", 1},
  };
  for (const OperandCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunResult result = runTarvex(c.arguments, {.workingDirectory = dir.path()});
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.status, c.status);
  }
}

// The warnings come right after the options are read: before the output file is refused or
// opened.
TEST(OperandTest, TheWarningsComeBeforeTheOutputFileIsOpened) {
  TempDir dir;
  writeText(dir.file("blocks.txt"), "10.0.0.0/8\n");
  RunResult unopenable = runTarvex({"stray", "--outfile", dir.file("no-such-dir/out")});
  EXPECT_EQ(unopenable.err, operandWarning("stray") + "tarvex: cannot open output file " +
                                dir.file("no-such-dir/out") + ": No such file or directory\n");
  EXPECT_EQ(unopenable.status, 1);

  RunResult refused = runTarvex({"--cidrfile", "blocks.txt", "--outfile", "blocks.txt", "stray"},
                                {.workingDirectory = dir.path()});
  EXPECT_EQ(refused.err,
            operandWarning("stray") + refusal("blocks.txt", "--cidrfile list blocks.txt"));
  EXPECT_EQ(refused.status, 1);
}

// ---------------------------------------------------------------------------------------------
// Archive directories that are not there.

TEST(ArchiveDirTest, ADirThatIsMissingOrNoDirectoryIsNamed) {
  TempDir temp;
  makeDirectories(temp.file("empty"));
  makeDirectories(temp.file("bare/c"));
  makeDirectories(temp.file("archive/c/2024.03/UPDATES"));
  writeAnnouncement(temp.file("archive/c/2024.03/UPDATES/updates.20240301.1200.gz"), "10.1.0.0/16");
  writeText(temp.file("a-file"), "");
  const std::string kNoEntry = "No such file or directory";
  struct Case {
    const char* name;
    std::vector<std::string> dirs;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"missing", {"/no/such/archive"}, dirWarning("/no/such/archive", kNoEntry)},
      {"a file", {"a-file"}, dirWarning("a-file", "not a directory")},
      {"below a file", {"a-file/sub"}, dirWarning("a-file/sub", "Not a directory")},
      {"an empty directory is silent", {"empty"}, ""},
      {"an empty value, the root to the walk, is silent", {""}, ""},
      {"each in command-line order, the archive still searched",
       {"missing", "archive", "a-file", "missing"},
       dirWarning("missing", kNoEntry) + dirWarning("a-file", "not a directory") +
           dirWarning("missing", kNoEntry)},
      // Only the --dir itself is looked at; a collector without the month is not worth a word.
      {"a collector without the month", {"bare"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = {"--or", "--startdate", "20240301", "--enddate",
                                          "20240302"};
    for (const std::string& dir : c.dirs) arguments.insert(arguments.end(), {"--dir", dir});
    RunResult result = runTarvex(arguments, {.workingDirectory = temp.path()});
    bool archiveSearched = std::find(c.dirs.begin(), c.dirs.end(), "archive") != c.dirs.end();
    EXPECT_EQ(result.out, archiveSearched ? announcementLine("10.1.0.0/16") : "");
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.status, 0);
  }
}

// The warnings follow the criteria lists' own messages, whatever the input mode.
TEST(ArchiveDirTest, TheWarningsFollowTheCriteriaListsInEveryMode) {
  TempDir temp;
  writeText(temp.file("blocks.txt"), "10.0.0.0/8\nnot a block\n");
  writeAnnouncement(temp.file("dump.gz"), "10.1.0.0/16");
  writeText(temp.file("dumps.txt"), temp.file("dump.gz") + "\n");
  const std::string listMessages = runTarvex({"--cidrfile", temp.file("blocks.txt")}).err;
  const std::string warning = dirWarning(temp.file("missing"), "No such file or directory");
  const std::vector<std::vector<std::string>> modes = {
      {"--update", temp.file("dump.gz")},
      {"--file", temp.file("dumps.txt")},
      {"--startdate", "20240101", "--enddate", "20240101"},
      {},  // no input mode: the usage text
  };
  for (const std::vector<std::string>& mode : modes) {
    SCOPED_TRACE(mode.empty() ? "usage" : mode[0]);
    std::vector<std::string> arguments = {"--cidrfile", temp.file("blocks.txt"), "--dir",
                                          temp.file("missing")};
    arguments.insert(arguments.end(), mode.begin(), mode.end());
    RunResult result = runTarvex(arguments);
    EXPECT_EQ(result.err, listMessages + warning);
    EXPECT_EQ(result.status, 1);
  }
}

// ---------------------------------------------------------------------------------------------
// An output file that is one of the run's inputs.

TEST(OutfileIsAnInputTest, TheRunIsRefusedAndTheInputKeepsItsBytes) {
  TempDir dir;
  const std::string kBlocks = "10.0.0.0/8\nnot a block\n";
  writeText(dir.file("blocks.txt"), kBlocks);
  writeText(dir.file("origins.txt"), "64500\n");
  writeText(dir.file("dumps.txt"), "dump.gz\n");
  writeAnnouncement(dir.file("dump.gz"), "10.1.0.0/16");
  const std::string kDump = readFile(dir.file("dump.gz"));
  ASSERT_EQ(::symlink("blocks.txt", dir.file("link-to-blocks").c_str()), 0);
  ASSERT_EQ(::link(dir.file("dump.gz").c_str(), dir.file("hard-link.gz").c_str()), 0);
  struct Case {
    std::vector<std::string> arguments;
    std::string input;  // the file whose bytes must stay
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--cidrfile", "blocks.txt", "--outfile", "blocks.txt", "--update", "dump.gz"},
       "blocks.txt",
       refusal("blocks.txt", "--cidrfile list blocks.txt")},
      {{"--asnfile", "origins.txt", "--outfile", "./origins.txt", "--update", "dump.gz"},
       "origins.txt",
       refusal("./origins.txt", "--asnfile list origins.txt")},
      {{"--file", "dumps.txt", "--outfile", "dumps.txt"},
       "dumps.txt",
       refusal("dumps.txt", "--file list dumps.txt")},
      {{"--update", "dump.gz", "--outfile", "dump.gz"},
       "dump.gz",
       refusal("dump.gz", "--update dump dump.gz")},
      {{"--update", "dump.gz", "--update", dir.file("dump.gz"), "--outfile", "hard-link.gz"},
       "dump.gz",
       refusal("hard-link.gz", "--update dump dump.gz")},
      {{"--outfile", "link-to-blocks", "--cidrfile", "blocks.txt", "--dir", "missing"},
       "blocks.txt",
       refusal("link-to-blocks", "--cidrfile list blocks.txt")},
      {{"--update", "-", "--outfile", "dump.gz"},
       "dump.gz",
       refusal("dump.gz", "--update dump - (standard input)")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    ChildOptions options;
    options.workingDirectory = dir.path();
    options.stdinPath = dir.file("dump.gz");
    ChildResult result = ChildProcess(kBinary, c.arguments, options).finish();
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(readFile(dir.file("blocks.txt")), kBlocks);
    EXPECT_EQ(readFile(dir.file("origins.txt")), "64500\n");
    EXPECT_EQ(readFile(dir.file("dumps.txt")), "dump.gz\n");
    EXPECT_EQ(readFile(dir.file("dump.gz")), kDump);
  }
}

// A dump that the --file list names or the date range would search is an input too, though the
// command line does not name it: it is looked for only when the output file holds something, and
// a list from a pipe, read ahead for the look, is still searched whole.
TEST(OutfileIsAnInputTest, ADumpThatTheListOrTheDateRangeWouldSearchIsRefusedToo) {
  TempDir dir;
  const std::string updates = "archive/c/2024.01/UPDATES";
  makeDirectories(dir.file(updates));
  writeAnnouncement(dir.file("dump.gz"), "10.1.0.0/16");
  const std::string kDump = readFile(dir.file("dump.gz"));
  const std::string dayDump = updates + "/updates.20240102.0000.gz";
  writeAnnouncement(dir.file(dayDump), "10.2.0.0/16");
  writeText(dir.file("dumps.txt"), "other.gz\ndump.gz\n");
  ASSERT_EQ(::symlink("dump.gz", dir.file("link.gz").c_str()), 0);
  struct Case {
    const char* name;
    std::string shellCommand;  // run by sh -c in `dir`, with $0 the binary
    std::string input;         // the file whose bytes must stay
    std::string err;
  };
  const std::vector<Case> cases = {
      {"a listed dump", "\"$0\" --or --file dumps.txt --outfile dump.gz", "dump.gz",
       refusal("dump.gz", "dump dump.gz of the --file list dumps.txt (line 2)")},
      {"a listed dump through a link, the list from a pipe",
       "cat dumps.txt | \"$0\" --or --file /dev/stdin --outfile link.gz", "dump.gz",
       refusal("link.gz", "dump dump.gz of the --file list /dev/stdin (line 2)")},
      {"a dump of the second day",
       "\"$0\" --or --startdate 20240101 --enddate 20240103 --dir archive --outfile " + dayDump,
       dayDump, refusal(dayDump, "dump " + dayDump + " of the day 20240102")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunResult result =
        runProgram("/bin/sh", {"-c", c.shellCommand, kBinary}, {.workingDirectory = dir.path()});
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(readFile(dir.file("dump.gz")), kDump);
    EXPECT_NE(readFile(dir.file(dayDump)), "");
  }

  // An output file that holds something but is no input: the list from a pipe, read ahead for
  // the look, is searched whole.
  writeText(dir.file("report.txt"), "an earlier report\n");
  RunResult piped = runProgram(
      "/bin/sh",
      {"-c", "cat dumps.txt | \"$0\" --or --file /dev/stdin --outfile report.txt", kBinary},
      {.workingDirectory = dir.path()});
  EXPECT_EQ(piped.out, "Error statting file: No such file or directory\n");
  EXPECT_EQ(piped.err, "Can not open other.gz\n");
  EXPECT_EQ(readFile(dir.file("report.txt")), announcementLine("10.1.0.0/16"));

  // An empty output file loses nothing when it is opened: nothing is looked for, and the dump it
  // is (empty too) is named as empty when its turn comes.
  writeText(dir.file("empty.gz"), "");
  RunResult empty = runTarvex({"--or", "--file", "/dev/stdin", "--outfile", "empty.gz"},
                              {.workingDirectory = dir.path(), .standardInput = "empty.gz\n"});
  EXPECT_EQ(empty.err,
            "tarvex: empty.gz: the file is empty (0 bytes); nothing in it can be searched\n");
  EXPECT_EQ(empty.status, 1);
}

// Opening a device or a pipe empties nothing, and a copy is another file.
TEST(OutfileIsAnInputTest, OtherFilesAndDevicesAreNoInput) {
  TempDir dir;
  writeAnnouncement(dir.file("dump.gz"), "10.1.0.0/16");
  writeText(dir.file("copy.gz"), readFile(dir.file("dump.gz")));
  RunResult copy = runTarvex({"--update", dir.file("dump.gz"), "--outfile", dir.file("copy.gz")});
  EXPECT_EQ(copy.err, "");
  EXPECT_EQ(readFile(dir.file("copy.gz")), announcementLine("10.1.0.0/16"));

  ChildOptions fromNull;
  fromNull.stdinPath = "/dev/null";
  ChildResult devices =
      ChildProcess(kBinary, {"--update", "-", "--outfile", "/dev/null"}, fromNull).finish();
  EXPECT_EQ(devices.err, "tarvex: -: the file is empty (0 bytes); nothing in it can be searched\n");
  EXPECT_EQ(devices.out, "");
  EXPECT_EQ(devices.status, 1);
}

// ---------------------------------------------------------------------------------------------
// Standard streams closed at start.

// Runs tarvex with the standard descriptors named in `closing` (a shell redirection such as
// "<&- 2>&-") closed.
RunResult runWithClosedStreams(const std::string& closing, const std::vector<std::string>& args,
                               const std::string& workingDirectory) {
  std::vector<std::string> shellArguments = {"-c", "exec \"$@\" " + closing, "sh", kBinary};
  shellArguments.insert(shellArguments.end(), args.begin(), args.end());
  return runProgram("/bin/sh", shellArguments, {.workingDirectory = workingDirectory});
}

// With standard input closed, the dump opened first must not become standard input: "-" still
// finds standard input closed, and is read once, as in a run that opens nothing before it.
TEST(ClosedStreamsTest, NoDumpTakesTheNumberOfAClosedStream) {
  TempDir dir;
  int index = 0;
  for (const char* name : {"a.gz", "b.gz", "c.gz"}) {
    writeAnnouncement(dir.file(name), "10." + std::to_string(++index) + ".0.0/16");
  }
  // What a run that has opened nothing before says about a closed standard input.
  const std::string closedStdinAlone =
      runWithClosedStreams("<&-", {"--update", "-"}, dir.path()).err;
  ASSERT_NE(closedStdinAlone, "");
  const std::vector<std::string> arguments = {"--update", "a.gz", "--update", "missing",
                                              "--update", "b.gz", "--update", "-",
                                              "--update", "c.gz", "--outfile"};

  std::vector<std::string> referenceArguments = arguments;
  referenceArguments.push_back("reference");
  runTarvex(referenceArguments, {.workingDirectory = dir.path()});
  const std::string referenceReport = readFile(dir.file("reference"));
  ASSERT_EQ(std::count(referenceReport.begin(), referenceReport.end(), '\n'), 3);
  struct Case {
    const char* closing;
    bool stdoutOpen;
    bool stderrOpen;
  };
  for (const Case& c : {Case{"<&-", true, true}, Case{"2>&-", true, false},
                        Case{"<&- 2>&-", true, false}, Case{"<&- >&-", false, true}}) {
    SCOPED_TRACE(c.closing);
    std::vector<std::string> closedArguments = arguments;
    closedArguments.push_back("report");
    RunResult result = runWithClosedStreams(c.closing, closedArguments, dir.path());
    EXPECT_EQ(readFile(dir.file("report")), referenceReport);
    if (c.stdoutOpen) {
      EXPECT_EQ(result.out, "Error statting file: No such file or directory\n");
    }
    std::string expectedErr = "Can not open missing\n";
    if (std::string(c.closing).find('<') != std::string::npos) expectedErr += closedStdinAlone;
    if (c.stderrOpen) {
      EXPECT_EQ(result.err, expectedErr);
    }
    EXPECT_EQ(result.status, 1);
  }
}

}  // namespace
}  // namespace tarvex::testing
