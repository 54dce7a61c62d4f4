// Damaged dumps, real and made: every dump of the shared data directory, and one small real dump
// cut at every KiB, with bytes flipped and with lengths inflated. Each file ends cleanly: status
// 1, only well-formed report lines, warnings that name the file and nothing else on standard
// error; every record wholly before the damage is reported, and a damage that the data's own
// checks cannot see (a gzip member whose checksum still holds) changes nothing.
//
// Each group runs one tarvex over a list of all its files with --verbose and both streams in
// one pipe, and splits the output by file at the lines that name them.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"
#include "report_checks.h"
#include "small_dump.h"

namespace tarvex::testing {
namespace {

const std::string kData = TARVEX_SHARED_DATA;

// What one file of a run gave.
struct FileOutcome {
  std::string report;                 // its report lines
  std::vector<std::string> warnings;  // its "tarvex: " lines, line feed included
  std::string other;                  // anything else
};

bool isReportLine(const std::string& line) {
  // TIME|W|PEER|ASn|LOCAL|ASn|PREFIX or TIME|A|PEER|ASn|LOCAL|ASn|PREFIX|PATH, then a line feed.
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1) {
    fields.push_back(line.substr(start, bar - start));
  }
  fields.push_back(line.substr(start, line.size() - start - 1));
  if (line.back() != '\n' || fields.size() < 7 || fields[0].empty()) return false;
  if (fields[0].find_first_not_of("0123456789") != std::string::npos) return false;
  if (fields[3].rfind("AS", 0) != 0 || fields[5].rfind("AS", 0) != 0) return false;
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

std::string rawSource() {
  return runProgram("/usr/bin/env", {"gzip", "-dc", kSmallDump}).out;
}

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

TEST(DamagedDumpTest, EveryRealDumpEndsCleanly) {
  std::vector<std::string> paths;
  for (const char* group :
       {"bgp-rs", "bgpkit", "caida", "dnas", "mrtparse", "pyasn", "ripe-bgpdump", "zettabgp"}) {
    const std::string directory = kData + "/" + group;
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

TEST(DamagedDumpTest, ACutAtEveryKibibyteKeepsEveryWholeRecordBeforeIt) {
  const std::string raw = rawSource();
  const std::vector<RecordSpan> records = recordsOf(raw);
  ASSERT_EQ(records.back().end, raw.size());
  const std::string gzip = readFile(kSmallDump);
  const Bytes bzip2 = bzip2Compress(bytesOf(raw));
  const std::string whole = runTarvex({"--or", "--update", kSmallDump}).out;

  TempDir dir;
  struct Cut {
    std::string path;
    std::string reference;  // a plain dump of the whole records before the cut; empty for none
    const char* warning;    // how the warning begins
  };
  std::vector<Cut> cuts;
  std::vector<std::string> paths;
  for (std::size_t at = 1024; at < raw.size(); at += 1024) {
    Cut cut{dir.file("raw." + std::to_string(at)), dir.file("whole." + std::to_string(at)),
            "the file ends inside a record"};
    writeFile(cut.path, bytesOf(raw.substr(0, at)));
    writeFile(cut.reference, bytesOf(raw.substr(0, recordStartAt(records, at))));
    if (recordStartAt(records, at) == at) cut.warning = nullptr;  // a clean cut looks whole
    cuts.push_back(cut);
  }
  for (std::size_t at = 1024; at < gzip.size(); at += 1024) {
    cuts.push_back({dir.file("gz." + std::to_string(at)), "", "gzip data ends early"});
    writeFile(cuts.back().path, bytesOf(gzip.substr(0, at)));
  }
  for (std::size_t at = 1024; at < bzip2.size(); at += 1024) {
    cuts.push_back({dir.file("bz2." + std::to_string(at)), "", "bzip2 data ends early"});
    writeFile(cuts.back().path, Bytes(bzip2.begin(), bzip2.begin() + static_cast<long>(at)));
  }
  for (const Cut& cut : cuts) {
    paths.push_back(cut.path);
    if (!cut.reference.empty()) paths.push_back(cut.reference);
  }
  const std::vector<FileOutcome> outcomes = scanEach(dir, paths);
  std::size_t next = 0;
  for (const Cut& cut : cuts) {
    const FileOutcome& outcome = outcomes[next++];
    expectCleanEnd(outcome, cut.path);
    EXPECT_TRUE(wholeLinesOf(outcome.report, whole)) << cut.path;
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
    }
  }
}

TEST(DamagedDumpTest, FlippedBytesKeepTheRecordsBeforeThem) {
  const std::string raw = rawSource();
  const std::vector<RecordSpan> records = recordsOf(raw);
  const std::string gzip = readFile(kSmallDump);
  const std::string whole = runTarvex({"--or", "--update", kSmallDump}).out;
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

// Lengths that claim more than is there: an MRT record length makes the rest of the file
// unreadable (the records before it stay); the length of the BGP message, the withdrawn routes
// or the path attributes inside a record makes only that record malformed, which is skipped and
// counted, and every other record is reported as if it were not there.
TEST(DamagedDumpTest, InflatedLengthsLoseNoRecordOutsideTheirOwn) {
  const std::string raw = rawSource();
  const std::vector<RecordSpan> records = recordsOf(raw);
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

}  // namespace
}  // namespace tarvex::testing
