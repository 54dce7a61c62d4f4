// Damaged dumps, real and made: every dump of the real-dump corpus, the real dumps damaged where
// they were made, the real bzip2 dumps with bits flipped (these skip without the corpus), and
// made dumps cut short, with bytes flipped and with lengths inflated, gzip checksums that fail,
// and arbitrary bytes. Each file ends cleanly: status 1, only well-formed report lines, warnings
// that name the file and nothing else on standard error; every record wholly before the damage is
// reported, no line comes from a damaged bzip2 block, a warning about gzip damage found after its
// bytes were searched says so, and a damage that the data's own checks cannot see (a gzip member
// whose checksum still holds) changes nothing.
//
// The large groups run one tarvex over a list of all their files with --verbose and both streams
// in one pipe, and split the output by file at the lines that name them.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "corpus.h"
#include "mrt_builder.h"
#include "process_runner.h"
#include "report_checks.h"
#include "report_fields.h"
#include "small_dump.h"
#include "update_dump.h"

namespace tarvex::testing {
namespace {

// What one file of a run gave.
struct FileOutcome {
  std::string report;                 // its report lines
  std::vector<std::string> warnings;  // its "tarvex: " lines, line feed included
  std::string other;                  // anything else
};

bool isReportLine(const std::string& line) {
  // TIME|W|PEER|ASn|LOCAL|ASn|PREFIX or TIME|A|PEER|ASn|LOCAL|ASn|PREFIX|PATH, then a line feed.
  if (!line.ends_with('\n')) return false;
  const std::vector<std::string_view> fields = reportFields(line);
  if (fields.size() < 7 || fields[0].empty()) return false;
  if (fields[0].find_first_not_of("0123456789") != std::string::npos) return false;
  if (!fields[3].starts_with("AS") || !fields[5].starts_with("AS")) return false;
  if (fields[6].find('/') == std::string::npos) return false;
  return (fields[1] == "W" && fields.size() == 7) || (fields[1] == "A" && fields.size() == 8);
}

// Scans `paths` in one run (--file) and returns what each file gave, in order. Fails the test
// when the output cannot be split, or when the run did not end with status 1.
std::vector<FileOutcome> scanEach(const TempDir& dir, const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& path : paths) list += path + "\n";
  writeText(dir.file("list"), list);
  RunResult run =
      runTarvex({"--or", "--verbose", "--file", dir.file("list")}, {.mergeStreams = true});
  EXPECT_EQ(run.status, 1);
  std::vector<FileOutcome> outcomes(paths.size());
  std::size_t at = 0;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string named = paths[i] + "\n";
    if (run.out.compare(at, named.size(), named) != 0) {
      ADD_FAILURE() << "the run's output does not name " << paths[i] << " where expected";
      return outcomes;
    }
    at += named.size();
    std::size_t end = run.out.size();
    if (i + 1 < paths.size()) {
      end = run.out.find("\n" + paths[i + 1] + "\n", at - 1);
      if (end == std::string::npos) {
        ADD_FAILURE() << "the run's output does not name " << paths[i + 1];
        return outcomes;
      }
      ++end;
    }
    for (std::size_t line = at; line < end;) {
      std::size_t next = run.out.find('\n', line);
      next = next == std::string::npos || next >= end ? end : next + 1;
      std::string text = run.out.substr(line, next - line);
      if (text.rfind("tarvex: ", 0) == 0) {
        outcomes[i].warnings.push_back(text);
      } else if (isReportLine(text)) {
        outcomes[i].report += text;
      } else {
        outcomes[i].other += text;
      }
      line = next;
    }
    at = end;
  }
  return outcomes;
}

// What every damaged file must give, whatever the damage: nothing but report lines and at most
// four warnings (what stopped it, how many records were skipped, where it holds only zeros, and
// how many records that can hold routes were not searched), each naming the file.
void expectCleanEnd(const FileOutcome& outcome, const std::string& path) {
  EXPECT_EQ(outcome.other, "") << path;
  EXPECT_LE(outcome.warnings.size(), 4u) << path;
  for (const std::string& warning : outcome.warnings) {
    EXPECT_EQ(warning.rfind("tarvex: " + path + ": ", 0), 0u) << warning;
  }
}

// The MRT records of a plain dump, as far as their framing holds.
struct RecordSpan {
  std::size_t start;
  std::size_t end;
  std::uint16_t type;
  std::uint16_t subtype;
};

