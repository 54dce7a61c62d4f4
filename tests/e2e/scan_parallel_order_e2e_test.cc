// Runs that scan many files scan them on every core; what they write must be exactly what a
// one-file-at-a-time run writes. A one-file --update run never scans in parallel, so the
// concatenation of such runs, file by file, is the yardstick.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using namespace tarvex::testing;

const std::string kData = TARVEX_SHARED_DATA;

// Real dumps of every kind, damaged ones and paths that cannot be opened among them.
const std::vector<std::string> kPaths = {
    kData + "/caida/ris.rrc06.updates.1427846400.gz",
    kData + "/no-such-file.gz",
    kData + "/bgpkit/rrc00_2000.03_updates.20000325.0345.gz",
    kData + "/caida/routeviews.route-views.jinx.updates.1427846400.bz2",
    kData + "/mrtparse",
    kData + "/bgpkit/rrc01_2000.11_updates.20001104.0124.gz",
    kData + "/ripe-bgpdump/updates.20100722.2015.gz",
    kData + "/mrtparse/bird_bgp",
    kData + "/caida/ris.rrc06.updates.1427846400.gz",
    kData + "/bgpkit/examples_local_only_updates.bz2",
    kData + "/pyasn/bview.20140112.1600_3samples.bz2",
    kData + "/zettabgp/20241005_1800_1728151200_bgp_lw_ixp_decix_update",
};

class ParallelOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Criteria that match a fair share of the routes, so every file has something to say.
    writeText(dir_.file("cidr"), "193.0.0.0/8\n80.0.0.0/4\n");
    writeText(dir_.file("asn"), "3356\n6939\n13335\n15169\n");
    criteria_ = {"--verbose",       "--or",      "--cidrfile",
                 dir_.file("cidr"), "--asnfile", dir_.file("asn")};
  }

  // What one-file runs write, in order, with both streams in one pipe.
  std::string oneFileAtATime(const std::vector<std::string>& paths) const {
    std::string merged;
    for (const std::string& path : paths) {
      std::vector<std::string> arguments = criteria_;
      arguments.insert(arguments.end(), {"--update", path});
      merged += runTarvex(arguments, {.mergeStreams = true}).out;
    }
    return merged;
  }

  TempDir dir_;
  std::vector<std::string> criteria_;
};

TEST_F(ParallelOrderTest, UpdateAndListModesWriteWhatOneFileRunsWrite) {
  const std::string expected = oneFileAtATime(kPaths);
  ASSERT_GT(expected.size(), 100000u);

  std::vector<std::string> updateRun = criteria_;
  for (const std::string& path : kPaths) updateRun.insert(updateRun.end(), {"--update", path});
  RunResult updates = runTarvex(updateRun, {.mergeStreams = true});
  EXPECT_EQ(updates.status, 1);
  EXPECT_TRUE(updates.out == expected) << "--update run differs";

  std::string list;
  for (const std::string& path : kPaths) list += path + "\n";
  writeText(dir_.file("list"), list);
  std::vector<std::string> listRun = criteria_;
  listRun.insert(listRun.end(), {"--file", dir_.file("list")});
  RunResult listed = runTarvex(listRun, {.mergeStreams = true});
  EXPECT_EQ(listed.status, 1);
  EXPECT_TRUE(listed.out == expected) << "--file run differs";

  // The same with the report in a file: it holds exactly the report lines.
  listRun.insert(listRun.end(), {"--outfile", dir_.file("out")});
  RunResult toFile = runTarvex(listRun);
  std::string expectedReport;
  for (const std::string& path : kPaths) {
    std::vector<std::string> arguments = criteria_;
    arguments.insert(arguments.end(), {"--update", path, "--outfile", dir_.file("one")});
    runTarvex(arguments);
    expectedReport += readFile(dir_.file("one"));
  }
  EXPECT_TRUE(readFile(dir_.file("out")) == expectedReport) << "report file differs";
}

// Date mode interleaves its own messages ("Building list of files...", the date errors) with
// the scans of each day.
TEST_F(ParallelOrderTest, DateModeKeepsItsMessagesBetweenTheDays) {
  std::vector<std::string> dayFiles;
  const char* days[] = {"20240101", "20240102", "20240103"};
  // Each file holds one of three real dumps, copied as they are (compressed).
  const std::string sources[] = {kPaths[0], kPaths[6], kPaths[3]};
  std::size_t n = 0;
  for (const char* day : days) {
    std::string updates = dir_.file(std::string("archive/rrc00/") + std::string(day, 4) + "." +
                                    std::string(day + 4, 2) + "/UPDATES");
    makeDirectories(updates);
    for (const char* hour : {"0000", "0015"}) {
      std::string path = updates + "/updates." + day + "." + hour + ".gz";
      writeText(path, readFile(sources[n++ % 3]));
      dayFiles.push_back(path);
    }
  }
  std::string expected;
  for (std::size_t day = 0; day < 3; ++day) {
    expected += "Building list of files...\n";
    expected += oneFileAtATime({dayFiles[2 * day], dayFiles[2 * day + 1]});
  }
  std::vector<std::string> arguments = criteria_;
  arguments.insert(arguments.end(), {"--startdate", "20240101", "--enddate", "20240103", "--dir",
                                     dir_.file("archive")});
  RunResult run = runTarvex(arguments, {.mergeStreams = true});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out == expected) << "date run differs";
}

}  // namespace
}  // namespace tarvex
