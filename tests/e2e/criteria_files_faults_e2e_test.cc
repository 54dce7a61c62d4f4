// Lists that would change the meaning of a run without a word: a criteria list that is a
// directory, a named pipe nobody writes or a file whose read fails part way ends the run before
// any dump is opened; AS number lines that can never match, CIDR lines whose address is an
// integer and dump list paths that end in a carriage return are named. Every case runs the
// binary and compares its standard output, standard error and exit status byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
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
const std::string kNoDump = "Error statting file: No such file or directory\n";

/// A temporary directory to run in, with an empty dump and helpers for the lists.
class SilentListsTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(file("empty.gz"), {}, Compression::kGzip); }
  std::string file(const std::string& name) const { return temp_.file(name); }
  RunOptions inTemp() const {
    RunOptions options;
    options.workingDirectory = temp_.path();
    return options;
  }
  ChildOptions childInTemp() const {
    ChildOptions options;
    options.workingDirectory = temp_.path();
    return options;
  }
  RunResult run(const std::vector<std::string>& arguments) const {
    return runTarvex(arguments, inTemp());
  }

  TempDir temp_;
};

/// The arguments that put `list` in the place of `option`. A criteria list comes with a dump
/// that does not exist: the scan's words for it would show if the run got as far as the dumps.
std::vector<std::string> argumentsFor(const std::string& option, const std::string& list) {
  if (option == "--file") return {"--or", "--file", list};
  return {"--or", option, list, "--update", "no-such-dump.gz"};
}

const std::vector<std::string> kListOptions = {"--cidrfile", "--asnfile", "--file"};

TEST_F(SilentListsTest, ADirectoryAsAListCannotBeOpened) {
  makeDirectories(file("lists"));
  for (const std::string& option : kListOptions) {
    SCOPED_TRACE(option);
    RunResult result = run(argumentsFor(option, "lists"));
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Couldn't open file lists\n");
    EXPECT_EQ(result.status, 1);
  }
}

// Each pipe gets its bounded wait for a writer; the three runs wait side by side.
TEST_F(SilentListsTest, ANamedPipeWithoutAWriterCannotBeOpened) {
  std::vector<std::unique_ptr<ChildProcess>> runs;
  for (const std::string& option : kListOptions) {
    const std::string pipe = "pipe" + option;
    ASSERT_EQ(mkfifo(file(pipe).c_str(), 0600), 0);
    runs.push_back(
        std::make_unique<ChildProcess>(kBinary, argumentsFor(option, pipe), childInTemp()));
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(kListOptions[i]);
    ChildResult result = runs[i]->finish(60);
    EXPECT_FALSE(result.killed);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Couldn't open file pipe" + kListOptions[i] + "\n");
    EXPECT_EQ(result.status, 1);
  }
}

// A list from a named pipe, from a shell pipe on /dev/stdin, or /dev/null reads like the same
// bytes in a file. Each list's first byte matters to the report: the byte a pipe's writer is
// found by must not go missing.
TEST_F(SilentListsTest, PipesAndDevicesReadLikeFiles) {
  struct Case {
    std::string option;
    std::string content;
    std::string source;  // "pipe", "stdin" or "/dev/null"
  };
  const std::vector<Case> cases = {
      {"--cidrfile", "128.0.0.0/1\n", "pipe"},
      {"--asnfile", "36903\n", "pipe"},
      {"--file", smallDump() + "\n", "pipe"},
      {"--cidrfile", "128.0.0.0/1\n", "stdin"},
      {"--asnfile", "", "stdin"},  // a pipe already closed by its writer: an empty list
      {"--asnfile", "", "/dev/null"},
  };
  int pipes = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option + " from " + c.source);
    writeText(file("list.txt"), c.content);
    const std::vector<std::string> tail = c.option == "--file"
                                              ? std::vector<std::string>{}
                                              : std::vector<std::string>{"--update", smallDump()};
    auto withList = [&](const std::string& list) {
      std::vector<std::string> arguments = {"--or", c.option, list};
      arguments.insert(arguments.end(), tail.begin(), tail.end());
      return arguments;
    };
    RunResult expected = run(withList("list.txt"));
    RunResult actual;
    if (c.source == "pipe") {
      const std::string pipe = "pipe" + std::to_string(++pipes);
      ASSERT_EQ(mkfifo(file(pipe).c_str(), 0600), 0);
      // The writer opens the pipe once tarvex has opened it for reading, writes and closes.
      std::vector<std::string> shell = {
          "-c",
          "pipe=$1; content=$2; shift 2; printf %s \"$content\" > \"$pipe\" & exec \"$@\"",
          "sh",
          pipe,
          c.content,
          kBinary};
      std::vector<std::string> arguments = withList(pipe);
      shell.insert(shell.end(), arguments.begin(), arguments.end());
      actual = runProgram("/bin/sh", shell, inTemp());
    } else if (c.source == "stdin") {
      RunOptions options = inTemp();
      options.standardInput = c.content;
      actual = runTarvex(withList("/dev/stdin"), options);
    } else {
      actual = run(withList(c.source));
    }
    if (!c.content.empty()) {
      EXPECT_NE(expected.out, "");
    }
    EXPECT_TRUE(sameReport(actual.out, expected.out));
    EXPECT_EQ(actual.err, expected.err);
    EXPECT_EQ(actual.status, expected.status);
  }
}

