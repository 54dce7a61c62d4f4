#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <variant>

#include "cli/usage.h"
#include "input/line_file.h"
#include "output/process_output.h"
#include "process_runner.h"
#include "shard/day_check.h"
#include "shard/posix_cksum.h"
#include "shard/work_directory.h"

namespace tarvex::shard {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using Words = std::vector<std::string>;

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

WorkDirectory openOrFail(const std::string& path, const std::string& settings) {
  auto opened = WorkDirectory::open(path, settings);
  if (auto* problem = std::get_if<std::string>(&opened)) ADD_FAILURE() << *problem;
  return std::move(std::get<WorkDirectory>(opened));
}

TEST(ShardWorkDirectoryTest, ChecksumsAsCksumDoes) {
  EXPECT_EQ(posixCksum(""), 4294967295u);
  EXPECT_EQ(posixCksum("hello\n"), 3015617425u);
  EXPECT_EQ(posixCksum("tarvex-shard work directory 1\n"), 731187439u);
  EXPECT_EQ(defaultWorkdirName("tarvex-shard work directory 1"), "tarvex-shard.731187439");
}

TEST(ShardWorkDirectoryTest, SettingsNameEverythingButTheDates) {
  SearchSettings search;
  search.cidrFile = "cidrs.txt";
  search.asnFile = "asns.txt";
  search.orMatch = 1;
  search.verbose = 1;
  search.dirs = {"a", "b"};
  search.operands = {"stray"};
  search.outFile = "out.txt";
  search.startDate = "20240101";
  EXPECT_EQ(dayRunOptions(search), (Words{"--cidrfile=cidrs.txt", "--asnfile=asns.txt", "--or",
                                          "--verbose", "--dir=a", "--dir=b"}));
  EXPECT_EQ(workdirSettings(search, "/home/me",
                            {"cksum of /bin/tarvex", "cksum of cidrs.txt", "cksum of asns.txt"}),
            "tarvex-shard work directory 1\ncksum of /bin/tarvex\n--cidrfile=cidrs.txt\n"
            "--asnfile=asns.txt\n--or\n--verbose\n--dir=a\n--dir=b\noperand stray\n"
            "report in a file\ncksum of cidrs.txt\ncksum of asns.txt\ncwd /home/me");
}

TEST(ShardWorkDirectoryTest, IsTakenUpAgainOnlyWithTheSameSettingsAndByOneRunAtATime) {
  TempDir dir;
  const std::string path = dir.file("work");
  {
    WorkDirectory workdir = openOrFail(path, "settings A");
    EXPECT_EQ(workdir.path(), fs::canonical(path).string());
    EXPECT_TRUE(fs::is_directory(path + "/days"));
    auto again = WorkDirectory::open(path, "settings A");
    ASSERT_TRUE(std::holds_alternative<std::string>(again));
    EXPECT_EQ(std::get<std::string>(again), "another tarvex-shard is using " + workdir.path());
  }
  openOrFail(path, "settings A");
  auto other = WorkDirectory::open(path, "settings B");
  ASSERT_TRUE(std::holds_alternative<std::string>(other));
  EXPECT_EQ(std::get<std::string>(other),
            fs::canonical(path).string() +
                " holds days searched with other options, criteria lists or another tarvex; "
                "remove it or name another --workdir");
  writeFile(dir.file("file"), "");
  auto notADirectory = WorkDirectory::open(dir.file("file"), "settings A");
  ASSERT_TRUE(std::holds_alternative<std::string>(notADirectory));
  EXPECT_EQ(std::get<std::string>(notADirectory),
            "cannot create the work directory " + dir.file("file"));
}

TEST(ShardWorkDirectoryTest, ReRunsOnlyTheMissingDaysAndClearsTheirAttempts) {
  TempDir dir;
  WorkDirectory workdir = openOrFail(dir.file("work"), "s");
  const std::string days = workdir.path() + "/days/";
  fs::create_directories(days + "20240226");
  fs::create_directories(days + "20240228");
  fs::create_directories(days + ".20240227.abcdef");
  fs::create_directories(days + ".20240226.ghijkl");  // an older attempt of a complete day
  writeFile(days + "20240229", "");                   // not a directory: not complete
  EXPECT_EQ(workdir.missingDays({"20240226", "20240227", "20240228", "20240229", "20240301"}),
            (Words{"20240227", "20240229", "20240301"}));
  EXPECT_FALSE(fs::exists(days + ".20240227.abcdef"));
  EXPECT_TRUE(fs::exists(days + ".20240226.ghijkl"));
  EXPECT_EQ(workdir.missingDays({"20240226", "20240228"}), Words{});

  workdir.setAside("20240226");
  EXPECT_FALSE(fs::exists(days + "20240226"));
  EXPECT_EQ(workdir.missingDays({"20240226"}), Words{"20240226"});
}

TEST(ShardWorkDirectoryTest, SaysWhyADayIsMissing) {
  struct Attempt {
    const char* host;    // nullptr: no file
    const char* status;  // nullptr: no file
    const char* stderrText;
    const char* refused = nullptr;  // what a host that would not search the day wrote
  };
  struct Case {
    std::vector<Attempt> attempts;
    std::string reason;  // after the work directory's path, for the first case
  };
  const Case cases[] = {
      {{}, ""},
      {{{"node1\n", nullptr, ""}}, " (on node1)"},
      {{{"node2\n", "139\n", "Building list of files...\n"}},
       "tarvex was ended by signal 11 (status 139) (on node2)"},
      {{{nullptr, "2\n", "first\nlast words\n"}}, "tarvex ended with status 2: last words"},
      {{{"a\n", "0\n", "x"}, {"b\n", nullptr, ""}}, "tarvex ended with status 0: x (on a) (on b)"},
      {{{"node3\n", nullptr, "", "tarvex: node3 has no /opt/tarvex\n"}},
       "tarvex: node3 has no /opt/tarvex"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WorkDirectory workdir = openOrFail(dir.file("work"), "s");
    const std::string noResult =
        "no result: the shard was killed, its host was lost, or it could not write to " +
        workdir.path();
    int number = 0;
    for (const Attempt& attempt : c.attempts) {
      const std::string path =
          workdir.path() + "/days/.20240301.attempt" + std::to_string(number++);
      fs::create_directories(path);
      if (attempt.host) writeFile(path + "/host", attempt.host);
      if (attempt.status) writeFile(path + "/status", attempt.status);
      writeFile(path + "/stderr", attempt.stderrText);
      if (attempt.refused) writeFile(path + "/refused", attempt.refused);
    }
    const std::string expected =
        c.reason.empty() || c.reason.starts_with(" ") ? noResult + c.reason : c.reason;
    EXPECT_EQ(workdir.missingDayReason("20240301", ""), expected);
  }
}

TEST(ShardWorkDirectoryTest, MergesOnlyDaysThatLoadedTheListsAsThisHostAndWalked) {
  struct Case {
    const char* name;
    std::string stdoutText;
    std::string stderrText;
    bool report;
    bool verbose;
    std::optional<std::string> fault;
  };
  const std::string start = "cidrs.txt:3: not a CIDR block\n";
  const std::string walk = "Building list of files...\n";
  const Case cases[] = {
      {"sound", "line\n", start + walk, true, true, std::nullopt},
      {"sound, quiet", "", start, true, false, std::nullopt},
      {"other list messages", "", "cidrs.txt:4: other\n", true, false,
       "its messages about the criteria lists differ from this host's: cidrs.txt:4: other"},
      {"a list it could not open", "", start + "Couldn't open file cidrs.txt\n", true, false,
       "Couldn't open file cidrs.txt"},
      {"an output file it could not open", "",
       start + "tarvex: cannot open output file r: Permission denied\n", true, false,
       "tarvex: cannot open output file r: Permission denied"},
      {"no walk", "", start + "something else", true, true,
       "tarvex did not walk the day: something else"},
      {"no report file", "", start, false, false, "its report file is missing"},
      {"the usage text", std::string(kUsageText), start, true, false,
       "tarvex printed its usage text"},
      {"fewer list messages", "", "", true, false,
       "it wrote fewer messages about the criteria lists than this host"},
      {"a list it could not read to its end", "",
       start + input::readErrorPrefix("cidrs.txt") + "3: Input/output error; no dump\n", true,
       false, input::readErrorPrefix("cidrs.txt") + "3: Input/output error; no dump"},
      {"a report it could not write", "line\n",
       start + walk + "tarvex: d.gz: skipped 1 malformed record\n" +
           std::string(kCannotWriteReport) + "standard output: No space left on device\n",
       true, true, std::string(kCannotWriteReport) + "standard output: No space left on device"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("stdout"), c.stdoutText);
    writeFile(dir.file("stderr"), c.stderrText);
    if (c.report) writeFile(dir.file("report"), "");
    EXPECT_EQ(dayFault(dir.path(), {start, {"cidrs.txt"}, c.verbose, true}), c.fault) << c.name;
  }
}

// A day that left no result of tarvex's is named with what the engine said last about it (ssh's
// reason for a host it could not reach, run-day's for a file it could not write).
TEST(ShardWorkDirectoryTest, SaysWhatTheEngineSaidOfADayThatLeftNoResult) {
  TempDir dir;
  WorkDirectory workdir = openOrFail(dir.file("work"), "s");
  const std::string ssh = "ssh: Could not resolve hostname node9: Name or service not known";
  EXPECT_EQ(workdir.missingDayReason("20240301", ssh), ssh);
  const std::string attempt = workdir.path() + "/days/.20240301.attempt";
  fs::create_directories(attempt);
  writeFile(attempt + "/host", "node1\n");
  const std::string full = "cannot write " + attempt + "/status: No space left on device";
  EXPECT_EQ(workdir.missingDayReason("20240301", full), full + " (on node1)");
  // tarvex ended as a one-day run ends; what came after it failed.
  writeFile(attempt + "/status", "1\n");
  const std::string rename = "cannot rename " + attempt + " to the day's directory";
  EXPECT_EQ(workdir.missingDayReason("20240301", rename), rename + " (on node1)");
  writeFile(attempt + "/status", "139\n");
  EXPECT_EQ(workdir.missingDayReason("20240301", rename),
            "tarvex was ended by signal 11 (status 139) (on node1)");
}

}  // namespace
}  // namespace tarvex::shard