std::vector<RecordSpan> recordsOf(const std::string& raw) {
  auto u16 = [&](std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(raw[at]) << 8 |
                                      static_cast<std::uint8_t>(raw[at + 1]));
  };
  std::vector<RecordSpan> records;
  for (std::size_t at = 0; at + 12 <= raw.size();) {
    std::size_t length = static_cast<std::size_t>(u16(at + 8)) << 16 | u16(at + 10);
    if (at + 12 + length > raw.size()) break;
    records.push_back({at, at + 12 + length, u16(at + 4), u16(at + 6)});
    at += 12 + length;
  }
  return records;
}

// The start of the record that holds byte `offset` (the end of the last record for an offset
// past them all).
std::size_t recordStartAt(const std::vector<RecordSpan>& records, std::size_t offset) {
  for (const RecordSpan& record : records) {
    if (offset < record.end) return record.start;
  }
  return records.empty() ? 0 : records.back().end;
}

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// An update dump to damage: the gzip file as stored, its MRT records, and its report.
struct DumpToDamage {
  std::string gzip;
  std::string raw;  // decompressed
  std::vector<RecordSpan> records;
  std::string whole;  // the report of the intact file under --or
};

DumpToDamage dumpToDamage(const std::string& path) {
  DumpToDamage dump;
  dump.gzip = readFile(path);
  dump.raw = runProgram("/usr/bin/env", {"gzip", "-dc", path}).out;
  dump.records = recordsOf(dump.raw);
  dump.whole = runTarvex({"--or", "--update", path}).out;
  return dump;
}

TEST(DamagedDumpTest, EveryRealDumpEndsCleanly) {
  TARVEX_SKIP_WITHOUT_CORPUS(
      "its point is the variety of real files: every collector's and "
      "decoder's quirks, and the damage they came with");
  std::vector<std::string> paths;
  for (const char* group :
       {"bgp-rs", "bgpkit", "caida", "dnas", "mrtparse", "pyasn", "ripe-bgpdump", "zettabgp"}) {
    const std::string directory = corpusFile(group);
    DIR* handle = opendir(directory.c_str());
    ASSERT_NE(handle, nullptr) << directory;
    while (const dirent* entry = readdir(handle)) {
      if (entry->d_name[0] == '.') continue;
      const std::string path = directory + "/" + entry->d_name;
      struct stat status;
      // Under the sanitizers the biggest dumps take minutes; the small ones show as much.
#if defined(__SANITIZE_ADDRESS__)
      if (stat(path.c_str(), &status) == 0 && status.st_size > (1 << 20)) continue;
#else
      (void)status;
#endif
      paths.push_back(path);
    }
    closedir(handle);
  }
  std::sort(paths.begin(), paths.end());
  ASSERT_GE(paths.size(), 20u);
  TempDir dir;
  const std::vector<FileOutcome> outcomes = scanEach(dir, paths);
  for (std::size_t i = 0; i < paths.size(); ++i) expectCleanEnd(outcomes[i], paths[i]);
}

// Real dumps damaged where they were made, each with what it must give: one warning naming the
// file (and a second one when it holds records that can hold routes but are not searched), the
// lines of the records before the damage, and the next file on the command line still scanned.
struct DamagedCase {
  const char* file;
  std::size_t lines;  // report lines (under --or) of the records before the damage
  const char* warning;
  const char* unsearched = nullptr;  // the kinds of the records passed over, if any
};

