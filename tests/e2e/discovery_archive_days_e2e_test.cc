// The archive day walk seen from outside: real directory trees, the real binary, and --verbose,
// which names every scanned file on standard error in scan order. Archive paths are relative to
// the tree's root (the run's working directory), so expected paths are fixed texts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "archive_layouts.h"
#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::Compression;
using testing::makeDirectories;
using testing::RunOptions;
using testing::RunResult;
using testing::runTarvex;
using testing::TempDir;

constexpr const char* kDayHeader = "Building list of files...\n";

class ArchiveWalkTest : public ::testing::Test {
 protected:
  // An update file that decodes cleanly and holds no message, so that only discovery shows.
  void addDump(const std::string& relativePath) {
    std::string path = temp_.file(relativePath);
    makeDirectories(std::filesystem::path(path).parent_path());
    testing::writeFile(path, {}, Compression::kGzip);
  }
  void addDirectory(const std::string& relativePath) { makeDirectories(temp_.file(relativePath)); }
  void addSymlink(const std::string& target, const std::string& relativePath) {
    std::filesystem::create_symlink(target, temp_.file(relativePath));
  }

  // One day, 20240101, with --verbose, over the given --dir values.
  RunResult walkDay(const std::vector<std::string>& dirs, bool verbose = true) const {
    return walkDayIn(temp_, "20240101", dirs, verbose);
  }

 public:
  // One day of the tree in `root`, run from there.
  static RunResult walkDayIn(const TempDir& root, const std::string& day,
                             const std::vector<std::string>& dirs, bool verbose = true) {
    std::vector<std::string> arguments = {"--startdate=" + day, "--enddate=" + day};
    if (verbose) arguments.push_back("--verbose");
    for (const std::string& dir : dirs) arguments.push_back("--dir=" + dir);
    RunOptions options;
    options.workingDirectory = root.path();
    return runTarvex(arguments, options);
  }

 protected:
  TempDir temp_;
};

// The standard error of a verbose day that scans `paths`, in this order.
std::string scannedDay(const std::vector<std::string>& paths) {
  std::string text = kDayHeader;
  for (const std::string& path : paths) text += path + "\n";
  return text;
}

std::vector<std::string> sortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The layouts that the unit test of the walk goes through, run through the binary.
class ArchiveWalkLayoutTest : public ::testing::TestWithParam<testing::ArchiveLayout> {};

TEST_P(ArchiveWalkLayoutTest, ScansTheDaysFilesInTimeStampOrder) {
  const testing::ArchiveLayout& layout = GetParam();
  TempDir temp;
  testing::makeArchiveTree(temp.path(), layout);
  RunResult result = ArchiveWalkTest::walkDayIn(temp, layout.day, layout.archives);
  if (layout.anyOrder) {
    EXPECT_EQ(sortedLines(result.err), sortedLines(scannedDay(layout.scanned)));
    EXPECT_TRUE(result.err.starts_with(kDayHeader));
  } else {
    EXPECT_EQ(result.err, scannedDay(layout.scanned));
  }
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ArchiveWalkLayoutTest,
                         ::testing::ValuesIn(testing::archiveLayouts()),
                         [](const auto& info) { return testing::testNameOf(info.param); });

TEST_F(ArchiveWalkTest, TrailingSlashAndRepeatsOfAnArchive) {
  addDump("a/c/2024.01/UPDATES/updates.20240101.0000.gz");
  addDump("a/c/2024.01/UPDATES/updates.20240101.0005.gz");
  const std::string once = scannedDay({"a/c/2024.01/UPDATES/updates.20240101.0000.gz",
                                       "a/c/2024.01/UPDATES/updates.20240101.0005.gz"});
  EXPECT_EQ(walkDay({"a"}).err, once);
  EXPECT_EQ(walkDay({"a/"}).err, once);
  EXPECT_EQ(walkDay({"a", "a/"}).err, scannedDay({"a/c/2024.01/UPDATES/updates.20240101.0000.gz",
                                                  "a/c/2024.01/UPDATES/updates.20240101.0000.gz",
                                                  "a/c/2024.01/UPDATES/updates.20240101.0005.gz",
                                                  "a/c/2024.01/UPDATES/updates.20240101.0005.gz"}));
}

TEST_F(ArchiveWalkTest, HiddenAndUndatedNamesAreNeverListed) {
  addDump("a/c/2024.01/UPDATES/updates.20240101.0000.gz");
  addDump("a/c/2024.01/UPDATES/.updates.20240101.0005.gz");
  addDump("a/c/2024.01/UPDATES/updates.2024-01-01.0010.gz");
  addDump("a/c/2024.01/UPDATES/updates.20240111.0015.gz");
  addDump("a/.hidden/2024.01/UPDATES/updates.20240101.0020.gz");  // a hidden collector counts
  EXPECT_EQ(walkDay({"a"}).err, scannedDay({"a/c/2024.01/UPDATES/updates.20240101.0000.gz",
                                            "a/.hidden/2024.01/UPDATES/updates.20240101.0020.gz"}));
}