/// A pseudo-terminal whose reading end (its path, /dev/pts/N) tarvex opens as a list. Closing
/// the test's end while tarvex waits in a read makes that read fail with EIO: a list whose read
/// fails after the lines it already gave.
class Terminal {
 public:
  Terminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    // Raw: the bytes pass as they are, without echo or line editing.
    int slave = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slave < 0 || tcgetattr(slave, &settings) != 0) {
      path_.clear();
      return;
    }
    cfmakeraw(&settings);
    tcsetattr(slave, TCSANOW, &settings);
    close(slave);
  }
  ~Terminal() { closeWriter(); }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool ready() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  bool write(const std::string& bytes) {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  void closeWriter() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string path_;
};

/// True when a thread of process `pid` sleeps in a read of the file at `path`.
bool readingFrom(pid_t pid, const std::string& path) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(proc + "/task", error)) {
    std::ifstream syscall(task.path() / "syscall");
    long number = -1;
    std::string fd;
    if (!(syscall >> number >> fd) || number != SYS_read) continue;
    const std::string link = proc + "/fd/" + std::to_string(std::stol(fd, nullptr, 16));
    if (std::filesystem::read_symlink(link, error) == path) return true;
  }
  return false;
}

/// Waits until `child` sleeps in a read of `path`, seen twice in a row so that a read that
/// merely passed is not taken for a wait.
bool waitUntilReading(const ChildProcess& child, const std::string& path) {
  int sightings = 0;
  for (int tries = 0; tries < 3000 && sightings < 2; ++tries) {
    sightings = readingFrom(child.pid(), path) ? sightings + 1 : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return sightings == 2;
}

// A criteria list cut short means another query: nothing is searched. A dump list cut short has
// had its paths searched as they came, and the run says where the list ended.
TEST_F(SilentListsTest, AListWhoseReadFailsPartWay) {
  struct Case {
    std::string option;
    std::string content;
    std::string out;
    std::string err;  // before the message about the read
    std::string ending;
  };
  const std::string incomplete = "; the list is incomplete, so no dump is searched\n";
  const std::vector<Case> cases = {
      {"--cidrfile", "192.0.2.0/24\n10.0.0.0/8\n", "", "", incomplete},
      {"--asnfile", "64500\n64501\n", "", "", incomplete},
      {"--file", "missing-a\nmissing-b\n", kNoDump + kNoDump,
       "Can not open missing-a\nCan not open missing-b\n", "; the rest of the list is ignored\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    Terminal terminal;
    if (!terminal.ready()) GTEST_SKIP() << "no pseudo-terminal here";
    ASSERT_TRUE(terminal.write(c.content));
    ChildProcess child(kBinary, argumentsFor(c.option, terminal.path()), childInTemp());
    ASSERT_TRUE(waitUntilReading(child, terminal.path()));
    terminal.closeWriter();
    ChildResult result = child.finish();
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err + "tarvex: " + terminal.path() +
                              ": read error after line 2: Input/output error" + c.ending);
    EXPECT_EQ(result.status, 1);
  }
  // The process's own memory opens, and its first read, at address 0, fails.
  for (const std::string option : {"--cidrfile", "--asnfile"}) {
    SCOPED_TRACE(option);
    RunResult result = run(argumentsFor(option, "/proc/self/mem"));
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "tarvex: /proc/self/mem: read error after line 0: Input/output error" + incomplete);
    EXPECT_EQ(result.status, 1);
  }
}

