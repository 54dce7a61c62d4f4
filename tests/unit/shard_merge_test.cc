#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "process_runner.h"
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

}  // namespace
}  // namespace tarvex::shard