TEST_F(ArchiveWalkTest, UpdatesAndMetaAreLookedForInTheWholePath) {
  addDump("a/c/2024.01/UPDATES/updates.20240101.0000.gz");
  addDump("a/c/2024.01/UPDATES/bview.20240101.0005.gz");         // no "updates" at all
  addDump("a/c/2024.01/UPDATES/UPDATES.20240101.0010.gz");       // upper case only
  addDump("a/c/2024.01/UPDATES/updates.meta.20240101.0015.gz");  // both: skipped
  addDump("a/updates-feed/2024.01/UPDATES/rib.20240101.0020.gz");
  addDump("metadata/c/2024.01/UPDATES/updates.20240101.0025.gz");
  addDump("updates/c/2024.01/UPDATES/bview.20240101.0030.gz");
  // An archive whose own path decides for everything below it is named once, at the start.
  EXPECT_EQ(walkDay({"a", "metadata", "updates"}).err,
            "tarvex: --dir metadata: its path holds \"meta\", so no file below it is searched\n"
            "tarvex: --dir updates: its path holds \"updates\", so every file of a day below it "
            "is searched, whatever its name (RIB dumps too)\n" +
                scannedDay({"a/c/2024.01/UPDATES/updates.20240101.0000.gz",
                            "a/updates-feed/2024.01/UPDATES/rib.20240101.0020.gz",
                            "updates/c/2024.01/UPDATES/bview.20240101.0030.gz"}));
}

TEST_F(ArchiveWalkTest, LinksAreFollowedAndBrokenOnesPassedOver) {
  addDump("store/rrc00/2024.01/UPDATES/updates.20240101.0000.gz");
  addDirectory("a");
  addSymlink("../store/rrc00", "a/linked");
  addSymlink("missing", "a/dangling");
  addSymlink("loop2", "a/loop1");
  addSymlink("loop1", "a/loop2");
  addSymlink(".", "a/self");  // a/self/self/... resolves, but nothing recurses into it
  testing::writeText(temp_.file("a/file"), "");
  EXPECT_EQ(walkDay({"a"}).err, scannedDay({"a/linked/2024.01/UPDATES/updates.20240101.0000.gz"}));
}

// Each --dir that is no directory is named once, at the start of the run, before the day's walk.
TEST_F(ArchiveWalkTest, ArchivesThatCannotBeListedAreNamedAndAddNothing) {
  addDump("a/c/2024.01/UPDATES/updates.20240101.0000.gz");
  testing::writeText(temp_.file("plainfile"), "");
  RunResult result = walkDay({"missing", "plainfile", "a", "a/c/2024.01/UPDATES/x"});
  EXPECT_EQ(result.err,
            "tarvex: --dir missing: No such file or directory; nothing is searched there\n"
            "tarvex: --dir plainfile: not a directory; nothing is searched there\n"
            "tarvex: --dir a/c/2024.01/UPDATES/x: No such file or directory; nothing is searched "
            "there\n" +
                scannedDay({"a/c/2024.01/UPDATES/updates.20240101.0000.gz"}));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 1);
}

// Root reads directories without read permission anyway, so the run is made as the
// unprivileged user "nobody" (uid 65534) through setpriv, and the test skips where that is not
// possible.
TEST_F(ArchiveWalkTest, UnreadableDirectoriesAddNothingAndSayNothing) {
  // mkdtemp makes the directory private to its owner; the unprivileged run must enter it.
  chmod(temp_.path().c_str(), 0755);
  addDump("open/c/2024.01/UPDATES/updates.20240101.0010.gz");
  addDump("locked-archive/c/2024.01/UPDATES/updates.20240101.0000.gz");
  addDump("partly/locked-updates/2024.01/UPDATES/updates.20240101.0005.gz");
  addDump("partly/fine/2024.01/UPDATES/updates.20240101.0015.gz");
  for (const char* locked : {"locked-archive", "partly/locked-updates/2024.01/UPDATES"}) {
    std::filesystem::permissions(temp_.file(locked), std::filesystem::perms::none);
  }
  RunOptions options;
  options.workingDirectory = temp_.path();
  std::optional<RunResult> result = testing::runTarvexWithoutPrivileges(
      {"--verbose", "--startdate=20240101", "--enddate=20240101", "--dir=locked-archive",
       "--dir=partly", "--dir=open"},
      options);
  if (!result) GTEST_SKIP() << "no way to run without privileges";
  EXPECT_EQ(result->err, scannedDay({"open/c/2024.01/UPDATES/updates.20240101.0010.gz",
                                     "partly/fine/2024.01/UPDATES/updates.20240101.0015.gz"}));
  EXPECT_EQ(result->out, "");
  EXPECT_EQ(result->status, 1);
}

TEST_F(ArchiveWalkTest, AnEmptyDirValueListsTheRootAndTheWalkGoesOn) {
  addDump("a/c/2024.01/UPDATES/updates.20240101.0000.gz");
  RunResult result = walkDay({"", "a"});
  EXPECT_EQ(result.err, scannedDay({"a/c/2024.01/UPDATES/updates.20240101.0000.gz"}));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 1);
}

TEST_F(ArchiveWalkTest, AListedFileThatCannotBeOpenedIsReportedAndTheDayGoesOn) {
  addDump("a/c/2024.01/UPDATES/updates.20240101.0000.gz");
  addDump("a/c/2024.01/UPDATES/updates.20240101.0010.gz");
  addSymlink("gone", "a/c/2024.01/UPDATES/updates.20240101.0005.gz");
  RunResult result = walkDay({"a"});
  EXPECT_EQ(result.err, std::string(kDayHeader) +
                            "a/c/2024.01/UPDATES/updates.20240101.0000.gz\n"
                            "a/c/2024.01/UPDATES/updates.20240101.0005.gz\n"
                            "Can not open a/c/2024.01/UPDATES/updates.20240101.0005.gz\n"
                            "a/c/2024.01/UPDATES/updates.20240101.0010.gz\n");
  EXPECT_EQ(result.out, "Error statting file: No such file or directory\n");
}

TEST_F(ArchiveWalkTest, WithoutVerboseTheWalkWritesNothing) {
  addDump("a/c/2024.01/UPDATES/updates.20240101.0000.gz");
  RunResult result = walkDay({"a"}, /*verbose=*/false);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 1);
}

}  // namespace
}  // namespace tarvex