// Every line that no origin token can equal is named with its reason, and the run goes on.
TEST_F(SilentListsTest, AsNumberLinesThatCanNeverMatch) {
  struct Case {
    std::string line;
    std::string quoted;  // as the message shows it
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"64500\r", "64500\\r", "holds a carriage return (a file with CR LF line ends?)"},
      {"AS64511", "AS64511", "starts with \"AS\" (write the number alone)"},
      {"as64511", "as64511", "starts with \"as\" (write the number alone)"},
      {"064511", "064511", "has a leading zero"},
      {"{64500,064501}", "{64500,064501}", "has a leading zero"},
      {"4294967296", "4294967296", "is above 4294967295, the largest AS number"},
      {"\xEF\xBB\xBF"
       "64500",
       "\\xef\\xbb\\xbf64500", "starts with a byte-order mark"},
      {"64500 64501", "64500 64501", "holds a space"},
      {"{64500, 64501}", "{64500, 64501}", "holds a space"},
      {"64500\t", "64500\\t", "holds a tab"},
      {"64500x", "64500x",
       "is not a decimal AS number, an AS set \"{a,b}\", a confederation set \"[a,b]\" or the "
       "end of a confederation sequence \"b)\""},
      {"{}", "{}",
       "is not a decimal AS number, an AS set \"{a,b}\", a confederation set \"[a,b]\" or the "
       "end of a confederation sequence \"b)\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.quoted);
    writeText(file("origins.txt"), "64496\n" + c.line + "\n");
    RunResult result = run({"--asnfile", "origins.txt", "--update", "empty.gz"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tarvex: origins.txt:2: AS number \"" + c.quoted + "\" " + c.reason +
                              " and can never match an origin AS\n");
    EXPECT_EQ(result.status, 1);
  }
  // Every form an origin token takes passes without a word.
  writeText(file("origins.txt"),
            "\n0\n64500\n4294967295\n{64500,64501}\n[64500]\n[64500,64501]\n(64500)\n64501)\n");
  RunResult result = run({"--asnfile", "origins.txt", "--update", "empty.gz"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
}

// A list written with NUL bytes between its entries is read one line at a time all the same: a
// CIDR block ends at the first NUL, as a C string does, and an AS number line with one can never
// match. Either way the line is named.
TEST_F(SilentListsTest, ListLinesWithANulByteAreNamed) {
  writeText(file("blocks.txt"), std::string("10.0.0.0/8\0"
                                            "192.0.2.0/24\n",
                                            22));
  writeText(file("origins.txt"), std::string("64500\0"
                                             "64510\n",
                                             12));
  RunResult cidr = run({"--cidrfile", "blocks.txt", "--update", "empty.gz"});
  EXPECT_EQ(cidr.err,
            "tarvex: blocks.txt:1: the line holds a NUL byte, and only the text before it "
            "(\"10.0.0.0/8\") is read; a list takes one entry a line\n");
  RunResult asn = run({"--asnfile", "origins.txt", "--update", "empty.gz"});
  EXPECT_EQ(asn.err,
            "tarvex: origins.txt:1: AS number \"64500\\x0064510\" holds a NUL byte (a list "
            "takes one entry a line) and can never match an origin AS\n");
}

// A list that is empty rules out every route unless --or lets the other list (or none) decide;
// an empty AS list with --or is how withdrawals are shown, and is not worth a word.
TEST_F(SilentListsTest, AnEmptyListThatMustMatchIsNamed) {
  writeText(file("none.txt"), "");
  writeText(file("blanks.txt"), "\n \n");
  const std::string cidrEmpty =
      "tarvex: none.txt: the CIDR list holds no block, so no route can "
      "match (without --or every list named must match)\n";
  const std::string asnEmpty =
      "tarvex: none.txt: the AS number list is empty, so no route can "
      "match (without --or every list named must match)\n";
  struct Case {
    std::vector<std::string> arguments;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--cidrfile", "none.txt"}, cidrEmpty},
      {{"--asnfile", "none.txt"}, asnEmpty},
      {{"--cidrfile", "none.txt", "--asnfile", "none.txt"}, cidrEmpty + asnEmpty},
      {{"--cidrfile", "blanks.txt"},
       "tarvex: blanks.txt:1: not a CIDR block (Input is empty or all whitespace); line ignored\n"
       "tarvex: blanks.txt:2: not a CIDR block (Input is empty or all whitespace); line ignored\n" +
           std::string("tarvex: blanks.txt: the CIDR list holds no block, so no route can match "
                       "(without --or every list named must match)\n")},
      {{"--or", "--cidrfile", "none.txt"}, ""},
      {{"--or", "--asnfile", "none.txt"}, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {"--update", "empty.gz"});
    RunResult result = run(arguments);
    EXPECT_EQ(result.err, c.err) << c.arguments[1];
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 1);
  }
}

// A list saved with CR LF line ends: the first five lines are named, the rest counted.
TEST_F(SilentListsTest, ManyAsNumberLinesThatCanNeverMatchAreCounted) {
  auto named = [](int line) {
    return "tarvex: origins.txt:" + std::to_string(line) + ": AS number \"6450" +
           std::to_string(line) +
           "\\r\" holds a carriage return (a file with CR LF line ends?) and can never match an "
           "origin AS\n";
  };
  std::string firstFive;
  for (int line = 1; line <= 5; ++line) firstFive += named(line);
  struct Case {
    int lines;
    std::string summary;
  };
  for (const Case& c :
       {Case{5, ""}, Case{6, "tarvex: origins.txt: 1 more line can never match an origin AS\n"},
        Case{9,
             "tarvex: origins.txt: 4 more lines can never match an origin "
             "AS\n"}}) {
    SCOPED_TRACE(c.lines);
    std::string content;
    for (int line = 1; line <= c.lines; ++line) content += "6450" + std::to_string(line) + "\r\n";
    writeText(file("origins.txt"), content);
    RunResult result = run({"--asnfile", "origins.txt", "--update", "empty.gz"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, firstFive + c.summary);
    EXPECT_EQ(result.status, 1);
  }
}

// "10/8" keeps its reading, 0.0.0.0/8, and the warning shows it.
TEST_F(SilentListsTest, CidrLinesWithAnIntegerAddressAreShownAsRead) {
  writeText(file("blocks.txt"),
            "10/8\n10\n+192/24\r\n167772160/8\n0/8\n10.0.0.0/8\n2147483648/1\n");
  RunResult result = run({"--cidrfile", "blocks.txt", "--update", "empty.gz"});
  const std::string head = "tarvex: blocks.txt:";
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            head +
                "1: \"10/8\": the address 10 is read as the integer 0.0.0.10, so the block is "
                "0.0.0.0/8 (write 10.0.0.0/8 if that is meant)\n" +
                head +
                "2: \"10\": the address 10 is read as the integer 0.0.0.10, so the block is "
                "0.0.0.10/32 (write 10.0.0.0/8 if that is meant)\n" +
                head +
                "3: \"+192/24\\r\": the address 192 is read as the integer 0.0.0.192, so the "
                "block is 0.0.0.0/24 (write 192.0.0.0/24 if that is meant)\n" +
                head +
                "4: \"167772160/8\": the address 167772160 is read as the integer 10.0.0.0, so "
                "the block is 10.0.0.0/8 (write 10.0.0.0/8 to say the same plainly)\n" +
                head +
                "7: \"2147483648/1\": the address 2147483648 is read as the integer 128.0.0.0, "
                "so the block is 128.0.0.0/1 (write 128.0.0.0/1 to say the same plainly)\n");
  EXPECT_EQ(result.status, 1);

  // The block searched is the one the warning names.
  writeText(file("integer.txt"), "2147483648/1\n");
  writeText(file("dotted.txt"), "128.0.0.0/1\n");
  RunResult integer = run({"--cidrfile", "integer.txt", "--update", smallDump()});
  RunResult dotted = run({"--cidrfile", "dotted.txt", "--update", smallDump()});
  EXPECT_NE(dotted.out, "");
  EXPECT_TRUE(sameReport(integer.out, dotted.out));
}

// The path of a CR LF list prints like a good one in "Can not open"; the warning after it names
// the carriage return. A file whose name really ends in one is scanned without a word.
TEST_F(SilentListsTest, DumpListPathsThatEndInACarriageReturn) {
  writeFile(file("real.gz\r"), {}, Compression::kGzip);
  writeText(file("dumps.txt"), "missing.gz\r\nreal.gz\r\nmissing.gz\nempty.gz\r");
  RunResult result = run({"--or", "--file", "dumps.txt"});
  EXPECT_EQ(result.out, kNoDump + kNoDump + kNoDump);
  EXPECT_EQ(result.err,
            "Can not open missing.gz\r\n"
            "tarvex: dumps.txt:1: the path \"missing.gz\\r\" ends in a carriage return (a list "
            "with CR LF line ends?)\n"
            "Can not open missing.gz\n"
            "Can not open empty.gz\r\n"
            "tarvex: dumps.txt:4: the path \"empty.gz\\r\" ends in a carriage return (a list with "
            "CR LF line ends?)\n");
  EXPECT_EQ(result.status, 1);
}

}  // namespace
}  // namespace tarvex::testing
