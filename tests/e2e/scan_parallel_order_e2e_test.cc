// Runs that scan many files scan them on every core; what they write must be exactly what a
// one-file-at-a-time run writes. A one-file --update run never scans in parallel, so the
// concatenation of such runs, file by file, is the yardstick.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus.h"
#include "mrt_builder.h"
#include "process_runner.h"
#include "update_dump.h"

namespace tarvex {
namespace {

using namespace tarvex::testing;

// Real dumps of every kind, damaged ones and paths that cannot be opened among them.
std::vector<std::string> realPaths() {
  const std::string data = corpusDirectory();
  return {
      data + "/caida/ris.rrc06.updates.1427846400.gz",
      data + "/no-such-file.gz",
      data + "/bgpkit/rrc00_2000.03_updates.20000325.0345.gz",
      data + "/caida/routeviews.route-views.jinx.updates.1427846400.bz2",
      data + "/mrtparse",
      data + "/bgpkit/rrc01_2000.11_updates.20001104.0124.gz",
      data + "/ripe-bgpdump/updates.20100722.2015.gz",
      data + "/mrtparse/bird_bgp",
      data + "/caida/ris.rrc06.updates.1427846400.gz",
      data + "/bgpkit/examples_local_only_updates.bz2",
      data + "/pyasn/bview.20140112.1600_3samples.bz2",
      data + "/zettabgp/20241005_1800_1728151200_bgp_lw_ixp_decix_update",
  };
}

class ParallelOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Criteria that match a fair share of the routes, so every file has something to say.
    writeText(dir_.file("cidr"), "193.0.0.0/8\n80.0.0.0/4\n");
    writeText(dir_.file("asn"), "3356\n6939\n13335\n15169\n");
    criteria_ = {"--verbose",       "--or",      "--cidrfile",
                 dir_.file("cidr"), "--asnfile", dir_.file("asn")};
  }

  // Made dumps of every kind, damaged ones and paths that cannot be opened among them.
  std::vector<std::string> madePaths() const {
    makeDirectories(dir_.file("made/a-directory"));
    const Bytes first = updateDump({.records = 800, .seed = 21});
    const Bytes second = updateDump({.records = 2000, .seed = 22});
    const Bytes third = updateDump({.records = 500, .seed = 23});
    Bytes cut = gzipCompress(second);
    cut.resize(cut.size() * 2 / 3);
    // A record too short to carry a message (skipped as malformed), a RIB record (passed over)
    // and zeros between records.
    const Bytes odd = concat(
        {third, mrtRecord(1000, 16, 4, {0, 0}), mrtRecord(1000, 13, 2, {7}), Bytes(64, 0), first});
    writeFile(dir_.file("made/first.gz"), first, Compression::kGzip);
    writeFile(dir_.file("made/second.bz2"), second, Compression::kBzip2);
    writeFile(dir_.file("made/cut.gz"), cut);
    writeFile(dir_.file("made/third.gz"), third, Compression::kGzip);
    writeFile(dir_.file("made/odd"), odd);
    writeFile(dir_.file("made/empty"), {});
    writeFile(dir_.file("made/odd.bz2"), odd, Compression::kBzip2);
    return {
        dir_.file("made/first.gz"),   dir_.file("made/no-such-file.gz"), dir_.file("made/cut.gz"),
        dir_.file("made/second.bz2"), dir_.file("made/a-directory"),     dir_.file("made/odd"),
        dir_.file("made/third.gz"),   dir_.file("made/first.gz"),        dir_.file("made/empty"),
        dir_.file("made/odd.bz2"),
    };
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

  // Runs of `paths` in --update and --file modes write what one-file runs write.
  void expectWhatOneFileRunsWrite(const std::vector<std::string>& paths) {
    const std::string expected = oneFileAtATime(paths);
    ASSERT_GT(expected.size(), 100000u);

    std::vector<std::string> updateRun = criteria_;
    for (const std::string& path : paths) updateRun.insert(updateRun.end(), {"--update", path});
    RunResult updates = runTarvex(updateRun, {.mergeStreams = true});
    EXPECT_EQ(updates.status, 1);
    EXPECT_TRUE(updates.out == expected) << "--update run differs";

    std::string list;
    for (const std::string& path : paths) list += path + "\n";
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
    for (const std::string& path : paths) {
      std::vector<std::string> arguments = criteria_;
      arguments.insert(arguments.end(), {"--update", path, "--outfile", dir_.file("one")});
      runTarvex(arguments);
      expectedReport += readFile(dir_.file("one"));
    }
    EXPECT_TRUE(readFile(dir_.file("out")) == expectedReport) << "report file differs";
  }

  TempDir dir_;
  std::vector<std::string> criteria_;
};

TEST_F(ParallelOrderTest, UpdateAndListModesWriteWhatOneFileRunsWrite) {
  expectWhatOneFileRunsWrite(madePaths());
}

TEST_F(ParallelOrderTest, UpdateAndListModesWriteWhatOneFileRunsWriteForRealDumps) {
  TARVEX_SKIP_WITHOUT_CORPUS(
      "real dumps of every kind (old formats, RIB dumps, damage as "
      "collectors left it) give the mix of messages a run interleaves");
  expectWhatOneFileRunsWrite(realPaths());
}

// Date mode interleaves its own messages ("Building list of files...", the date errors) with
// the scans of each day.
TEST_F(ParallelOrderTest, DateModeKeepsItsMessagesBetweenTheDays) {
  std::vector<std::string> dayFiles;
  const char* days[] = {"20240101", "20240102", "20240103"};
  // Each file holds one of three dumps, copied as they are (compressed).
  const std::vector<std::string> made = madePaths();
  const std::string sources[] = {made[0], made[6], made[3]};
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
