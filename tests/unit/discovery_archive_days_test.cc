#include "discovery/archive_days.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_layouts.h"
#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::makeDirectories;
using testing::TempDir;
using testing::writeText;

TEST(CompareTimestampSuffixTest, OrdersByTheLastSeventeenBytes) {
  struct Case {
    std::string left;
    std::string right;
    bool less;
  };
  const Case cases[] = {
      // Only the tail counts: the collector, the layout and the file's prefix do not.
      {"z/bgpdata/2024.01/UPDATES/updates.20240101.0000.gz",
       "a/2024.01/UPDATES/updates.20240101.0005.gz", true},
      {"a/2024.01/UPDATES/updates.20240101.0005.gz",
       "z/bgpdata/2024.01/UPDATES/updates.20240101.0000.gz", false},
      {"z/UPDATES/updates.20240101.0000.gz", "a/UPDATES/rib.20240101.0000.gz", false},
      {"a/UPDATES/rib.20240101.0000.gz", "z/UPDATES/updates.20240101.0000.gz", false},
      // The eighteenth byte from the end is outside the tail.
      {"b20240101.0000.bz2", "a20240101.0000.bz2", false},
      {"a20240101.0000.bz2", "b20240101.0000.bz2", false},
      // The last byte is inside it, and compression suffixes sort as text.
      {"x/updates.20240101.0000.bz2", "x/updates.20240101.0000.gz_", true},
      // Bytes compare as unsigned values.
      {"p/updates.2024010\x80.0000.gz", "p/updates.20240101.0000.gz", false},
      {"p/updates.20240101.0000.gz", "p/updates.2024010\x80.0000.gz", true},
      // Shorter paths compare whole.
      {"abc", "abd", true},
      {"", "a", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compareTimestampSuffix(c.left, c.right), c.less) << c.left << " < " << c.right;
  }
}

TEST(IsScannedUpdatePathTest, NeedsUpdatesAndNoMeta) {
  struct Case {
    std::string path;
    bool scanned;
  };
  const Case cases[] = {
      {"a/rrc00/2024.01/UPDATES/updates.20240101.0000.gz", true},
      {"a/rrc00/2024.01/UPDATES/bview.20240101.0000.gz", false},
      {"a/rrc00/2024.01/UPDATES/UPDATES.20240101.0000.gz", false},
      {"a/updates/2024.01/UPDATES/bview.20240101.0000.gz", true},
      {"a/rrc00/2024.01/UPDATES/updates.20240101.meta.gz", false},
      {"metadata/rrc00/2024.01/UPDATES/updates.20240101.0000.gz", false},
      {"a/rrc00/2024.01/UPDATES/xupdatesx20240101", true},
      {"a/rrc00/2024.01/UPDATES/upd.ates.20240101.0000.gz", false},
      {"a/META/2024.01/UPDATES/updates.20240101.0000.gz", true},
  };
  for (const Case& c : cases) EXPECT_EQ(isScannedUpdatePath(c.path), c.scanned) << c.path;
}

class ListDayFilesTest : public ::testing::Test {
 protected:
  void addFile(const std::string& relativePath) {
    std::string path = temp_.file(relativePath);
    makeDirectories(std::filesystem::path(path).parent_path());
    writeText(path, "");
  }
  std::string path(const std::string& relativePath) const { return temp_.file(relativePath); }

  std::vector<std::string> dayFiles(const std::vector<std::string>& relativeDirs,
                                    const std::string& dateText) const {
    std::vector<std::string> dirs;
    for (const std::string& dir : relativeDirs) dirs.push_back(temp_.file(dir));
    return listDayFiles(dirs, dateText);
  }

  TempDir temp_;
};

class ListDayFilesLayoutTest : public ::testing::TestWithParam<testing::ArchiveLayout> {};

TEST_P(ListDayFilesLayoutTest, GivesTheDaysFilesInTimeStampOrder) {
  const testing::ArchiveLayout& layout = GetParam();
  TempDir temp;
  testing::makeArchiveTree(temp.path(), layout);
  std::vector<std::string> archives, expected;
  for (const std::string& archive : layout.archives) archives.push_back(temp.file(archive));
  for (const std::string& path : layout.scanned) expected.push_back(temp.file(path));
  std::vector<std::string> files = listDayFiles(archives, layout.day);
  if (layout.anyOrder) {
    std::sort(files.begin(), files.end());
    std::sort(expected.begin(), expected.end());
  }
  EXPECT_EQ(files, expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ListDayFilesLayoutTest,
                         ::testing::ValuesIn(testing::archiveLayouts()),
                         [](const auto& info) { return testing::testNameOf(info.param); });

TEST_F(ListDayFilesTest, EqualTailsStayAdjacent) {
  // Three collectors with the same time stamps, listed twice: every file of a time stamp comes
  // before every file of a later one, whatever the directory order.
  for (const char* collector : {"c1", "c2", "c3"}) {
    for (const char* time : {"0000", "0005", "0010"}) {
      addFile(std::string("a/") + collector + "/2024.01/UPDATES/updates.20240101." + time + ".gz");
    }
  }
  std::vector<std::string> files = dayFiles({"a", "a/"}, "20240101");
  ASSERT_EQ(files.size(), 18u);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const char* expectedTime = i < 6 ? "0000" : i < 12 ? "0005" : "0010";
    EXPECT_NE(files[i].find(std::string("20240101.") + expectedTime), std::string::npos)
        << files[i];
  }
}

TEST_F(ListDayFilesTest, FindUpdateDirectoryFollowsLinksAndPassesOverFiles) {
  addFile("elsewhere/2024.01/UPDATES/updates.20240101.0000.gz");
  makeDirectories(path("a"));
  std::filesystem::create_directory_symlink("../elsewhere", path("a/linked"));
  addFile("a/plainfile");
  std::filesystem::create_symlink("nowhere", path("a/dangling"));

  EXPECT_EQ(findUpdateDirectory(path("a/linked"), "20240101"), path("a/linked/2024.01/UPDATES"));
  EXPECT_EQ(findUpdateDirectory(path("a/plainfile"), "20240101"), std::nullopt);
  EXPECT_EQ(findUpdateDirectory(path("a/dangling"), "20240101"), std::nullopt);
  EXPECT_EQ(findUpdateDirectory(path("a/linked"), "20240201"), std::nullopt);
}

}  // namespace
}  // namespace tarvex
