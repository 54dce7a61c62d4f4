// Dumps that used to give an empty report and a silent standard error although they were not
// searched: zero-filled data, records that can hold routes in formats that are not searched, and
// files compressed twice; and the size named when a file is cut while it is read. An empty
// report with nothing on standard error must mean that nothing matched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "child_process.h"
#include "corpus.h"
#include "input/byte_source.h"
#include "mrt_builder.h"
#include "process_runner.h"
#include "report_checks.h"
#include "update_dump.h"

namespace tarvex::testing {
namespace {

const std::string kBinary = TARVEX_BINARY;
const std::string kZerosNote =
    " hold nothing but zeros (a preallocated or damaged file?); no record there could be "
    "searched\n";

Bytes zeros(std::size_t count) {
  return Bytes(count, 0);
}

// An UPDATE record that --or reports as one line, of a time of 2023: its header starts with no
// zero byte, so that zeros before it end where it begins.
Bytes announcement(std::uint32_t second, const std::string& prefix) {
  SimpleUpdate update;
  update.time = 1700000000 + second;
  update.announced = {prefix};
  return updateRecord(update);
}

// A BGP4MP record of `subtype` (type 17 when `microseconds` is given) whose header is that of
// the message subtypes, carrying a BGP message of `bgpType`.
Bytes bgp4mpRecord(std::uint16_t subtype, std::uint8_t bgpType,
                   std::optional<std::uint32_t> microseconds = std::nullopt) {
  Session session;
  // Subtype 4, and the odd ones from 6 on, carry 4-byte AS numbers.
  session.as4 = subtype == 4 || (subtype >= 6 && subtype % 2 == 1);
  const Bytes message =
      bgpType == 2 ? bgpMessage(2, updateBody({}, originAttribute(), prefixes({"10.9.0.0/16"})))
                   : bgpMessage(bgpType, {});
  return mrtRecord(1000, microseconds ? 17 : 16, subtype, bgp4mpBody(session, message),
                   microseconds);
}

Bytes recordOf(std::uint16_t type, std::uint16_t subtype, const Bytes& body = {1, 2, 3, 4}) {
  return mrtRecord(1000, type, subtype, body);
}

RunResult scan(const std::string& path) {
  return runTarvex({"--or", "--update", path});
}

std::string reportOf(const Bytes& dump) {
  TempDir dir;
  writeFile(dir.file("dump"), dump);
  return runTarvex({"--or", "--update", dir.file("dump")}).out;
}

// What one made file gives: its report (as that of another dump, made of the records that are
// searched) and its warnings, each after "tarvex: PATH: ".
struct SilentCase {
  const char* name;
  Bytes dump;
  Compression compression;
  Bytes searched;  // a dump of the records reported, in order
  std::vector<std::string> warnings;
};

void expectCase(const SilentCase& c) {
  TempDir dir;
  // A compressed name on plain data too: the format is told by the first bytes.
  const std::string path = dir.file(std::string(c.name) + ".gz");
  writeFile(path, c.dump, c.compression);
  const RunResult run = scan(path);
  std::string expectedErr;
  for (const std::string& warning : c.warnings) expectedErr += "tarvex: " + path + ": " + warning;
  EXPECT_TRUE(sameReport(run.out, reportOf(c.searched))) << c.name;
  EXPECT_EQ(run.err, expectedErr) << c.name;
  EXPECT_EQ(run.status, 1) << c.name;
}

TEST(SilentDumpTest, ZeroFilledData) {
  const Bytes first = announcement(1000, "10.1.0.0/16");
  const Bytes second = announcement(1001, "10.2.0.0/16");
  // A TABLE_DUMP_V2 record whose body ends in zeros: the stretch begins inside it.
  const Bytes tail = recordOf(13, 2, concat({{7, 7, 7}, zeros(40)}));
  Bytes several;
  std::vector<std::uint64_t> starts;
  for (int i = 0; i < 5; ++i) {
    append(several, first);
    starts.push_back(several.size());
    append(several, zeros(24));
  }
  auto range = [](std::uint64_t from, std::uint64_t count) {
    return std::to_string(from) + " to " + std::to_string(from + count - 1);
  };
  const SilentCase cases[] = {
      {"zeros", zeros(1200000), Compression::kNone, {}, {"bytes 0 to 1199999" + kZerosNote}},
      {"zeros-gzip",
       zeros(1200005),
       Compression::kGzip,
       {},
       {"bytes 0 to 1200004 of the decompressed data" + kZerosNote}},
      {"zeros-bzip2",
       zeros(3000000),
       Compression::kBzip2,
       {},
       {"bytes 0 to 2999999 of the decompressed data" + kZerosNote}},
      // Several megabytes of zeros between records: read in several batches, one stretch.
      {"zeros-between",
       concat({first, zeros(3600000), second}),
       Compression::kNone,
       concat({first, second}),
       {"bytes " + range(first.size(), 3600000) + kZerosNote}},
      // Zeros after a record, ending in fewer than a header takes: one stretch to the end.
      {"zero-tail",
       concat({first, tail, zeros(12 * 1000 + 7)}),
       Compression::kNone,
       first,
       {"bytes " + range(first.size() + tail.size() - 40, 40 + 12 * 1000 + 7) + kZerosNote,
        "passed over 1 record that can hold routes but is not searched: 1 TABLE_DUMP_V2 (a RIB "
        "dump)\n"}},
      {"stretches",
       several,
       Compression::kNone,
       concat({first, first, first, first, first}),
       {"bytes " + range(starts[0], 24) + ", " + range(starts[1], 24) + ", " +
        range(starts[2], 24) + " and 2 more stretches" + kZerosNote}},
      // Fewer zeros than a header, alone: the file ends inside a record header, as it always did.
      {"stray-zeros",
       concat({first, zeros(5)}),
       Compression::kNone,
       first,
       {"the file ends inside a record header (5 stray bytes at the end); the records before it "
        "were searched\n"}},
  };
  for (const SilentCase& c : cases) expectCase(c);
}

// The plain records of a dump, as far as their framing holds: where each begins.
std::vector<std::size_t> recordStarts(const std::string& raw) {
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at + 12 <= raw.size();) {
    starts.push_back(at);
    const auto byte = [&](std::size_t i) { return std::size_t{static_cast<std::uint8_t>(raw[i])}; };
    at += 12 + (byte(at + 8) << 24 | byte(at + 9) << 16 | byte(at + 10) << 8 | byte(at + 11));
  }
  return starts;
}

// An update dump whose second half was zeroed (a file preallocated and written halfway): the
// records before the zeros are all reported, and one warning names the zeros.
TEST(SilentDumpTest, ADumpWithItsSecondHalfZeroed) {
  TempDir made;
  const std::string path = made.file("updates");
  writeFile(path, updateDump({.records = 800, .seed = 11}));
  const std::string raw = readFile(path);
  const std::vector<std::size_t> starts = recordStarts(raw);
  const std::size_t half = *std::lower_bound(starts.begin(), starts.end(), raw.size() / 2);
  Bytes damaged(raw.begin(), raw.end());
  std::fill(damaged.begin() + static_cast<std::ptrdiff_t>(half), damaged.end(), 0);
  const Bytes before(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(half));
  const std::string whole = scan(path).out;
  const std::string expected = reportOf(before);
  ASSERT_GT(expected.size(), whole.size() / 4);
  ASSERT_LT(expected.size(), whole.size());
  EXPECT_TRUE(wholeLinesOf(expected, whole));
  // The zeros begin where the record before them ends, or earlier if it ends in zeros.
  std::size_t zerosFrom = half;
  while (zerosFrom > 0 && raw[zerosFrom - 1] == 0) --zerosFrom;
  const std::string range = std::to_string(zerosFrom) + " to " + std::to_string(raw.size() - 1);
  for (Compression compression : {Compression::kNone, Compression::kGzip}) {
    TempDir dir;
    const std::string file = dir.file("half");
    writeFile(file, damaged, compression);
    const RunResult run = scan(file);
    EXPECT_TRUE(sameReport(run.out, expected));
    EXPECT_EQ(run.err, "tarvex: " + file + ": bytes " + range +
                           (compression == Compression::kNone ? "" : " of the decompressed data") +
                           kZerosNote);
  }
}

TEST(SilentDumpTest, RecordsThatCanHoldRoutesButAreNotSearched) {
  const Bytes first = announcement(1000, "10.1.0.0/16");
  const Bytes second = announcement(1001, "10.2.0.0/16");
  const Bytes mixed = concat({
      recordOf(13, 1),  // PEER_INDEX_TABLE: no routes
      recordOf(13, 2),
      recordOf(13, 4),
      recordOf(13, 8),  // RIB_IPV4_UNICAST_ADDPATH
      recordOf(13, 7),  // GEO_PEER_TABLE: no routes
      first,
      recordOf(5, 1),
      recordOf(5, 2),
      recordOf(5, 3),  // a state change of the old format
      recordOf(9, 1),
      recordOf(10, 2),
      recordOf(12, 1),
      recordOf(16, 2),
      bgp4mpRecord(6, 2),
      bgp4mpRecord(7, 4),  // a KEEPALIVE sent by the collector
      bgp4mpRecord(8, 2),
      bgp4mpRecord(9, 2),
      bgp4mpRecord(9, 1),  // an OPEN
      bgp4mpRecord(11, 2, 12),
      recordOf(16, 10, {1, 2}),  // too short to carry a message
      second,
  });
  const SilentCase cases[] = {
      {"mixed",
       mixed,
       Compression::kNone,
       concat({first, second}),
       {"passed over 13 records that can hold routes but are not searched: 2 BGP (the old "
        "format, MRT type 5), 2 BGP4PLUS (an old format, MRT types 9 and 10), 1 TABLE_DUMP (a "
        "RIB dump), 3 TABLE_DUMP_V2 (a RIB dump), 1 BGP4MP ENTRY (a RIB entry), 1 BGP4MP "
        "MESSAGE_LOCAL (sent by the collector), 3 BGP4MP ADD-PATH\n"}},
      {"mixed-bzip2",
       mixed,
       Compression::kBzip2,
       concat({first, second}),
       {"passed over 13 records that can hold routes but are not searched: 2 BGP (the old "
        "format, MRT type 5), 2 BGP4PLUS (an old format, MRT types 9 and 10), 1 TABLE_DUMP (a "
        "RIB dump), 3 TABLE_DUMP_V2 (a RIB dump), 1 BGP4MP ENTRY (a RIB entry), 1 BGP4MP "
        "MESSAGE_LOCAL (sent by the collector), 3 BGP4MP ADD-PATH\n"}},
      {"one",
       recordOf(13, 2),
       Compression::kGzip,
       {},
       {"passed over 1 record that can hold routes but is not searched: 1 TABLE_DUMP_V2 (a RIB "
        "dump)\n"}},
      // Every warning a file can have, in their order.
      {"everything",
       concat({first, recordOf(16, 4, {0, 0}), recordOf(12, 2), zeros(36), second,
               Bytes(first.begin(), first.end() - 1)}),
       Compression::kNone,
       concat({first, second}),
       {"the file ends inside a record (" + std::to_string(first.size() - 1) + " of its " +
            std::to_string(first.size()) +
            " bytes are there); the records before it were searched\n",
        "skipped 1 malformed record\n",
        "bytes " + std::to_string(first.size() + 14 + 16) + " to " +
            std::to_string(first.size() + 14 + 16 + 35) + kZerosNote,
        "passed over 1 record that can hold routes but is not searched: 1 TABLE_DUMP (a RIB "
        "dump)\n"}},
  };
  for (const SilentCase& c : cases) expectCase(c);
}

// Records that hold no route stay unmentioned: state changes, OPEN, KEEPALIVE and NOTIFICATION
// messages of every message subtype, the peer index of a RIB dump, protocols other than BGP.
TEST(SilentDumpTest, RecordsWithoutRoutesStaySilent) {
  const Bytes quiet = concat({
      recordOf(16, 0),
      recordOf(16, 5),
      recordOf(17, 5, {0, 0, 0, 1, 2, 3}),
      bgp4mpRecord(1, 1),
      bgp4mpRecord(4, 4),
      bgp4mpRecord(4, 3),
      bgp4mpRecord(7, 4),
      bgp4mpRecord(9, 4, 5),
      bgp4mpRecord(10, 3),
      recordOf(13, 1),
      recordOf(11, 0),
      recordOf(5, 7),
      announcement(1000, "10.1.0.0/16"),
  });
  for (Compression compression : {Compression::kNone, Compression::kGzip}) {
    TempDir dir;
    writeFile(dir.file("quiet"), quiet, compression);
    const RunResult run = scan(dir.file("quiet"));
    EXPECT_EQ(run.out, reportOf(announcement(1000, "10.1.0.0/16")));
    EXPECT_EQ(run.err, "");
  }
}

TEST(SilentDumpTest, FilesCompressedTwice) {
  const Bytes dump = concat({announcement(1000, "10.1.0.0/16"), announcement(1001, "10.2.0.0/16")});
  // Only the magic of xz is looked at; tarvex reads no xz.
  const Bytes xz = concat({{0xfd, '7', 'z', 'X', 'Z', 0x00}, Bytes(100, 1)});
  struct Twice {
    const char* name;
    Bytes file;
    const char* warning;
  };
  const Twice cases[] = {
      {"gzip-in-bzip2", bzip2Compress(gzipCompress(dump)),
       "the bzip2 data holds gzip-compressed data (the file was compressed twice); decompress it "
       "once and search the result"},
      {"bzip2-in-gzip", gzipCompress(bzip2Compress(dump)),
       "the gzip data holds bzip2-compressed data (the file was compressed twice); decompress it "
       "once and search the result"},
      {"gzip-in-gzip", gzipCompress(gzipCompress(dump)),
       "the gzip data holds gzip-compressed data (the file was compressed twice); decompress it "
       "once and search the result"},
      {"bzip2-in-bzip2", bzip2Compress(bzip2Compress(dump)),
       "the bzip2 data holds bzip2-compressed data (the file was compressed twice); decompress it "
       "once and search the result"},
      {"xz-in-gzip", gzipCompress(xz),
       "the gzip data holds xz-compressed data (the file was compressed twice); decompress it "
       "twice and search the result"},
      {"xz-in-bzip2", bzip2Compress(xz),
       "the bzip2 data holds xz-compressed data (the file was compressed twice); decompress it "
       "twice and search the result"},
  };
  TempDir dir;
  for (const Twice& c : cases) {
    const std::string path = dir.file(c.name);
    writeFile(path, c.file);
    const RunResult run = scan(path);
    EXPECT_EQ(run.out, "") << c.name;
    EXPECT_EQ(run.err, "tarvex: " + path + ": " + c.warning + "\n") << c.name;
    EXPECT_EQ(run.status, 1) << c.name;
  }
  // Once compressed, the same dump reads whole.
  writeFile(dir.file("once"), dump, Compression::kGzip);
  EXPECT_EQ(scan(dir.file("once")).out, reportOf(dump));
  EXPECT_EQ(scan(dir.file("once")).err, "");
}

// The size a file was cut to is its size once cut, not where the reading had got to.
TEST(SilentDumpTest, TheCutMessageNamesTheSizeTheFileWasCutTo) {
  TempDir dir;
  const std::string path = dir.file("shrinking");
  writeFile(path, Bytes(10000, 7));
  struct Cut {
    off_t to;
    const char* message;
  };
  const Cut cuts[] = {
      {1000,
       "the file was cut to 1000 bytes while it was read (it had 10000; reading had reached byte "
       "4096)"},
      {4096, "the file was cut to 4096 bytes while it was read (it had 10000)"},
  };
  for (const Cut& cut : cuts) {
    writeFile(path, Bytes(10000, 7));
    int error = 0;
    std::unique_ptr<input::ByteSource> source = input::openFileSource(path, &error);
    ASSERT_TRUE(source);
    Bytes buffer(4096);
    ASSERT_EQ(source->read(buffer), 4096u);
    ASSERT_EQ(truncate(path.c_str(), cut.to), 0);
    EXPECT_EQ(source->read(buffer), 0u);
    EXPECT_EQ(source->failure(), cut.message);
  }
}

// The same through the program: held up by its output early in a large file, which is then cut
// to a million bytes, far behind where the reading has got to.
TEST(SilentDumpTest, AFileCutBehindTheReadingNamesItsNewSize) {
  Bytes dump;
  for (std::uint32_t i = 0; dump.size() < (32u << 20); ++i) {
    SimpleUpdate update;
    update.time = 1000 + i;
    update.announced = {"10." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256) +
                        ".0/24"};
    update.extraAttributes = attribute(0xd0, 99, Bytes(900, 0));
    append(dump, updateRecord(update));
  }
  TempDir dir;
  const std::string path = dir.file("shrinking");
  writeFile(path, dump);
  ChildOptions options;
  options.stdoutPipeSize = 4096;
  ChildProcess child(kBinary, {"--or", "--update", path}, options);
  ASSERT_TRUE(child.waitUntilBlockedOnStdout());
  ASSERT_EQ(truncate(path.c_str(), 1000000), 0);
  ChildResult result = child.finish();
  const std::regex expected("tarvex: " + path +
                            ": the file was cut to 1000000 bytes while it was read \\(it had " +
                            std::to_string(dump.size()) +
                            "; reading had reached byte ([0-9]+)\\); the records before it were "
                            "searched\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(result.err, match, expected)) << result.err;
  EXPECT_GT(std::stoull(match[1].str()), 1000000u);
  EXPECT_EQ(result.status, 1);
}

// Of the real dumps of the corpus, exactly those that hold records of a kind that is not
// searched say so; no real dump holds zero-filled data.
TEST(SilentDumpTest, RealDumpsWarnOnlyOfWhatTheyHold) {
  TARVEX_SKIP_WITHOUT_CORPUS(
      "it checks that the real dumps, as collectors and decoders wrote "
      "them, give no false warning, and names the records each one holds");
  const std::string& kData = corpusDirectory();
  const std::map<std::string, std::string> unsearched = {
      {"bgpkit/rrc00_1999.09_updates.19990903.1041.gz", "24216 BGP (the old format, MRT type 5)"},
      {"bgpkit/rrc00_1999.12_updates.19991214.1621.gz", "18054 BGP (the old format, MRT type 5)"},
      {"bgpkit/rrc00_2000.01_bview.20000111.0032.gz", "1 TABLE_DUMP (a RIB dump)"},
      {"bgpkit/rrc00_2000.01_updates.20000102.2014.gz", "3818 BGP (the old format, MRT type 5)"},
      {"bgpkit/rrc00_2000.03_updates.20000325.0345.gz", "4 BGP (the old format, MRT type 5)"},
      {"caida/routeviews.route-views.jinx.ribs.1401487200.bz2",
       "497407 TABLE_DUMP_V2 (a RIB dump)"},
      {"mrtparse/bird-mrtdump_bgp", "6 BGP4MP ADD-PATH"},
      {"mrtparse/bird6-mrtdump_bgp", "6 BGP4MP ADD-PATH"},
      {"mrtparse/openbgpd_rib_table-v2", "23 TABLE_DUMP_V2 (a RIB dump)"},
      {"mrtparse/quagga_rib", "6 TABLE_DUMP_V2 (a RIB dump)"},
      {"pyasn/bview.20140112.1600_3samples.bz2", "3 TABLE_DUMP_V2 (a RIB dump)"},
      {"pyasn/rib.20080501.0644_firstMB.bz2", "139291 TABLE_DUMP (a RIB dump)"},
      {"pyasn/rib.20140523.0600_firstMB.bz2", "9072 TABLE_DUMP_V2 (a RIB dump)"},
      {"pyasn/rib6.20151101.0600_firstMB.bz2", "6870 TABLE_DUMP_V2 (a RIB dump)"},
      {"ripe-bgpdump/bview.20020722.2337.gz", "115521 TABLE_DUMP (a RIB dump)"},
      {"ripe-bgpdump/bview.64k_stream_overflow.gz", "1 TABLE_DUMP_V2 (a RIB dump)"},
      {"ripe-bgpdump/bview.ipv4_unicast_add_path.gz", "31 TABLE_DUMP_V2 (a RIB dump)"},
      {"ripe-bgpdump/bview.ipv6_unicast_add_path.gz", "31 TABLE_DUMP_V2 (a RIB dump)"},
  };
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kData)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
#if defined(__SANITIZE_ADDRESS__)
    // Under the sanitizers the biggest dumps take minutes.
    if (entry.file_size() > (1 << 20)) continue;
#endif
    names.push_back(std::filesystem::relative(entry.path(), kData).string());
  }
  ASSERT_GE(names.size(), 40u);
  // One run over them all; only the warnings of the two new kinds are looked at.
  TempDir dir;
  std::string list;
  for (const std::string& name : names) list += kData + "/" + name + "\n";
  writeText(dir.file("list"), list);
  const RunResult run = runTarvex({"--or", "--file", dir.file("list")});
  std::map<std::string, std::string> seen;
  std::size_t at = 0;
  for (std::size_t end; (end = run.err.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = run.err.substr(at, end - at);
    EXPECT_EQ(line.find("hold nothing but zeros"), std::string::npos) << line;
    const std::size_t passed = line.find(": passed over ");
    if (passed == std::string::npos) continue;
    const std::string name = line.substr(8 + kData.size() + 1, passed - 8 - kData.size() - 1);
    const std::size_t kinds = line.find(": ", passed + 2);
    seen[name] = line.substr(kinds + 2);
  }
  for (const std::string& name : names) {
    const auto expected = unsearched.find(name);
    if (expected == unsearched.end()) {
      EXPECT_EQ(seen.count(name), 0u) << name << ": " << seen[name];
    } else {
      EXPECT_EQ(seen[name], expected->second) << name;
    }
  }
}

}  // namespace
}  // namespace tarvex::testing
