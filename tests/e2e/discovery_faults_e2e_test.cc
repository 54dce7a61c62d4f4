// Faults of the inputs that name the dumps: lists of a million paths, archive trees of a hundred
// thousand entries and trees with symbolic link loops. Each ends as the scan and the walk say, in
// bounded memory: a list is read as the scan goes, and a day's file list costs what its paths
// take.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "mrt_builder.h"
#include "process_runner.h"
#include "report_checks.h"
#include "small_dump.h"

namespace tarvex::testing {
namespace {

const std::string kBinary = TARVEX_BINARY;

// A dump of one KEEPALIVE: the cheapest file that is searched without a word (an empty one is
// named as empty).
const Bytes kRoutelessDump = mrtRecord(900, 16, 4, bgp4mpBody(Session{}, bgpMessage(4, {})));

// Writes a list of `lines` lines "empty" (a dump without routes in `dir`), with a path of a
// megabyte in the middle, and runs it; the run must scan every line and say only what the long
// line earns.
ChildResult runLongList(const TempDir& dir, std::size_t lines) {
  writeFile(dir.file("empty"), kRoutelessDump);
  const std::string longLine = std::string(1 << 20, 'x');
  std::FILE* list = std::fopen(dir.file("list").c_str(), "w");
  for (std::size_t i = 0; i < lines; ++i) {
    std::fputs(i == lines / 2 ? (longLine + "\n").c_str() : "empty\n", list);
  }
  std::fputs(smallDump().c_str(), list);  // the last line, without a line feed
  std::fclose(list);
  ChildOptions options;
  options.workingDirectory = dir.path();
  ChildResult result = ChildProcess(kBinary, {"--or", "--file", "list"}, options).finish(120);
  EXPECT_TRUE(
      sameReport(result.out, "Error statting file: File name too long\n" + smallDumpReport()))
      << lines;
  EXPECT_EQ(result.err, "Can not open " + longLine + "\n") << lines;
  EXPECT_EQ(result.status, 1) << lines;
  return result;
}

// Under AddressSanitizer every dump opened costs milliseconds (its buffers are poisoned and
// unpoisoned), and memory figures mean nothing: the sanitizer build checks the large runs for
// memory errors at a fiftieth of their size and leaves the memory bound to the plain build.
std::size_t scaledForTheBuild(std::size_t count) {
  return builtWithAddressSanitizer() ? count / 50 : count;
}

TEST(ListFileFaultTest, AMillionPathsInBoundedMemory) {
  TempDir dir;
  ChildResult small = runLongList(dir, 1000);
  ChildResult large = runLongList(dir, scaledForTheBuild(1000000));
  if (builtWithAddressSanitizer()) return;  // memory figures mean nothing there
  // The list is read as it is scanned: a million lines cost no more than a thousand.
  EXPECT_LT(large.maxRssKb, small.maxRssKb + 8 * 1024)
      << "a thousand lines: " << small.maxRssKb << " KiB, a million: " << large.maxRssKb << " KiB";
}

// One collector with `files` update files of the day (none with routes) and one of another day.
ChildResult runWideArchive(const TempDir& dir, int files) {
  const std::string updates = dir.file("archive/c/2024.01/UPDATES");
  std::filesystem::remove_all(dir.file("archive"));
  makeDirectories(updates);
  std::vector<std::string> paths;
  for (int i = 0; i < files; ++i) {
    char name[64];
    // Created in an order unlike the time order, which the walk must restore.
    std::snprintf(name, sizeof name, "/updates.20240101.%06d.gz", (i * 7919) % files);
    paths.push_back(updates + name);
    writeFile(paths.back(), kRoutelessDump);
  }
  writeFile(updates + "/updates.20240102.000000.gz", kRoutelessDump);
  std::sort(paths.begin(), paths.end());
  std::string expected = "Building list of files...\n";
  for (const std::string& path : paths) expected += path + "\n";
  ChildResult result = ChildProcess(kBinary, {"--verbose", "--startdate", "20240101", "--enddate",
                                              "20240101", "--dir", dir.file("archive")})
                           .finish(120);
  EXPECT_TRUE(sameReport(result.err, expected)) << files;
  EXPECT_EQ(result.out, "") << files;
  EXPECT_EQ(result.status, 1) << files;
  return result;
}

TEST(ArchiveTreeFaultTest, AHundredThousandEntriesAreAllScannedInOrder) {
  TempDir dir;
  ChildResult small = runWideArchive(dir, 1000);
  ChildResult large = runWideArchive(dir, static_cast<int>(scaledForTheBuild(100000)));
  if (builtWithAddressSanitizer()) return;  // memory figures mean nothing there
  // The day's list holds its paths and nothing more: well under 500 bytes an entry.
  EXPECT_LT(large.maxRssKb, small.maxRssKb + 48 * 1024)
      << "1000 entries: " << small.maxRssKb << " KiB, 100000: " << large.maxRssKb << " KiB";
}

// Symbolic links that loop, at every level of the tree: an archive directory, collectors, and
// update files. The walk descends a fixed number of levels, so no loop can hold it; a loop where
// a directory is expected is passed over (named at the start of the run when it is a --dir), one
// where a dump is expected is reported by the scan.
TEST(ArchiveTreeFaultTest, SymbolicLinkLoopsEndInTheScansMessages) {
  TempDir dir;
  const std::string archive = dir.file("archive");
  const std::string updates = archive + "/c/2024.01/UPDATES";
  makeDirectories(updates);
  auto link = [](const std::string& target, const std::string& path) {
    std::filesystem::create_symlink(target, path);
  };
  link("self", archive + "/self");    // a collector that is a loop
  link("ring2", archive + "/ring1");  // two that point at each other
  link("ring1", archive + "/ring2");
  link("..", archive + "/up");  // the parent: a collector with neither layout
  const std::string selfLoop = updates + "/updates.20240101.0000.gz";
  const std::string sound = updates + "/updates.20240101.0005.gz";
  const std::string toParent = updates + "/updates.20240101.0010.gz";
  link("updates.20240101.0000.gz", selfLoop);  // a dump that is a loop
  std::filesystem::copy_file(smallDump(), sound);
  link("..", toParent);  // a dump name on a link to a directory
  RunResult run = runTarvex({"--or", "--startdate", "20240101", "--enddate", "20240101", "--dir",
                             archive + "/self", "--dir", archive});
  EXPECT_TRUE(sameReport(
      run.out, "Error statting file: Too many levels of symbolic links\n" + smallDumpReport()));
  EXPECT_EQ(run.err, "tarvex: --dir " + archive +
                         "/self: Too many levels of symbolic links; nothing is searched there\n"
                         "Can not open " +
                         selfLoop + "\nCan not open " + toParent + "\n");
  EXPECT_EQ(run.status, 1);
}

}  // namespace
}  // namespace tarvex::testing