TEST(DamagedRealDumps, WarnReportWhatCameBeforeAndGoOn) {
  TARVEX_SKIP_WITHOUT_CORPUS(
      "it checks the warnings of dumps that were damaged where they were "
      "made, byte offsets and counts of those very files");
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
    const std::string path = corpusFile(c.file);
    RunResult damaged = runTarvex({"--or", "--update", path});
    RunResult both = runTarvex({"--or", "--update", path, "--update", smallDump()});
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

// The small dump cut at every KiB of its plain, gzip and bzip2 forms, and a larger one cut at a
// few points of its plain and gzip forms. A plain cut is scanned next to a plain dump of the
// whole records before it; the small dump comes last, to show that the run went on.
// gzip checks a member's CRC and length only at its end, after its records were searched: the
// warning then says that the lines already reported may come from the damaged data. Damage found
// before a member's first byte (a second member with a bad header) keeps the old words. The lines
// are those of the intact data, which only the checksum fields spoilt.
TEST(DamagedDumpTest, GzipDamageFoundAtAMembersEndDoesNotVouchForItsLines) {
  const DumpToDamage small = dumpToDamage(smallDump());
  ASSERT_GT(small.whole.size(), 1000u);
  const std::string after = " after " + std::to_string(small.raw.size()) + " decompressed bytes";
  const std::string unvouched =
      "; the records before it were searched, but lines already reported from this file may come "
      "from the damaged data";
  auto spoilt = [&](std::size_t fromEnd) {
    std::string bytes = small.gzip;
    bytes[bytes.size() - fromEnd] = static_cast<char>(bytes[bytes.size() - fromEnd] ^ 0x20);
    return bytes;
  };
  std::string badMethod = small.gzip;
  badMethod[2] = 7;
  struct Case {
    const char* name;
    std::string file;
    std::string warning;
  };
  const Case cases[] = {
      {"crc", spoilt(8), "gzip data is damaged (checksum mismatch)" + after + unvouched},
      {"length", spoilt(2), "gzip data is damaged (checksum mismatch)" + after + unvouched},
      {"second-member-header", small.gzip + badMethod,
       "gzip data is damaged (unsupported compression method)" + after +
           "; the records before it were searched"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.file(std::string(c.name) + ".gz");
    writeFile(path, bytesOf(c.file));
    RunResult run = runTarvex({"--or", "--update", path, "--update", smallDump()});
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_TRUE(sameReport(run.out, small.whole + small.whole)) << c.name;
    EXPECT_EQ(run.err, "tarvex: " + path + ": " + c.warning + "\n") << c.name;
  }
}

TEST(DamagedDumpTest, ACutAnywhereKeepsEveryWholeRecordBeforeIt) {
  const DumpToDamage small = dumpToDamage(smallDump());
  ASSERT_EQ(small.records.back().end, small.raw.size());
  TempDir made;
  writeFile(made.file("large.gz"), updateDump({.records = 3000, .seed = 7}), Compression::kGzip);
  const DumpToDamage large = dumpToDamage(made.file("large.gz"));
  ASSERT_GT(large.whole.size(), 100000u);
  ASSERT_GT(large.raw.size(), 200000u);
  // The larger one through standard input reads as the file does.
  RunOptions fromStdin;
  fromStdin.standardInput = large.gzip;
  EXPECT_EQ(runTarvex({"--update", "-", "--or"}, fromStdin).out, large.whole);

  TempDir dir;
  struct Cut {
    std::string path;
    const DumpToDamage* source;
    std::string reference;  // a plain dump of the whole records before the cut; empty for none
    const char* warning;    // how the warning begins
  };
  std::vector<Cut> cuts;
  auto cutPlain = [&](const DumpToDamage& source, const std::string& name, std::size_t at) {
    Cut cut{dir.file("raw." + name), &source, dir.file("whole." + name),
            "the file ends inside a record"};
    const std::size_t recordStart = recordStartAt(source.records, at);
    writeFile(cut.path, bytesOf(source.raw.substr(0, at)));
    writeFile(cut.reference, bytesOf(source.raw.substr(0, recordStart)));
    if (recordStart == at) cut.warning = nullptr;  // a clean cut looks whole
    cuts.push_back(cut);
  };
  auto cutGzip = [&](const DumpToDamage& source, const std::string& name, std::size_t at) {
    cuts.push_back({dir.file("gz." + name), &source, "",
                    "gzip data ends early (the file is cut short) after "});
    writeFile(cuts.back().path, bytesOf(source.gzip.substr(0, at)));
  };
  for (std::size_t at = 1024; at < small.raw.size(); at += 1024) {
    cutPlain(small, std::to_string(at), at);
  }
  for (std::size_t at = 1024; at < small.gzip.size(); at += 1024) {
    cutGzip(small, std::to_string(at), at);
  }
  const Bytes bzip2 = bzip2Compress(bytesOf(small.raw));
  for (std::size_t at = 1024; at < bzip2.size(); at += 1024) {
    cuts.push_back({dir.file("bz2." + std::to_string(at)), &small, "",
                    "bzip2 data ends early (the file is cut short) after "});
    writeFile(cuts.back().path, Bytes(bzip2.begin(), bzip2.begin() + static_cast<long>(at)));
  }
  for (double share : {0.1, 0.5, 0.93}) {
    const std::string name = "large." + std::to_string(share);
    cutPlain(large, name, static_cast<std::size_t>(static_cast<double>(large.raw.size()) * share));
    cutGzip(large, name, static_cast<std::size_t>(static_cast<double>(large.gzip.size()) * share));
  }
  std::vector<std::string> paths;
  for (const Cut& cut : cuts) {
    paths.push_back(cut.path);
    if (!cut.reference.empty()) paths.push_back(cut.reference);
  }
  paths.push_back(smallDump());
  const std::vector<FileOutcome> outcomes = scanEach(dir, paths);
  std::size_t next = 0;
  for (const Cut& cut : cuts) {
    const FileOutcome& outcome = outcomes[next++];
    expectCleanEnd(outcome, cut.path);
    EXPECT_TRUE(wholeLinesOf(outcome.report, cut.source->whole)) << cut.path;
    if (!cut.reference.empty()) {
      const FileOutcome& reference = outcomes[next++];
      EXPECT_TRUE(reference.warnings.empty()) << cut.reference;
      EXPECT_TRUE(sameReport(outcome.report, reference.report)) << cut.path;
    }
    if (cut.warning == nullptr) {
      EXPECT_TRUE(outcome.warnings.empty()) << cut.path;
    } else {
      ASSERT_EQ(outcome.warnings.size(), 1u) << cut.path;
      EXPECT_EQ(outcome.warnings[0].rfind("tarvex: " + cut.path + ": " + cut.warning, 0), 0u)
          << outcome.warnings[0];
      if (cut.source == &large) {
        EXPECT_LT(outcome.report.size(), large.whole.size()) << cut.path;
      }
    }
  }
  EXPECT_TRUE(sameReport(outcomes[next].report, small.whole));
  EXPECT_TRUE(outcomes[next].warnings.empty());
}

TEST(DamagedDumpTest, FlippedBytesKeepTheRecordsBeforeThem) {
  const DumpToDamage small = dumpToDamage(smallDump());
  const std::string& raw = small.raw;
  const std::vector<RecordSpan>& records = small.records;
  const std::string& gzip = small.gzip;
  const std::string& whole = small.whole;
  TempDir dir;
  std::vector<std::string> paths;
  std::vector<std::size_t> rawFlips;
  for (std::size_t at = 0; at < raw.size(); at += 997) {
    std::string flipped = raw;
    flipped[at] = static_cast<char>(flipped[at] ^ 0xff);
    paths.push_back(dir.file("raw." + std::to_string(at)));
    writeFile(paths.back(), bytesOf(flipped));
    paths.push_back(dir.file("before." + std::to_string(at)));
    writeFile(paths.back(), bytesOf(raw.substr(0, recordStartAt(records, at))));
    rawFlips.push_back(at);
  }
  const std::size_t gzipStart = paths.size();
  for (std::size_t at = 0; at < gzip.size(); at += 97) {
    std::string flipped = gzip;
    flipped[at] = static_cast<char>(flipped[at] ^ 0xff);
    paths.push_back(dir.file("gz." + std::to_string(at)));
    writeFile(paths.back(), bytesOf(flipped));
  }
  const std::vector<FileOutcome> outcomes = scanEach(dir, paths);
  for (std::size_t i = 0; i < gzipStart; i += 2) {
    expectCleanEnd(outcomes[i], paths[i]);
    const std::string& before = outcomes[i + 1].report;
    EXPECT_EQ(outcomes[i].report.compare(0, before.size(), before), 0)
        << paths[i] << ": the records before the flipped byte are not all reported";
  }
  int unseen = 0;
  for (std::size_t i = gzipStart; i < paths.size(); ++i) {
    expectCleanEnd(outcomes[i], paths[i]);
    EXPECT_TRUE(wholeLinesOf(outcomes[i].report, whole) || !outcomes[i].warnings.empty())
        << paths[i] << ": a report that differs from the file's must come with a warning";
    // A flip that no check of gzip sees (the time stamp or the system byte of the header)
    // leaves the data as it was.
    if (outcomes[i].warnings.empty()) {
      ++unseen;
      EXPECT_TRUE(sameReport(outcomes[i].report, whole)) << paths[i];
    }
  }
  EXPECT_LE(unseen, 2);
}

// The number in "... after N decompressed bytes" of a warning, or -1 when it has none.
long long decompressedBytesIn(const std::string& warning) {
  const std::string tail = " decompressed bytes";
  const std::size_t end = warning.find(tail);
  if (end == std::string::npos) return -1;
  const std::size_t start = warning.rfind(' ', end - 1);
  return start == std::string::npos ? -1 : std::stoll(warning.substr(start + 1, end - start - 1));
}

// Bits flipped at random (one seed, the same copies every run) in the real bzip2 update dumps,
// some five hundred copies scanned in one run, and the flip that once let a damaged block through:
// libbz2 hands out a block's bytes before it checks the block's CRC, and every block that fails
// its check must give nothing. So a copy reports a beginning of the sound dump's report, in whole
// lines, and says why when it reports less; a warning that counts decompressed bytes counts no
// more than the dump holds.
TEST(DamagedDumpTest, FlippedBitsInRealBzip2DumpsReportOnlyLinesOfTheSoundDump) {
  TARVEX_SKIP_WITHOUT_CORPUS(
      "its flips are chosen in bzip2 files of other compressors, one of "
      "them the flip that once let a damaged block through");
  struct RealDump {
    const char* file;
    int copies;
    bool large;  // a few MB decompressed: left out under the sanitizers, which take minutes there
  };
  const RealDump dumps[] = {
      {"caida/routeviews.route-views.jinx.updates.1427846400.bz2", 300, false},
      {"caida/routeviews.route-views.jinx.updates.1401493500.bz2", 100, false},
      {"bgpkit/examples_local_only_updates.bz2", 50, false},
      {"dnas/sydney.updates.20220601.0230.bz2", 24, true},
      {"dnas/sydney.updates.20220601.0415.bz2", 16, true},
      {"caida/updates.example.bz2", 24, true},
  };
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  constexpr bool kSanitized = true;
#else
  constexpr bool kSanitized = false;
#endif
  struct Copy {
    std::string path;
    std::size_t dump;
  };
  std::vector<Copy> copies;
  std::vector<std::string> reports;  // of the sound dumps, under --or
  std::vector<std::size_t> sizes;    // decompressed
  std::mt19937_64 random(20150401);
  TempDir dir;
  for (std::size_t d = 0; d < std::size(dumps); ++d) {
    const std::string path = corpusFile(dumps[d].file);
    if (access(path.c_str(), R_OK) != 0) GTEST_SKIP() << path << " is not here";
    const std::string sound = readFile(path);
    reports.push_back(runTarvex({"--or", "--update", path}).out);
    sizes.push_back(runProgram("/usr/bin/env", {"bzip2", "-dc", path}).out.size());
    ASSERT_GT(sizes.back(), 0u) << path;
    if (kSanitized && dumps[d].large) continue;
    const int count = kSanitized ? dumps[d].copies / 4 : dumps[d].copies;
    for (int k = 0; k < count; ++k) {
      std::string flipped = sound;
      const std::uint64_t bit = random() % (std::uint64_t{sound.size()} * 8);
      flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (0x80 >> (bit % 8)));
      copies.push_back({dir.file(std::to_string(d) + "." + std::to_string(bit)), d});
      writeFile(copies.back().path, bytesOf(flipped));
    }
    if (d == 0) {
      std::string flipped = sound;
      flipped[20223] = static_cast<char>(flipped[20223] ^ 64);
      copies.push_back({dir.file("0.reported"), d});
      writeFile(copies.back().path, bytesOf(flipped));
    }
  }
  ASSERT_GE(reports[0].size(), 100000u);

  std::vector<std::string> paths;
  for (const Copy& copy : copies) paths.push_back(copy.path);
  const std::vector<FileOutcome> outcomes = scanEach(dir, paths);
  int shorter = 0;
  for (std::size_t i = 0; i < copies.size(); ++i) {
    const Copy& copy = copies[i];
    const FileOutcome& outcome = outcomes[i];
    expectCleanEnd(outcome, copy.path);
    EXPECT_TRUE(wholeLinesOf(outcome.report, reports[copy.dump])) << copy.path;
    if (outcome.report.size() < reports[copy.dump].size()) {
      ++shorter;
      EXPECT_FALSE(outcome.warnings.empty()) << copy.path << ": a shorter report, and no warning";
    }
    for (const std::string& warning : outcome.warnings) {
      EXPECT_LE(decompressedBytesIn(warning), static_cast<long long>(sizes[copy.dump])) << warning;
    }
  }
  // Nearly every flip hits coded data, so nearly every copy stops early.
  EXPECT_GE(shorter, static_cast<int>(copies.size()) / 2);
}

// Lengths that claim more than is there: an MRT record length makes the rest of the file
// unreadable (the records before it stay); the length of the BGP message, the withdrawn routes
// or the path attributes inside a record makes only that record malformed, which is skipped and
// counted, and every other record is reported as if it were not there.
TEST(DamagedDumpTest, InflatedLengthsLoseNoRecordOutsideTheirOwn) {
  const DumpToDamage small = dumpToDamage(smallDump());
  const std::string& raw = small.raw;
  const std::vector<RecordSpan>& records = small.records;
  TempDir dir;
  auto put16 = [](std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value);
  };
  auto get16 = [](const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at]) << 8 |
                                      static_cast<std::uint8_t>(bytes[at + 1]));
  };
  struct Mutant {
    std::string path;
    std::string reference;  // for the inner lengths: the dump without the record
    std::string before;     // for the record length: the dump up to the record
  };
  std::vector<Mutant> mutants;
  std::vector<std::string> paths;
  int updates = 0;
  for (std::size_t index = 0; index < records.size(); ++index) {
    const RecordSpan& record = records[index];
    // BGP4MP messages (type 16) carrying UPDATEs; every 25th of them.
    if (record.type != 16 || (record.subtype != 1 && record.subtype != 4)) continue;
    const std::size_t asWidth = record.subtype == 4 ? 4 : 2;
    const std::size_t afiAt = record.start + 12 + 2 * asWidth + 2;
    const std::size_t addresses = get16(raw, afiAt) == 2 ? 32 : 8;
    const std::size_t bgp = afiAt + 2 + addresses;
    if (static_cast<std::uint8_t>(raw[bgp + 18]) != 2 || updates++ % 25 != 0) continue;
    const std::string name = std::to_string(record.start);
    const std::string without = raw.substr(0, record.start) + raw.substr(record.end);
    const std::size_t withdrawnAt = bgp + 19;
    const std::size_t attributesAt = withdrawnAt + 2 + get16(raw, withdrawnAt);
    for (const auto& [what, at] : {std::pair<const char*, std::size_t>{"bgp", bgp + 16},
                                   {"withdrawn", withdrawnAt},
                                   {"attributes", attributesAt}}) {
      std::string inflated = raw;
      put16(inflated, at, get16(raw, at) + 1);
      mutants.push_back(
          {dir.file(std::string(what) + "." + name), dir.file("without." + name), ""});
      writeFile(mutants.back().path, bytesOf(inflated));
    }
    writeFile(dir.file("without." + name), bytesOf(without));
    for (std::uint32_t extra :
         {1u, 1000u, 16u << 20,
          0xffffffffu - static_cast<std::uint32_t>(record.end - record.start - 12)}) {
      std::string inflated = raw;
      const std::uint32_t length = static_cast<std::uint32_t>(record.end - record.start - 12);
      put16(inflated, record.start + 8, (length + extra) >> 16);
      put16(inflated, record.start + 10, (length + extra) & 0xffff);
      mutants.push_back(
          {dir.file("mrt." + std::to_string(extra) + "." + name), "", dir.file("before." + name)});
      writeFile(mutants.back().path, bytesOf(inflated));
    }
    writeFile(dir.file("before." + name), bytesOf(raw.substr(0, record.start)));
  }
  ASSERT_GE(mutants.size(), 50u);
  for (const Mutant& mutant : mutants) {
    paths.push_back(mutant.path);
    paths.push_back(mutant.reference.empty() ? mutant.before : mutant.reference);
  }
  const std::vector<FileOutcome> outcomes = scanEach(dir, paths);
  for (std::size_t i = 0; i < mutants.size(); ++i) {
    const FileOutcome& outcome = outcomes[2 * i];
    const FileOutcome& expected = outcomes[2 * i + 1];
    expectCleanEnd(outcome, mutants[i].path);
    if (!mutants[i].reference.empty()) {
      EXPECT_TRUE(sameReport(outcome.report, expected.report)) << mutants[i].path;
      EXPECT_EQ(outcome.warnings, std::vector<std::string>{"tarvex: " + mutants[i].path +
                                                           ": skipped 1 malformed record\n"});
    } else {
      EXPECT_EQ(outcome.report.compare(0, expected.report.size(), expected.report), 0)
          << mutants[i].path << ": the records before the inflated one are not all reported";
      EXPECT_GE(outcome.warnings.size(), 1u) << mutants[i].path;
    }
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
    RunResult result = runTarvex({"--or", "--update", path, "--update", smallDump()});
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
}  // namespace tarvex::testing
