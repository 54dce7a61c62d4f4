// List mode seen from outside: the real binary reads a dump list file and --verbose names each
// path on standard error as its scan begins. Paths that do not exist are reported by the scan
// ("Error statting file" on standard output, "Can not open" on standard error), which makes
// every path handed on visible, the empty one included.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::RunOptions;
using testing::RunResult;
using testing::runTarvex;
using testing::TempDir;

constexpr const char* kMissing = "Error statting file: No such file or directory\n";

// What a verbose scan of a path that does not exist writes to each stream, for paths listed in
// the file "list", one a line. A path that ends in a carriage return is named after its scan, the
// CR written as \r.
struct Streams {
  std::string out;
  std::string err;
};
Streams missingPaths(const std::vector<std::string>& paths) {
  Streams streams;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    streams.out += kMissing;
    streams.err += path + "\n" + "Can not open " + path + "\n";
    if (!path.empty() && path.back() == '\r') {
      streams.err += "tarvex: list:" + std::to_string(i + 1) + ": the path \"" +
                     path.substr(0, path.size() - 1) +
                     "\\r\" ends in a carriage return (a list with CR LF line ends?)\n";
    }
  }
  return streams;
}

RunResult runList(const TempDir& temp, const std::string& listContent) {
  testing::writeText(temp.file("list"), listContent);
  RunOptions options;
  options.workingDirectory = temp.path();
  return runTarvex({"--verbose", "--file", "list"}, options);
}

