#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "process_runner.h"
#include "scan/dump_file_scan.h"
#include "shard/merge.h"

namespace tarvex::shard {
namespace {

using testing::TempDir;

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A day's result directory as run-day leaves it.
std::string dayResult(const TempDir& dir, const std::string& day, const std::string& out,
                      const std::string& err, const std::string& report) {
  const std::string path = dir.file(day);
  testing::makeDirectories(path);
  writeFile(path + "/stdout", out);
  writeFile(path + "/stderr", err);
  writeFile(path + "/report", report);
  return path;
}

int createFile(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
}

const std::string kStart = "tarvex: x is not an option's value\n";

MergeInputs weekOfThree(const TempDir& dir) {
  return {{dayResult(dir, "20240228", "a1\n", kStart + "e1\n", "r1\n"),
           dayResult(dir, "20240229", "", kStart, ""),
           dayResult(dir, "20240301", "a3\n", kStart + "e3a\ne3b\n", "r3\n")},
          kStart,
          kStart.size(),
          ""};
}

TEST(ShardMergeTest, ConcatenatesTheDaysInWalkOrderWithTheStartMessagesOnce) {
  TempDir dir;
  MergeInputs inputs = weekOfThree(dir);
  inputs.trailer = "Can not parse:  20241301\n";
  const int out = createFile(dir.file("out"));
  const int err = createFile(dir.file("err"));
  const int report = createFile(dir.file("report"));
  mergeDays(inputs, out, err, report);
  ::close(out);
  ::close(err);
  ::close(report);
  EXPECT_EQ(readFile(dir.file("out")), "a1\na3\nCan not parse:  20241301\n");
  EXPECT_EQ(readFile(dir.file("err")), kStart + "e1\ne3a\ne3b\n");
  EXPECT_EQ(readFile(dir.file("report")), "r1\nr3\n");
}

TEST(ShardMergeTest, InterleavesTheStreamsDayByDayWhenTheyShareAFile) {
  TempDir dir;
  const int both = createFile(dir.file("both"));
  mergeDays(weekOfThree(dir), both, both, -1);  // no --outfile: the days' reports are not read
  ::close(both);
  EXPECT_EQ(readFile(dir.file("both")), kStart + "a1\ne1\na3\ne3a\ne3b\n");
}

TEST(ShardMergeTest, WritesOnlyTheStartMessagesForNoDays) {
  TempDir dir;
  const int out = createFile(dir.file("out"));
  const int err = createFile(dir.file("err"));
  mergeDays({{}, kStart, kStart.size(), ""}, out, err, -1);
  ::close(out);
  ::close(err);
  EXPECT_EQ(readFile(dir.file("out")), "");
  EXPECT_EQ(readFile(dir.file("err")), kStart);
}

// Writes fail as tarvex's do: a message that cannot be written is dropped and the merge goes on,
// a report line that cannot be written ends it. On standard output, the lines that explain a
// dump that could not be opened are messages; all others are report lines.
TEST(ShardMergeTest, EndsAtAReportLineThatCannotBeWrittenAndDropsMessagesThatCannot) {
  TempDir dir;
  const std::string statting = std::string(kErrorStattingFile) + "No such file or directory\n";
  const MergeInputs inputs{{dayResult(dir, "20240228", statting, kStart + "e1\n", ""),
                            dayResult(dir, "20240229", "r2\n" + statting, kStart + "e2\n", "r2\n")},
                           kStart,
                           kStart.size(),
                           ""};
  struct Case {
    const char* name;
    bool stdoutFull, stderrFull, reportFull;
    bool reportInFile;
    std::optional<int> stoppedBy;  // the errno of the failed report write
    std::string out, err, report;  // what reached the files that are not full
  };
  const Case cases[] = {
      {"full standard output with the report", true, false, false, false, ENOSPC, "",
       kStart + "e1\n", ""},
      {"full standard output beside the report file", true, false, false, true, std::nullopt, "",
       kStart + "e1\ne2\n", "r2\n"},
      {"full report file", false, false, true, true, ENOSPC, statting + "r2\n" + statting,
       kStart + "e1\ne2\n", ""},
      {"full standard error", false, true, false, false, std::nullopt, statting + "r2\n" + statting,
       "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto open = [&](bool full, const std::string& name) {
      return full ? ::open("/dev/full", O_WRONLY) : createFile(dir.file(name));
    };
    const int out = open(c.stdoutFull, "out");
    const int err = open(c.stderrFull, "err");
    const int report = c.reportInFile ? open(c.reportFull, "report") : -1;
    const std::optional<MergeStop> stop = mergeDays(inputs, out, err, report);
    for (int fd : {out, err, report}) {
      if (fd >= 0) ::close(fd);
    }
    if (c.stoppedBy) {
      ASSERT_TRUE(stop);
      EXPECT_EQ(stop->cause, MergeStop::Cause::kReportNotWritten);
      EXPECT_EQ(stop->error, *c.stoppedBy);
    } else {
      EXPECT_FALSE(stop);
    }
    if (!c.stdoutFull) {
      EXPECT_EQ(readFile(dir.file("out")), c.out);
    }
    if (!c.stderrFull) {
      EXPECT_EQ(readFile(dir.file("err")), c.err);
    }
    if (c.reportInFile && !c.reportFull) {
      EXPECT_EQ(readFile(dir.file("report")), c.report);
    }
  }
}

TEST(ShardMergeTest, NamesADayFileItCannotRead) {
  TempDir dir;
  MergeInputs inputs = weekOfThree(dir);
  std::filesystem::remove(inputs.dayResults[1] + "/stderr");
  const int out = createFile(dir.file("out"));
  const int err = createFile(dir.file("err"));
  const std::optional<MergeStop> stop = mergeDays(inputs, out, err, -1);
  ::close(out);
  ::close(err);
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->cause, MergeStop::Cause::kResultNotRead);
  EXPECT_EQ(stop->error, ENOENT);
  EXPECT_EQ(stop->path, inputs.dayResults[1] + "/stderr");
  EXPECT_EQ(readFile(dir.file("out")), "a1\n");
}

// A saved list is named by its copy in the days' messages and as given in the merged ones.
TEST(ShardMergeTest, WritesTheStartMessagesAsGivenAndLeavesOutTheDaysOwn) {
  TempDir dir;
  const std::string days = "tarvex: /work/lists/cidrfile:2: not a CIDR block\n";
  const std::string given = "tarvex: /dev/stdin:2: not a CIDR block\n";
  const MergeInputs inputs{
      {dayResult(dir, "20240228", "", days + "e1\n", ""), dayResult(dir, "20240229", "", days, "")},
      given,
      days.size(),
      ""};
  const int out = createFile(dir.file("out"));
  const int err = createFile(dir.file("err"));
  EXPECT_FALSE(mergeDays(inputs, out, err, -1));
  ::close(out);
  ::close(err);
  EXPECT_EQ(readFile(dir.file("err")), given + "e1\n");
}

}  // namespace
}  // namespace tarvex::shard
