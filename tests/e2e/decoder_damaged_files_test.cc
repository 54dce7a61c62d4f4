// Damaged dumps, real and hand-cut: each ends with one warning naming the file (and a second one
// when it holds records that can hold routes but are not searched), the lines of the records
// before the damage are reported, and the next file on the command line is still scanned.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"
#include "small_dump.h"

namespace tarvex {
namespace {

using namespace tarvex::testing;

const std::string kData = TARVEX_SHARED_DATA;

struct DamagedCase {
  const char* file;
  std::size_t lines;  // report lines (under --or) of the records before the damage
  const char* warning;
  const char* unsearched = nullptr;  // the kinds of the records passed over, if any
};

TEST(DamagedRealDumps, WarnReportWhatCameBeforeAndGoOn) {
  ASSERT_GT(smallDumpReport().size(), 1000u);
  const DamagedCase cases[] = {
      // bzip2 streams cut at 1 MiB (table dumps: nothing to report before the damage).
      {"pyasn/rib.20140523.0600_firstMB.bz2", 0,
       "bzip2 data ends early (the file is cut short) after 15274550 decompressed bytes; the "
       "records before it were searched",
       "9072 records that can hold routes but are not searched: 9072 TABLE_DUMP_V2 (a RIB dump)"},
      {"pyasn/rib6.20151101.0600_firstMB.bz2", 0,
       "bzip2 data ends early (the file is cut short) after 12132997 decompressed bytes; the "
       "records before it were searched",
       "6870 records that can hold routes but are not searched: 6870 TABLE_DUMP_V2 (a RIB dump)"},
      {"pyasn/rib.20080501.0644_firstMB.bz2", 0,
       "bzip2 data ends early (the file is cut short) after 9876188 decompressed bytes; the "
       "records before it were searched",
       "139291 records that can hold routes but are not searched: 139291 TABLE_DUMP (a RIB "
       "dump)"},
      // Broken MRT framing: reading falls out of step and meets an impossible length.
      {"bgpkit/rrc00_2000.03_updates.20000325.0345.gz", 0,
       "a record at byte 15024 claims a length of 3694573824 bytes, which cannot be right; the "
       "records before it were searched",
       "4 records that can hold routes but are not searched: 4 BGP (the old format, MRT type 5)"},
      {"bgpkit/rrc00_2000.01_bview.20000111.0032.gz", 0,
       "a record at byte 794177 claims a length of 51527683 bytes, which cannot be right; the "
       "records before it were searched",
       "1 record that can hold routes but is not searched: 1 TABLE_DUMP (a RIB dump)"},
      // Corrupt short records in the middle: skipped, and everything else reported.
      {"bgpkit/rrc01_2000.11_updates.20001104.0124.gz", 519, "skipped 21 malformed records"},
  };
  for (const DamagedCase& c : cases) {
    const std::string path = kData + "/" + c.file;
    RunResult damaged = runTarvex({"--or", "--update", path});
    RunResult both = runTarvex({"--or", "--update", path, "--update", kSmallDump});
    EXPECT_EQ(damaged.status, 1) << c.file;
    std::string expected = "tarvex: " + path + ": " + c.warning + "\n";
    if (c.unsearched) expected += "tarvex: " + path + ": passed over " + c.unsearched + "\n";
    EXPECT_EQ(damaged.err, expected) << c.file;
    std::size_t lines =
        static_cast<std::size_t>(std::count(damaged.out.begin(), damaged.out.end(), '\n'));
    EXPECT_EQ(lines, c.lines) << c.file;
    EXPECT_EQ(both.out, damaged.out + smallDumpReport()) << c.file;
    EXPECT_EQ(both.err, damaged.err) << c.file;
    EXPECT_EQ(both.status, 1) << c.file;
  }
}

TEST(DamagedRealDumps, CutAnywhereKeepsTheLinesBefore) {
  // A real update dump cut at several points, compressed and plain: the report is a prefix of
  // the whole file's report, ending at a line boundary, and one warning says why it stopped.
  TempDir dir;
  const std::string source = kData + "/ripe-bgpdump/updates.20100722.2015.gz";
  const std::string whole = runTarvex({"--or", "--update", source}).out;
  ASSERT_GT(whole.size(), 100000u);
  const Bytes gz = [&] {
    std::string text = readFile(source);
    return Bytes(text.begin(), text.end());
  }();
  // The same file through standard input.
  RunOptions fromStdin;
  fromStdin.standardInput = readFile(source);
  EXPECT_EQ(runTarvex({"--update", "-", "--or"}, fromStdin).out, whole);
  std::string raw = runProgram("/usr/bin/env", {"gzip", "-dc", source}).out;
  ASSERT_GT(raw.size(), 200000u);

  struct Cut {
    const char* name;
    Bytes bytes;
    const char* warning;
  };
  std::vector<Cut> cuts;
  for (double share : {0.1, 0.5, 0.93}) {
    cuts.push_back({"gzip", Bytes(gz.begin(), gz.begin() + static_cast<long>(gz.size() * share)),
                    "gzip data ends early (the file is cut short) after "});
    cuts.push_back({"plain",
                    Bytes(raw.begin(), raw.begin() + static_cast<long>(raw.size() * share)),
                    "the file ends inside a record"});
  }
  for (const Cut& cut : cuts) {
    const std::string path = dir.file(std::string("cut.") + cut.name);
    writeFile(path, cut.bytes);
    RunResult result = runTarvex({"--or", "--update", path, "--update", kSmallDump});
    ASSERT_GE(result.out.size(), smallDumpReport().size());
    std::string own = result.out.substr(0, result.out.size() - smallDumpReport().size());
    EXPECT_EQ(result.out.substr(own.size()), smallDumpReport());
    EXPECT_EQ(whole.compare(0, own.size(), own), 0) << cut.name;
    EXPECT_TRUE(own.empty() || own.back() == '\n');
    EXPECT_LT(own.size(), whole.size());
    EXPECT_EQ(result.err.rfind("tarvex: " + path + ": " + cut.warning, 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

TEST(DamagedInput, ArbitraryBytesNeverCrash) {
  TempDir dir;
  std::uint32_t state = 2463534242u;
  for (int round = 0; round < 20; ++round) {
    Bytes junk(1000 + round * 997);
    for (std::uint8_t& b : junk) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      b = static_cast<std::uint8_t>(state);
    }
    // Some rounds look like compressed data or like BGP4MP records.
    if (round % 4 == 1) junk[0] = 0x1f, junk[1] = 0x8b, junk[2] = 8, junk[3] = 0;
    if (round % 4 == 2)
      junk = concat({Bytes{'B', 'Z', 'h', '9', 0x31, 0x41, 0x59, 0x26, 0x53, 0x59}, junk});
    if (round % 4 == 3) {
      Bytes header =
          concat({u32be(1), u16be(16), u16be(4), u32be(static_cast<std::uint32_t>(junk.size()))});
      junk = concat({header, junk});
    }
    const std::string path = dir.file("junk");
    writeFile(path, junk);
    RunResult result = runTarvex({"--or", "--update", path, "--update", kSmallDump});
    EXPECT_EQ(result.status, 1) << round;
    EXPECT_TRUE(result.out.size() >= smallDumpReport().size() &&
                result.out.substr(result.out.size() - smallDumpReport().size()) ==
                    smallDumpReport())
        << round;
    EXPECT_LE(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
    EXPECT_EQ(result.err.rfind("tarvex: " + path + ": ", 0), 0u) << result.err;
  }
}

}  // namespace
}  // namespace tarvex