TEST(ListFileTest, HandsOnEveryLineVerbatim) {
  struct Case {
    const char* name;
    std::string content;
    std::vector<std::string> paths;
  };
  const Case cases[] = {
      {"empty file", "", {}},
      {"a single line feed", "\n", {""}},
      {"empty lines between paths", "a\n\n\nb\n", {"a", "", "", "b"}},
      {"carriage returns stay", "a\r\nb\r\n", {"a\r", "b\r"}},
      {"no final line feed", "a\nb", {"a", "b"}},
      {"a path twice", "a\nb\na\n", {"a", "b", "a"}},
      {"blanks and tabs stay", " a\t\n\tb \n", {" a\t", "\tb "}},
      {"no comments", "# a\n", {"# a"}},
      {"file order, not sorted", "c\nb\na\n", {"c", "b", "a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    RunResult result = runList(temp, c.content);
    Streams expected = missingPaths(c.paths);
    // A list that names nothing says so: it is no search that found nothing.
    if (c.paths.empty())
      expected.err = "tarvex: list: the dump list is empty; nothing is searched\n";
    EXPECT_EQ(result.out, expected.out);
    EXPECT_EQ(result.err, expected.err);
    EXPECT_EQ(result.status, 1);
  }
}

// A list written with NUL bytes between its paths (find -print0) is one line: its path ends at
// the first NUL, as the system reads it, and the line is named.
TEST(ListFileTest, ALineWithANulByteIsReadUpToItAndNamed) {
  TempDir temp;
  RunResult result = runList(temp, std::string("a\0b\0c\nd\n\0e\n", 11));
  const std::string nulWarning = "the line holds a NUL byte, and only the text before it (";
  EXPECT_EQ(result.out, std::string(kMissing) + kMissing + kMissing);
  EXPECT_EQ(result.err, "tarvex: list:1: " + nulWarning +
                            "\"a\") is read; a list takes one entry a line\n"
                            "a\nCan not open a\nd\nCan not open d\n"
                            "tarvex: list:3: " +
                            nulWarning +
                            "\"\") is read; a list takes one entry a line\n"
                            "\nCan not open \n");
}

TEST(ListFileTest, LinesHaveNoLengthLimit) {
  // Longer than any path the system accepts: the scan sees the whole line and says so.
  const std::string longPath(70000, 'x');
  TempDir temp;
  RunResult result = runList(temp, "a\n" + longPath + "\nb\n");
  EXPECT_EQ(result.out,
            std::string(kMissing) + "Error statting file: File name too long\n" + kMissing);
  EXPECT_EQ(result.err, "a\nCan not open a\n" + longPath + "\nCan not open " + longPath +
                            "\nb\nCan not open b\n");
}

TEST(ListFileTest, ScansExistingDumpsBetweenMissingOnes) {
  TempDir temp;
  for (const char* name : {"one.gz", "two.gz"}) {
    testing::writeFile(temp.file(name), {}, testing::Compression::kGzip);
  }
  RunResult result = runList(temp, "two.gz\ngone\none.gz\ntwo.gz\n");
  EXPECT_EQ(result.out, kMissing);
  EXPECT_EQ(result.err, "two.gz\ngone\nCan not open gone\none.gz\ntwo.gz\n");
  EXPECT_EQ(result.status, 1);
}

TEST(ListFileTest, ReadsTheListFromAPipe) {
  RunOptions options;
  options.standardInput = "a\nb\n";
  RunResult result = runTarvex({"--verbose", "--file", "/dev/stdin"}, options);
  Streams expected = missingPaths({"a", "b"});
  EXPECT_EQ(result.out, expected.out);
  EXPECT_EQ(result.err, expected.err);
  EXPECT_EQ(result.status, 1);
}

// A list that cannot be read is not an empty list: the run says why it scanned nothing. Root
// reads a file without read permission anyway, so that case runs as the unprivileged user
// "nobody" (uid 65534) through setpriv, and is skipped where that is not possible.
struct UnreadableList {
  const char* name;
  std::vector<std::string> arguments;  // "$TEMP" stands for the directory the run is made in
  std::string err;
  bool unprivileged = false;
};

void PrintTo(const UnreadableList& list, std::ostream* os) {
  *os << list.name;
}

class UnreadableListTest : public ::testing::TestWithParam<UnreadableList> {};

TEST_P(UnreadableListTest, IsReportedAndNothingIsScanned) {
  const UnreadableList& c = GetParam();
  TempDir temp;
  // mkdtemp makes the directory private to its owner; the unprivileged run must enter it.
  chmod(temp.path().c_str(), 0755);
  testing::writeFile(temp.file("dump.gz"), {}, testing::Compression::kGzip);
  testing::writeText(temp.file("locked"), "dump.gz\n");
  std::filesystem::permissions(temp.file("locked"), std::filesystem::perms::none);
  auto inTemp = [&](std::string text) {
    for (std::size_t at; (at = text.find("$TEMP")) != std::string::npos;) {
      text.replace(at, 5, temp.path());
    }
    return text;
  };
  std::vector<std::string> arguments;
  for (const std::string& argument : c.arguments) arguments.push_back(inTemp(argument));
  RunOptions options;
  options.workingDirectory = temp.path();
  std::optional<RunResult> result = c.unprivileged
                                        ? testing::runTarvexWithoutPrivileges(arguments, options)
                                        : runTarvex(arguments, options);
  if (!result) GTEST_SKIP() << "no way to run without privileges";
  EXPECT_EQ(result->out, "");
  EXPECT_EQ(result->err, inTemp(c.err));
  EXPECT_EQ(result->status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    ListFileTest, UnreadableListTest,
    ::testing::Values(
        UnreadableList{"Missing",
                       {"--verbose", "--file", "no-such-list"},
                       "Couldn't open file no-such-list\n"},
        // It would open and then fail its first read; it is refused like a missing list instead.
        UnreadableList{
            "ADirectory", {"--verbose", "--file", "$TEMP"}, "Couldn't open file $TEMP\n"},
        UnreadableList{"NoReadPermission",
                       {"--verbose", "--file", "locked"},
                       "Couldn't open file locked\n",
                       true},
        // /proc/self/mem opens, and its first read, at address 0, fails.
        UnreadableList{"AReadThatFails",
                       {"--or", "--file", "/proc/self/mem"},
                       "tarvex: /proc/self/mem: read error after line 0: Input/output error; the "
                       "rest of the list is ignored\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvex
