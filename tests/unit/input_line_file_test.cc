// The line reader of the criteria lists: lines split on LF alone and taken verbatim.
#include "input/line_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::TempDir;

std::vector<std::string> linesOf(const std::string& content) {
  TempDir dir;
  testing::writeText(dir.file("list"), content);
  input::LineFile file(dir.file("list"));
  EXPECT_TRUE(file.isOpen());
  std::vector<std::string> lines;
  std::string_view line;
  while (file.nextLine(line)) lines.emplace_back(line);
  EXPECT_EQ(file.readError(), 0);
  EXPECT_FALSE(file.nextLine(line)) << "no line after the end";
  return lines;
}

TEST(LineFileTest, SplitsOnLineFeedAlone) {
  using Lines = std::vector<std::string>;
  struct Case {
    std::string content;
    Lines lines;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"\n", {""}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\nb", {"a", "b"}},  // a last line without LF still counts
      {"a\n\nb\n", {"a", "", "b"}},
      {"a\r\nb\r\n", {"a\r", "b\r"}},
      {"a\rb\n", {"a\rb"}},
      {" a \t\n", {" a \t"}},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(linesOf(c.content), c.lines) << c.content;
  }
}

TEST(LineFileTest, LinesAcrossAndBeyondTheReadBuffer) {
  // Many short lines put line ends on every side of each buffer boundary; one long line
  // needs more than a whole buffer.
  std::vector<std::string> expected;
  std::string content;
  for (int i = 0; i < 30000; ++i) {
    expected.push_back(std::to_string(i * 7919));
    content += expected.back() + "\n";
  }
  expected.push_back(std::string(200000, 'x'));
  content += expected.back() + "\n";
  expected.push_back("last");
  content += "last";
  EXPECT_EQ(linesOf(content), expected);
}

TEST(LineFileTest, ReportsWhyItCannotOpenOrRead) {
  TempDir dir;
  input::LineFile missing(dir.file("missing"));
  EXPECT_FALSE(missing.isOpen());
  EXPECT_EQ(missing.openError(), ENOENT);
  std::string_view line;
  EXPECT_FALSE(missing.nextLine(line));

  // A directory would open and then fail its first read: it is refused at once instead.
  input::LineFile directory(dir.path());
  EXPECT_FALSE(directory.isOpen());
  EXPECT_EQ(directory.openError(), EISDIR);
  EXPECT_FALSE(directory.nextLine(line));

  input::LineFile memory("/proc/self/mem");  // opens, but the read at address 0 fails
  ASSERT_TRUE(memory.isOpen());
  EXPECT_FALSE(memory.nextLine(line));
  EXPECT_EQ(memory.readError(), EIO);
}

}  // namespace
}  // namespace tarvex
